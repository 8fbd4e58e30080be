#include "tools/patch_builder.h"

#include "engine/patch_apply.h"
#include "engine/patch_path.h"
#include "engine/rtp_format.h"
#include "engine/sha256.h"
#include "engine/zlib_stream.h"
#include "tools/match_delta_encoder.h"
#include "tools/overlay_file_system.h"
#include "tools/vcdiff_encoder.h"
#include "tools/work_pool.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <system_error>

namespace hotfix::tools {

namespace {

namespace fs = std::filesystem;
using engine::ContentMethod;
using engine::ContentRef;
using engine::EntryKind;
using engine::FileDigest;
using engine::PatchEntry;

// From this size up a file's VCDIFF and match deltas are made at the same time.
constexpr std::size_t kLargeFile = std::size_t(1) << 20;

struct BuildError {
    std::string message;
};

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BuildError{"cannot read " + path.string()};
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw BuildError{"cannot read " + path.string()};
    return bytes;
}

FileDigest DigestOf(const std::vector<std::uint8_t>& bytes) {
    return {bytes.size(), engine::Sha256Of(bytes.data(), bytes.size())};
}

// One tree: its files by PathKey, and every directory key (to find file/directory clashes).
struct Tree {
    fs::path root;
    std::map<std::string, std::string> files; // key -> path as spelled, '\\'-separated
    std::set<std::string> directories;
};

Tree Scan(const std::string& directory) {
    Tree tree;
    tree.root = directory;
    std::error_code error;
    if (!fs::is_directory(tree.root, error)) throw BuildError{"not a directory: " + directory};
    std::vector<fs::path> found;
    for (auto it = fs::recursive_directory_iterator(tree.root, error); !error && it != fs::end(it);
         it.increment(error)) {
        found.push_back(it->path());
    }
    if (error) throw BuildError{"cannot list " + directory + ": " + error.message()};
    for (const fs::path& path : found) {
        std::string relative = fs::relative(path, tree.root).generic_string();
        // '\\' is the separator inside a patch: a POSIX name holding one would change meaning.
        if (relative.find('\\') != std::string::npos)
            throw BuildError{"cannot carry " + path.string() + " in a patch: backslash in a name"};
        std::replace(relative.begin(), relative.end(), '/', '\\');
        std::string why;
        if (!engine::IsSafePatchPath(relative, why))
            throw BuildError{"cannot carry " + path.string() + " in a patch: " + why};
        const std::string key = engine::PathKey(relative);
        fs::file_status status = fs::symlink_status(path);
        if (fs::is_directory(status)) {
            tree.directories.insert(key);
        } else if (fs::is_regular_file(status)) {
            if (!tree.files.emplace(key, relative).second)
                throw BuildError{"two files in " + directory + " differ only in case: " + relative};
            if (fs::file_size(path) > engine::kMaxFileSize) throw BuildError{"file too large: " + path.string()};
        } else {
            throw BuildError{"neither a file nor a directory: " + path.string()};
        }
    }
    return tree;
}

fs::path FileOf(const Tree& tree, const std::string& relative) {
    std::string native = relative;
    std::replace(native.begin(), native.end(), '\\', '/');
    return tree.root / native;
}

using Bytes = std::vector<std::uint8_t>;

// A content as an entry is made on its worker, before the patch is laid out: `blob` is the
// index of the stored bytes among the entry's own (EntryResult::blobs), not a place in any file.
struct DraftContent {
    ContentMethod method = ContentMethod::None;
    std::size_t blob = 0;
    std::uint64_t rawSize = 0;
};

struct DraftOld {
    FileDigest digest;
    DraftContent content;
};

// A PatchEntry whose contents name the entry's own blobs (DraftContent); Builder::Place makes it
// a PatchEntry once those blobs have joined the patch's.
struct DraftEntry {
    EntryKind kind = EntryKind::Change;
    std::string path;
    FileDigest target;
    DraftContent addContent;
    std::vector<DraftOld> olds;
};

// What one path of the trees becomes: no entry (unchanged), or an entry and the blobs it stores,
// and its line of the report.
struct EntryResult {
    std::optional<DraftEntry> entry;
    std::vector<Bytes> blobs;
    std::string line;

