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

        std::set<std::string> keySet;
        for (const auto& [key, path] : m_new.files) keySet.insert(key);
        for (const Tree& old : m_olds)
            for (const auto& [key, path] : old.files) keySet.insert(key);
        // Entries are made on several threads, each into the slot of its key; they are joined
        // in key order below, so the patch and the report are the same whatever the threads did.
        const std::vector<std::string> keys(keySet.begin(), keySet.end());
        std::vector<EntryResult> results(keys.size());
        RunNumbered(keys.size(), WorkersFor(keys.size(), m_options.workers),
                    [&](std::size_t i) { results[i] = MakeEntry(keys[i]); });
        for (EntryResult& result : results) {
            if (!result.line.empty()) report.lines.push_back(std::move(result.line));
            if (!result.entry) continue;
            const std::size_t base = m_blobs.size();
            for (auto& blob : result.blobs) m_blobs.push_back(std::move(blob));
            if (result.entry->kind == EntryKind::Add) result.entry->addContent.offset += base;
            if (result.entry->kind == EntryKind::Change)
                for (auto& old : result.entry->olds) old.content.offset += base;
            m_entries.push_back(std::move(*result.entry));
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

    // What one path of the trees becomes: no entry (unchanged), or an entry whose contents'
    // `offset`s index `blobs`, and its line of the report.
    struct EntryResult {
        std::optional<PatchEntry> entry;
        std::vector<std::vector<std::uint8_t>> blobs;
        std::string line;

        std::size_t AddBlob(std::vector<std::uint8_t> blob) {
            blobs.push_back(std::move(blob));
            return blobs.size() - 1;
        }
    };

    // Reads only the trees and the options: safe to run for several keys at once.
    EntryResult MakeEntry(const std::string& key) const {
        EntryResult result;
        auto newFile = m_new.files.find(key);
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> olds; // (spelling, bytes), distinct
        std::size_t absent = 0;
        for (const Tree& old : m_olds) {
            auto file = old.files.find(key);
            if (file == old.files.end()) {
                ++absent;
                continue;
            }
            std::vector<std::uint8_t> bytes = ReadBytes(FileOf(old, file->second));
            bool seen = std::any_of(olds.begin(), olds.end(), [&](const auto& o) { return o.second == bytes; });
            if (!seen) olds.emplace_back(file->second, std::move(bytes));
        }
        PatchEntry entry;
        if (newFile == m_new.files.end()) {
            entry.kind = EntryKind::Remove;
            entry.path = olds.front().first;
            for (const auto& old : olds) entry.olds.push_back({DigestOf(old.second), ContentRef{}});
            result.line = "remove " + entry.path;
            result.entry = std::move(entry);
            return result;
        }
        entry.path = newFile->second;
        std::vector<std::uint8_t> target = ReadBytes(FileOf(m_new, newFile->second));
        entry.target = DigestOf(target);
        if (absent == m_olds.size()) {
            entry.kind = EntryKind::Add;
            entry.addContent = {ContentMethod::Whole,
                                result.AddBlob(engine::DeflateBytes(target.data(), target.size())), 0, target.size()};
            result.line = "add " + entry.path + " (" + std::to_string(result.blobs.back().size()) + " bytes)";
            result.entry = std::move(entry);
            return result;
        }
        if (absent != 0)
            throw BuildError{entry.path + " is missing from some old trees and present in others: one patch cannot "
                                          "both add and change it"};
        olds.erase(std::remove_if(olds.begin(), olds.end(), [&](const auto& o) { return o.second == target; }),
                   olds.end());
        if (olds.empty()) return result; // unchanged everywhere
        entry.kind = EntryKind::Change;
        std::optional<std::size_t> wholeBlob;
        std::vector<std::uint8_t> whole;
        if (m_options.whole) whole = engine::DeflateBytes(target.data(), target.size());
        std::string line = "change " + entry.path + ":";
        for (std::size_t i = 0; i < olds.size(); ++i) {
            struct Candidate {
                const char* name;
                ContentMethod method;
                std::vector<std::uint8_t> bytes;
                std::uint64_t rawSize;
            };
            std::vector<Candidate> candidates;
            if (m_options.whole) candidates.push_back({"whole", ContentMethod::Whole, {}, target.size()});
            // A large file's two deltas are made at once, the VCDIFF one on a thread of its own,
            // so that a patch of one big file uses both cores too; its match delta is then
            // always made (whether it is depends on the file's size only, never on timing).
            std::future<VcdiffEncoding> vcdiffAside;
            std::optional<MatchDeltaEncoding> matchMade;
            if (m_options.vcdiff && m_options.match && target.size() >= kLargeFile) {
                try {
                    vcdiffAside = std::async(std::launch::async, [&] { return EncodeVcdiff(olds[i].second, target); });
                } catch (const std::system_error&) {
                    // No thread to be had: one after the other, here.
                }
                matchMade = EncodeMatchDelta(olds[i].second, target);
            }
            if (m_options.vcdiff) {
                VcdiffEncoding encoded = vcdiffAside.valid() ? vcdiffAside.get() : EncodeVcdiff(olds[i].second, target);
                if (!encoded.ok) throw BuildError{"cannot make a VCDIFF delta of " + entry.path + ": " + encoded.message};
                const std::vector<std::uint8_t>& delta = encoded.bytes;
                if (delta.size() <= target.size() + engine::kDeltaSlack)
                    candidates.push_back({"vcdiff", ContentMethod::Delta, engine::DeflateBytes(delta.data(), delta.size()),
                                          delta.size()});
            }
            auto size = [&](const Candidate& c) { return c.method == ContentMethod::Whole ? whole.size() : c.bytes.size(); };
            // The match delta is the slow one to make; it is not made when it cannot be smaller
            // than what is at hand (a small edit of a small file), which changes no choice.
            std::string untried;
            if (matchMade) {
                if (matchMade->ok)
                    candidates.push_back({"match", ContentMethod::MatchDelta, std::move(matchMade->bytes), target.size()});
            } else if (m_options.match) {
                const std::size_t least = tools::MatchDeltaSizeAtLeast(olds[i].second, target);
                const bool beaten = std::any_of(candidates.begin(), candidates.end(),
                                                [&](const Candidate& c) { return size(c) <= least; });
                if (beaten) {
                    untried = "match not tried (at least " + std::to_string(least) + ")";
                } else {
                    tools::MatchDeltaEncoding encoded = tools::EncodeMatchDelta(olds[i].second, target);
                    if (encoded.ok)
                        candidates.push_back({"match", ContentMethod::MatchDelta, std::move(encoded.bytes), target.size()});
                }
            }
            if (candidates.empty())
                throw BuildError{"no allowed method can store " + entry.path + " (allow whole content)"};
            // The first of the smallest: whole, then vcdiff, then match.
            std::size_t chosen = 0;
            for (std::size_t k = 1; k < candidates.size(); ++k)
                if (size(candidates[k]) < size(candidates[chosen])) chosen = k;
            Candidate& pick = candidates[chosen];
            std::size_t blob = 0;
            if (pick.method == ContentMethod::Whole) {
                if (!wholeBlob) wholeBlob = result.AddBlob(whole);
                blob = *wholeBlob;
            } else {
                blob = result.AddBlob(std::move(pick.bytes));
            }
            entry.olds.push_back({DigestOf(olds[i].second), {pick.method, blob, 0, pick.rawSize}});
            line += std::string(" ") + pick.name + " (" + std::to_string(result.blobs[blob].size()) + " bytes)";
            std::string others;
            for (std::size_t k = 0; k < candidates.size(); ++k)
                if (k != chosen)
                    others += std::string(others.empty() ? "" : ", ") + candidates[k].name + " " +
                              std::to_string(size(candidates[k]));
            if (!untried.empty()) others += (others.empty() ? "" : ", ") + untried;
            if (!others.empty()) line += " [" + others + "]";
        }
        result.line = std::move(line);
        result.entry = std::move(entry);
        return result;
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
