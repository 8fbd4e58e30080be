// Helper of the engine's Wine tests.
//   hotfix-engine-fixture write-patch OUT.RTP OLD_DIR NEW_DIR
//       writes a patch file taking OLD_DIR to NEW_DIR (whole content for every changed or added
//       file, removal of files only in OLD_DIR); exit 0 when written.
//   hotfix-engine-fixture hold FILE MILLISECONDS
//       opens FILE with no sharing, prints "held", and keeps it open that long.
//   hotfix-engine-fixture write-journal OUT PATCH swapping|committed [DIRECTORY...]
//       writes a journal with a valid checksum tied to PATCH, as anyone could (forged).
#include "engine/patch_journal.h"
#include "engine/rtp_format.h"
#include "engine/patch_path.h"
#include "engine/sha256.h"
#include "engine/zlib_stream.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace hotfix::engine;

std::map<std::string, std::string> Files(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        std::string relative = fs::relative(item.path(), root).string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        std::ifstream in(item.path(), std::ios::binary);
        files[relative] = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return files;
}

FileDigest DigestOf(const std::string& bytes) { return {bytes.size(), Sha256Of(bytes.data(), bytes.size())}; }

int WritePatchFile(const char* out, const char* oldDir, const char* newDir) {
    auto olds = Files(oldDir);
    auto news = Files(newDir);
    std::vector<PatchEntry> entries;
    std::vector<std::vector<std::uint8_t>> blobs;
    auto blob = [&](const std::string& bytes) {
        blobs.push_back(DeflateBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        return static_cast<std::uint64_t>(blobs.size() - 1);
    };
    for (const auto& [path, bytes] : news) {
        auto old = olds.find(path);
        if (old != olds.end() && old->second == bytes) continue;
        PatchEntry entry;
        entry.path = path;
        entry.target = DigestOf(bytes);
        ContentRef whole{ContentMethod::Whole, blob(bytes), 0, bytes.size()};
        if (old == olds.end()) {
            entry.kind = EntryKind::Add;
            entry.addContent = whole;
        } else {
            entry.kind = EntryKind::Change;
            entry.olds.push_back({DigestOf(old->second), whole});
        }
        entries.push_back(entry);
    }
    for (const auto& [path, bytes] : olds) {
        if (news.count(path) != 0) continue;
        PatchEntry entry;
        entry.kind = EntryKind::Remove;
        entry.path = path;
        entry.olds.push_back({DigestOf(bytes), ContentRef{}});
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(), [](const PatchEntry& a, const PatchEntry& b) { return a.path < b.path; });
    std::vector<std::uint8_t> patch = WritePatch(entries, blobs);
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(patch.data()), static_cast<std::streamsize>(patch.size()));
    return file ? 0 : 1;
}

int Hold(const char* path, const char* milliseconds) {
    HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s (error %lu)\n", path, ::GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    ::Sleep(static_cast<DWORD>(std::strtoul(milliseconds, nullptr, 10)));
    ::CloseHandle(file);
    return 0;
}

int WriteJournalFile(int argc, char** argv) {
    std::ifstream in(argv[3], std::ios::binary);
    std::string patch((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (patch.size() < 32) return 1;
    Journal journal;
    journal.state = std::string(argv[4]) == "committed" ? JournalState::Committed : JournalState::Swapping;
    std::copy(patch.end() - 32, patch.end(), journal.patchDigest.begin());
    for (int i = 5; i < argc; ++i) journal.createdDirectories.push_back(argv[i]);
    const std::vector<std::uint8_t> bytes = SerializeJournal(journal);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == "write-journal") return WriteJournalFile(argc, argv);
    if (argc == 5 && std::string(argv[1]) == "write-patch") return WritePatchFile(argv[2], argv[3], argv[4]);
    if (argc == 4 && std::string(argv[1]) == "hold") return Hold(argv[2], argv[3]);
    std::printf("usage: hotfix-engine-fixture write-patch OUT OLD NEW | hold FILE MS\n");
    return 2;
}