    std::size_t AddBlob(Bytes blob) {
        blobs.push_back(std::move(blob));
        return blobs.size() - 1;
    }
};

// One old version of a file: its spelling in the first old tree that holds these bytes, and them.
struct OldFile {
    std::string path;
    Bytes bytes;
};

EntryResult RemoveEntry(const std::vector<OldFile>& olds) {
    EntryResult result;
    DraftEntry entry{EntryKind::Remove, olds.front().path, {}, {}, {}};
    for (const OldFile& old : olds) entry.olds.push_back({DigestOf(old.bytes), DraftContent{}});
    result.line = "remove " + entry.path;
    result.entry = std::move(entry);
    return result;
}

// An added file is always stored whole.
EntryResult AddEntry(const std::string& path, const Bytes& target) {
    EntryResult result;
    DraftEntry entry{EntryKind::Add, path, DigestOf(target), {}, {}};
    const std::size_t blob = result.AddBlob(engine::DeflateBytes(target.data(), target.size()));
    entry.addContent = {ContentMethod::Whole, blob, target.size()};
    result.line = "add " + path + " (" + std::to_string(result.blobs[blob].size()) + " bytes)";
    result.entry = std::move(entry);
    return result;
}

// One way to make a changed file from one old version, and what it takes in the patch file.
struct Candidate {
    const char* name;
    ContentMethod method;
    Bytes bytes;            // what is stored; empty for Whole, whose one copy the entry shares
    std::size_t storedSize; // bytes.size(), or the deflated whole file's size
    std::uint64_t rawSize;
};

struct Candidates {
    std::vector<Candidate> list; // whole, vcdiff, match: each when allowed and possible
    std::string untried;         // for the report: the match delta was not made, and why
};

// The first of the smallest, so whole before vcdiff before match.
std::size_t Smallest(const std::vector<Candidate>& list) {
    std::size_t chosen = 0;
    for (std::size_t k = 1; k < list.size(); ++k)
        if (list[k].storedSize < list[chosen].storedSize) chosen = k;
    return chosen;
}

// Adds the VCDIFF delta, deflated, unless it is larger than a patch may carry (kDeltaSlack);
// one that could not be made stops the build.
void AddVcdiff(Candidates& candidates, const std::string& path, const VcdiffEncoding& encoded,
               std::uint64_t targetSize) {
    if (!encoded.ok) throw BuildError{"cannot make a VCDIFF delta of " + path + ": " + encoded.message};
    const Bytes& delta = encoded.bytes;
    if (delta.size() > targetSize + engine::kDeltaSlack) return;
    Bytes deflated = engine::DeflateBytes(delta.data(), delta.size());
    const std::size_t storedSize = deflated.size();
    candidates.list.push_back({"vcdiff", ContentMethod::Delta, std::move(deflated), storedSize, delta.size()});
}

// Adds the match delta if this pair could be expressed as one.
void AddMatch(Candidates& candidates, MatchDeltaEncoding encoded, std::uint64_t targetSize) {
    if (!encoded.ok) return;
    const std::size_t storedSize = encoded.bytes.size();
    candidates.list.push_back({"match", ContentMethod::MatchDelta, std::move(encoded.bytes), storedSize, targetSize});
}

// The match delta is the slow one to make; it is not made when it cannot be smaller than a
// candidate at hand (a small edit of a small file), which changes no choice.
void AddMatchUnlessBeaten(Candidates& candidates, const Bytes& old, const Bytes& target) {
    const std::size_t least = MatchDeltaSizeAtLeast(old, target);
    const bool beaten = std::any_of(candidates.list.begin(), candidates.list.end(),
                                    [&](const Candidate& c) { return c.storedSize <= least; });
    if (beaten) {
        candidates.untried = "match not tried (at least " + std::to_string(least) + ")";
        return;
    }
    AddMatch(candidates, EncodeMatchDelta(old, target), target.size());
}

struct BothDeltas {
    VcdiffEncoding vcdiff;
    MatchDeltaEncoding match;
};

// Makes both deltas at once, the VCDIFF one on a thread of its own, so that a patch of one big
// file uses both cores too.
BothDeltas EncodeBothDeltas(const Bytes& old, const Bytes& target) {
    std::future<VcdiffEncoding> vcdiffAside;
    try {
        vcdiffAside = std::async(std::launch::async, [&] { return EncodeVcdiff(old, target); });
    } catch (const std::system_error&) {
        // No thread to be had: one after the other, here.
    }
    BothDeltas both;
    both.match = EncodeMatchDelta(old, target);
    both.vcdiff = vcdiffAside.valid() ? vcdiffAside.get() : EncodeVcdiff(old, target);
    return both;
}

// Every allowed way to make `target` from `old`; `wholeSize` is what the whole file deflates to.
// A large file's match delta is always made, with its VCDIFF one (EncodeBothDeltas): whether it
// is depends on the file's size only, never on timing.
Candidates CandidatesFor(const BuildOptions& options, const std::string& path, const Bytes& old,
                         const Bytes& target, std::size_t wholeSize) {
    Candidates candidates;
    if (options.whole) candidates.list.push_back({"whole", ContentMethod::Whole, {}, wholeSize, target.size()});
    if (options.vcdiff && options.match && target.size() >= kLargeFile) {
        BothDeltas both = EncodeBothDeltas(old, target);
        AddVcdiff(candidates, path, both.vcdiff, target.size());
        AddMatch(candidates, std::move(both.match), target.size());
        return candidates;
    }
    if (options.vcdiff) AddVcdiff(candidates, path, EncodeVcdiff(old, target), target.size());
    if (options.match) AddMatchUnlessBeaten(candidates, old, target);
    return candidates;
}

// The report's words on one old version: " match (3119 bytes) [whole 72550, vcdiff 10582]".
std::string ChoiceText(const Candidates& candidates, std::size_t chosen) {
    const Candidate& pick = candidates.list[chosen];
    std::string text = std::string(" ") + pick.name + " (" + std::to_string(pick.storedSize) + " bytes)";
    std::string others;
    for (std::size_t k = 0; k < candidates.list.size(); ++k)
        if (k != chosen)
            others += std::string(others.empty() ? "" : ", ") + candidates.list[k].name + " " +
                      std::to_string(candidates.list[k].storedSize);
    if (!candidates.untried.empty()) others += (others.empty() ? "" : ", ") + candidates.untried;
    if (!others.empty()) text += " [" + others + "]";
    return text;
}

// A file that differs from its old versions (`olds`: distinct, none of them `target`): per old
// version, the smallest allowed way to make it. The whole file is stored once at most, shared
// by the versions that choose it.
EntryResult ChangeEntry(const BuildOptions& options, const std::string& path, const Bytes& target,
                        const std::vector<OldFile>& olds) {
    EntryResult result;
    DraftEntry entry{EntryKind::Change, path, DigestOf(target), {}, {}};
    Bytes whole;
    if (options.whole) whole = engine::DeflateBytes(target.data(), target.size());
    std::optional<std::size_t> wholeBlob;
    result.line = "change " + path + ":";
    for (const OldFile& old : olds) {
        Candidates candidates = CandidatesFor(options, path, old.bytes, target, whole.size());
        if (candidates.list.empty()) throw BuildError{"no allowed method can store " + path + " (allow whole content)"};
        const std::size_t chosen = Smallest(candidates.list);
        Candidate& pick = candidates.list[chosen];
        if (pick.method == ContentMethod::Whole && !wholeBlob) wholeBlob = result.AddBlob(whole);
        const std::size_t blob =
            pick.method == ContentMethod::Whole ? *wholeBlob : result.AddBlob(std::move(pick.bytes));
        entry.olds.push_back({DigestOf(old.bytes), {pick.method, blob, pick.rawSize}});
        result.line += ChoiceText(candidates, chosen);
    }
    result.entry = std::move(entry);
    return result;
}

class Builder {
public:
    explicit Builder(const BuildOptions& options) : m_options(options) {}

