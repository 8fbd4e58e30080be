// libFuzzer target: the journal reader, and settling over whatever a journal and the leftovers
// beside a patch's files may say. The input is tried as it is, then with its magic and checksum
// made right (and, when its first state byte is odd, tied to the patch at hand), so the fuzzer
// reaches what lies behind the checks. Whatever happens, nothing but the patch's own entries and
// the engine's names beside them may change.
#include "engine/patch_apply.h"
#include "engine/patch_journal.h"
#include "engine/patch_path.h"
#include "tests/unit/engine/fake_engine_file_system.h"
#include "tests/unit/engine/rtp_test_support.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hotfix::engine;
    Journal journal;
    ParseJournal(data, size, journal);
    if (size < 8 + 4 + 32 + 32) return 0;

    static const std::vector<std::uint8_t> patch = testing::BuildWholePatch(
        {{"app.exe", {"application 1"}, true, "application 2"},
         {"lib\\new\\extra.dat", {}, true, "extra"},
         {"old.txt", {"obsolete"}, false, ""}});
    PatchModel model;
    std::string error;
    if (!ParsePatchBytes(patch.data(), patch.size(), model, error)) std::abort();

    std::vector<std::uint8_t> fixed(data, data + size);
    std::memcpy(fixed.data(), "HFXJRNL2", 8);
    if (fixed[8] & 1) std::memcpy(fixed.data() + 12, model.digest.data(), 32);
    Sha256Digest digest = Sha256Of(fixed.data(), size - 32);
    std::memcpy(fixed.data() + size - 32, digest.data(), 32);
    ParseJournal(fixed.data(), fixed.size(), journal);

    // The last input byte plants leftovers: per name, nothing, an old or new version, or junk.
    testing::FakeEngineFileSystem fs;
    fs.PutDirectory("lib");
    fs.PutDirectory("spare");
    fs.PutFile("app.exe", "application 1");
    fs.PutFile("old.txt", "obsolete");
    fs.PutFile("bystander.txt", "not the patch's");
    fs.PutFile(kJournalName, std::string(fixed.begin(), fixed.end()));
    const char* contents[] = {nullptr, "application 1", "application 2", "junk"};
    unsigned plant = data[size - 1];
    for (const std::string& name : {BackupPathOf("app.exe"), StagedPathOf("app.exe"), BackupPathOf("old.txt")}) {
        if (contents[plant & 3] != nullptr) fs.PutFile(name, contents[plant & 3]);
        plant >>= 2;
    }
    const auto before = fs.Files();
    MemoryReadableFile file(patch.data(), patch.size());
    ApplyListener quiet;
    ApplyPatch(fs, file, quiet);

    // Bystanders untouched; every file left holds a content the patch knows or was there before.
    const auto after = fs.Files();
    if (after.count("bystander.txt") == 0 || after.at("bystander.txt") != "not the patch's") std::abort();
    if (fs.Directories().count("spare") == 0) std::abort();
    for (const auto& [name, bytes] : after) {
        if (name == kJournalName) continue;
        const bool known = bytes == "application 1" || bytes == "application 2" || bytes == "extra" ||
                           bytes == "obsolete";
        if (!known && (before.count(name) == 0 || before.at(name) != bytes)) std::abort();
    }
    return 0;
}