    BuildReport Run() {
        BuildReport report;
        if (m_options.oldDirectories.empty()) throw BuildError{"no old directory given"};
        if (m_options.newDirectory.empty()) throw BuildError{"no new directory given"};
        for (const std::string& directory : m_options.oldDirectories) m_olds.push_back(Scan(directory));
        m_new = Scan(m_options.newDirectory);
        CheckClashes();

        // Entries are made on several threads, each into the slot of its key; they are joined
        // in key order below, so the patch and the report are the same whatever the threads did.
        const std::vector<std::string> keys = AllKeys();
        std::vector<EntryResult> results(keys.size());
        RunNumbered(keys.size(), WorkersFor(keys.size(), m_options.workers),
                    [&](std::size_t i) { results[i] = MakeEntry(keys[i]); });
        for (EntryResult& result : results) {
            if (!result.line.empty()) report.lines.push_back(std::move(result.line));
            if (result.entry) m_entries.push_back(Place(*result.entry, result.blobs));
        }
        if (m_entries.empty()) throw BuildError{"the old and new trees hold the same files: nothing to patch"};

        std::sort(m_entries.begin(), m_entries.end(),
                  [](const PatchEntry& a, const PatchEntry& b) { return a.path < b.path; });
        report.patch = engine::WritePatch(m_entries, m_blobs);
        Verify(report.patch);
        report.ok = true;
        return report;
    }

private:
    // A name that is a file in one tree and a directory in another cannot be patched.
    void CheckClashes() const {
        std::vector<const Tree*> trees = {&m_new};
        for (const Tree& old : m_olds) trees.push_back(&old);
        for (const Tree* a : trees)
            for (const Tree* b : trees)
                for (const auto& [key, path] : a->files)
                    if (b->directories.count(key) != 0)
                        throw BuildError{path + " is a file in " + a->root.string() + " and a directory in " +
                                         b->root.string()};
    }

    // The key of every file of every tree, each once, sorted.
    std::vector<std::string> AllKeys() const {
        std::set<std::string> keys;
        for (const auto& [key, path] : m_new.files) keys.insert(key);
        for (const Tree& old : m_olds)
            for (const auto& [key, path] : old.files) keys.insert(key);
        return {keys.begin(), keys.end()};
    }

    // Reads only the trees and the options: safe to run for several keys at once.
    EntryResult MakeEntry(const std::string& key) const {
        std::size_t absent = 0;
        std::vector<OldFile> olds = ReadOlds(key, absent);
        auto newFile = m_new.files.find(key);
        if (newFile == m_new.files.end()) return RemoveEntry(olds);
        const std::string& path = newFile->second;
        const Bytes target = ReadBytes(FileOf(m_new, path));
        if (absent == m_olds.size()) return AddEntry(path, target);
        if (absent != 0)
            throw BuildError{path + " is missing from some old trees and present in others: one patch cannot "
                                    "both add and change it"};
        olds.erase(std::remove_if(olds.begin(), olds.end(), [&](const OldFile& old) { return old.bytes == target; }),
                   olds.end());
        if (olds.empty()) return {}; // unchanged everywhere
        return ChangeEntry(m_options, path, target, olds);
    }

    // The versions of `key` in the old trees, each content once, in the order of the trees;
    // `absent` counts the old trees without it.
    std::vector<OldFile> ReadOlds(const std::string& key, std::size_t& absent) const {
        std::vector<OldFile> olds;
        for (const Tree& old : m_olds) {
            auto file = old.files.find(key);
            if (file == old.files.end()) {
                ++absent;
                continue;
            }
            Bytes bytes = ReadBytes(FileOf(old, file->second));
            const bool seen = std::any_of(olds.begin(), olds.end(), [&](const OldFile& o) { return o.bytes == bytes; });
            if (!seen) olds.push_back({file->second, std::move(bytes)});
        }
        return olds;
    }

    // Moves an entry's blobs to the end of the patch's (m_blobs) and makes it the PatchEntry
    // WritePatch takes: each content's `offset` is its blob's index in m_blobs, which WritePatch
    // turns into the blob's place in the file.
    PatchEntry Place(const DraftEntry& draft, std::vector<Bytes>& blobs) {
        const std::size_t first = m_blobs.size();
        for (Bytes& blob : blobs) m_blobs.push_back(std::move(blob));
        auto refer = [first](const DraftContent& content) {
            if (content.method == ContentMethod::None) return ContentRef{};
            return ContentRef{content.method, first + content.blob, 0, content.rawSize};
        };
        PatchEntry entry{draft.kind, draft.path, draft.target, refer(draft.addContent), {}};
        for (const DraftOld& old : draft.olds) entry.olds.push_back({old.digest, refer(old.content)});
        return entry;
    }

    // Applies the patch to every old tree with the engine's core, over the tree as it is on disk
    // with the changes kept in memory (tools/overlay_file_system.h), and compares the result
    // with the new tree; a second run must find the patch applied.
    void Verify(const std::vector<std::uint8_t>& patch) const {
        for (const Tree& old : m_olds) {
            OverlayFileSystem files(old.root.string());
            engine::ApplyListener quiet;
            for (int run = 0; run < 2; ++run) {
                engine::MemoryReadableFile file(patch.data(), patch.size());
                engine::ApplyResult result = engine::ApplyPatch(files, file, quiet);
                engine::ApplyOutcome expected = run == 0 ? engine::ApplyOutcome::Applied : engine::ApplyOutcome::AlreadyApplied;
                if (result.outcome != expected && !(run == 0 && result.outcome == engine::ApplyOutcome::AlreadyApplied))
                    throw BuildError{std::string("verification failed on ") + old.root.string() + ": " +
                                     engine::OutcomeName(result.outcome) + ": " + result.message};
            }
            const std::vector<std::string> patched = files.Files();
            std::set<std::string> patchedKeys;
            for (const std::string& path : patched) patchedKeys.insert(engine::PathKey(path));
            std::set<std::string> newKeys;
            for (const auto& [key, path] : m_new.files) newKeys.insert(key);
            if (patchedKeys != newKeys || patched.size() != m_new.files.size())
                throw BuildError{"verification failed: " + old.root.string() + " patched holds other files than " +
                                 m_new.root.string()};
            std::vector<std::uint8_t> bytes;
            for (const std::string& path : patched) {
                const std::string& newPath = m_new.files.at(engine::PathKey(path));
                if (!files.Contents(path, bytes) || bytes != ReadBytes(FileOf(m_new, newPath)))
                    throw BuildError{"verification failed: " + newPath + " differs after patching " +
                                     old.root.string()};
            }
        }
    }

    const BuildOptions& m_options;
    std::vector<Tree> m_olds;
    Tree m_new;
    std::vector<PatchEntry> m_entries;
    std::vector<std::vector<std::uint8_t>> m_blobs;
};

} // namespace

BuildReport BuildPatch(const BuildOptions& options) {
    try {
        return Builder(options).Run();
    } catch (const BuildError& error) {
        BuildReport report;
        report.error = error.message;
        return report;
    } catch (const std::exception& error) {
        BuildReport report;
        report.error = error.what();
        return report;
    }
}

} // namespace hotfix::tools
