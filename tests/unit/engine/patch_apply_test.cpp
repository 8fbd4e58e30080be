#include "engine/patch_apply.h"
#include "engine/patch_journal.h"
#include "engine/patch_path.h"
#include "engine/vcdiff_decoder.h"
#include "fake_engine_file_system.h"
#include "rtp_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>

namespace hotfix::engine {
namespace {

using testing::BuildWholePatch;
using testing::FakeEngineFileSystem;
using testing::FileSpec;
using testing::SimulatedCrash;
using Files = std::map<std::string, std::string>;

class Recorder : public ApplyListener {
public:
    void Say(const std::string& line) override { lines += line + "\n"; }
    std::string lines;
};

// A product directory with its patch file beside it, as the installer lays it out.
struct Scenario {
    Files before;
    Files after;
    std::vector<FileSpec> fileSpecs;

    static Scenario Typical() {
        Scenario s;
        s.before = {{"app.exe", "application 1"}, {"lib\\core.dll", "core 1"}, {"old.txt", "obsolete"},
                    {"readme.txt", "unchanged"}};
        s.after = {{"app.exe", "application 2, longer"}, {"lib\\core.dll", "core 2"},
                   {"lib\\new\\extra.dat", "extra"}, {"readme.txt", "unchanged"}};
        s.fileSpecs = {{"app.exe", {"application 0", "application 1"}, true, "application 2, longer"},
                   {"lib\\core.dll", {"core 1"}, true, "core 2"},
                   {"lib\\new\\extra.dat", {}, true, "extra"},
                   {"old.txt", {"obsolete"}, false, ""}};
        return s;
    }
};

void Lay(FakeEngineFileSystem& fs, const Files& files) {
    fs.PutDirectory("lib");
    for (const auto& [path, bytes] : files) fs.PutFile(path, bytes);
}

ApplyResult ApplyTo(FakeEngineFileSystem& fs, const std::vector<std::uint8_t>& patch, Recorder& recorder,
                    const std::string& patchName = "") {
    MemoryReadableFile file(patch.data(), patch.size());
    return ApplyPatch(fs, file, recorder, patchName);
}

ApplyResult SettleIn(FakeEngineFileSystem& fs, const std::vector<std::uint8_t>& patch, Recorder& recorder) {
    MemoryReadableFile file(patch.data(), patch.size());
    return SettlePatch(fs, file, recorder);
}

TEST(PatchApply, AppliesAndLeavesNothingOfItsOwn) {
    Scenario s = Scenario::Typical();
    FakeEngineFileSystem fs;
    Lay(fs, s.before);
    const std::uint32_t marked = kAttributeReadOnly | kAttributeHidden | kAttributeSystem;
    fs.SetAttributes("app.exe", marked);
    Recorder recorder;
    ApplyResult result = ApplyTo(fs, BuildWholePatch(s.fileSpecs), recorder);
    EXPECT_EQ(result.outcome, ApplyOutcome::Applied) << result.message;
    EXPECT_EQ(fs.Files(), s.after);
    EXPECT_EQ(fs.AttributesOf("app.exe"), marked);
    EXPECT_EQ(fs.Directories(), (std::set<std::string>{"lib", "lib\\new"}));
    EXPECT_NE(recorder.lines.find("app.exe: patched"), std::string::npos) << recorder.lines;
    EXPECT_NE(recorder.lines.find("old.txt: removed"), std::string::npos) << recorder.lines;
}

TEST(PatchApply, SecondRunIsAlreadyAppliedAndChangesNothing) {
    Scenario s = Scenario::Typical();
    FakeEngineFileSystem fs;
    Lay(fs, s.before);
    Recorder recorder;
    auto patch = BuildWholePatch(s.fileSpecs);
    ASSERT_EQ(ApplyTo(fs, patch, recorder).outcome, ApplyOutcome::Applied);
    fs.failFrom = 0;
    // Any attempt to write would now fail: an already-applied run must not need one.
    FakeEngineFileSystem copy = fs;
    ApplyResult again = ApplyTo(fs, patch, recorder);
    EXPECT_EQ(again.outcome, ApplyOutcome::AlreadyApplied) << again.message;
    EXPECT_EQ(fs.Files(), copy.Files());
}

TEST(PatchApply, RefusesFilesInUnknownStatesNamingThem) {
    struct Case {
        const char* name;
        std::function<void(FakeEngineFileSystem&)> change;
        ApplyOutcome outcome;
        const char* file;
    };
    const Case cases[] = {
        {"changed by the user", [](auto& fs) { fs.PutFile("lib\\core.dll", "core 1, edited"); },
         ApplyOutcome::NotApplicable, "lib\\core.dll"},
        {"missing", [](auto& fs) { fs.Delete("app.exe"); }, ApplyOutcome::NotApplicable, "app.exe"},
        {"added file exists, other content", [](auto& fs) {
             fs.PutDirectory("lib\\new");
             fs.PutFile("lib\\new\\extra.dat", "mine");
         }, ApplyOutcome::NotApplicable, "lib\\new\\extra.dat"},
        {"file removed is changed", [](auto& fs) { fs.PutFile("old.txt", "edited"); }, ApplyOutcome::NotApplicable,
         "old.txt"},
        {"directory in place of a file", [](auto& fs) {
             fs.Delete("app.exe");
             fs.PutDirectory("app.exe");
         }, ApplyOutcome::NotApplicable, "app.exe"},
        {"held open without sharing", [](auto& fs) { fs.locked.insert("LIB\\CORE.DLL"); },
         ApplyOutcome::IoFailureRolledBack, "lib\\core.dll"},
        {"a link in place of a file", [](auto& fs) {
             fs.Delete("app.exe");
             fs.PutLink("app.exe");
         }, ApplyOutcome::NotApplicable, "app.exe"},
        {"the directory of an added file is a link", [](auto& fs) { fs.PutLink("lib\\new"); },
         ApplyOutcome::NotApplicable, "lib\\new\\extra.dat"},
    };
    for (const Case& c : cases) {
        Scenario s = Scenario::Typical();
        FakeEngineFileSystem fs;
        Lay(fs, s.before);
        c.change(fs);
        Files before = fs.Files();
        auto directories = fs.Directories();
        Recorder recorder;
        ApplyResult result = ApplyTo(fs, BuildWholePatch(s.fileSpecs), recorder);
        EXPECT_EQ(result.outcome, c.outcome) << c.name << ": " << result.message;
        EXPECT_EQ(result.file, c.file) << c.name;
        EXPECT_NE(result.message.find(c.file), std::string::npos) << c.name << ": " << result.message;
        EXPECT_EQ(fs.Files(), before) << c.name;
        EXPECT_EQ(fs.Directories(), directories) << c.name;
    }
}

TEST(PatchApply, FileChangedBeforeItsSwapIsKept) {
    for (const char* path : {"lib\\core.dll", "old.txt"}) { // replaced by whole content; removed
        Scenario s = Scenario::Typical();
        FakeEngineFileSystem fs;
        Lay(fs, s.before);
        fs.beforeStep = [&](const std::string& what) {
            if (what == std::string("rename ") + path + " -> " + path + kBackupSuffix) fs.PutFile(path, "edited meanwhile");
        };
        Recorder recorder;
        ApplyResult result = ApplyTo(fs, BuildWholePatch(s.fileSpecs), recorder);
        fs.beforeStep = nullptr;
        EXPECT_EQ(result.outcome, ApplyOutcome::NotApplicable) << path << ": " << result.message;
        EXPECT_EQ(result.file, path);
        Files expected = s.before;
        expected[path] = "edited meanwhile";
        EXPECT_EQ(fs.Files(), expected) << path;
    }
}

// A file replaced by whole content whose size names one old version is not hashed at the check:
// moved aside, it is proved that version, or the run rolls back and says it is none.
TEST(PatchApply, AWholeReplacementToldByItsSizeIsProvedWhenMovedAside) {
    const std::vector<FileSpec> files = {{"app.exe", {"version 1"}, true, "version 2, longer"}};
    struct Case {
        const char* found;
        ApplyOutcome outcome;
        const char* after;
    } cases[] = {{"version 1", ApplyOutcome::Applied, "version 2, longer"},
                 {"version X", ApplyOutcome::NotApplicable, "version X"}};
    for (const Case& c : cases) {
        FakeEngineFileSystem fs;
        fs.PutFile("app.exe", c.found);
        Recorder recorder;
        const ApplyResult result = ApplyTo(fs, BuildWholePatch(files), recorder);
        EXPECT_EQ(result.outcome, c.outcome) << c.found << ": " << result.message;
        if (c.outcome != ApplyOutcome::Applied) {
            EXPECT_EQ(result.message, "app.exe is not a version this patch applies to (changed or different version)");
        }
        EXPECT_EQ(fs.Files(), (Files{{"app.exe", c.after}})) << c.found;
    }
}

TEST(PatchApply, ContentThatDoesNotMatchItsHashIsRolledBack) {
    Scenario s = Scenario::Typical();
    auto patch = BuildWholePatch(s.fileSpecs);
    // The second file's new digest names other bytes; the first was already staged.
    PatchModel model;
    std::string error;
    ASSERT_TRUE(ParsePatchBytes(patch.data(), patch.size(), model, error));
    std::vector<std::vector<std::uint8_t>> blobs = {testing::Blob("application 2, longer"), testing::Blob("core 3"),
                                                    testing::Blob("extra")};
    model.entries[0].olds[0].content.offset = model.entries[0].olds[1].content.offset = 0;
    model.entries[1].olds[0].content.offset = 1;
    model.entries[2].addContent.offset = 2;
    auto bad = WritePatch(model.entries, blobs);
    FakeEngineFileSystem fs;
    Lay(fs, s.before);
    Recorder recorder;
    ApplyResult result = ApplyTo(fs, bad, recorder);
    EXPECT_EQ(result.outcome, ApplyOutcome::CorruptPatch) << result.message;
    EXPECT_EQ(result.file, "lib\\core.dll");
    EXPECT_EQ(fs.Files(), s.before);
}

// After any failure, each file of the patch is wholly old or wholly new, all of them together.
// The engine's own files may stay only when the run said so (a failed clean-up or roll-back);
// the next run's recovery then removes them.
bool IsOwn(const std::string& name) { return name.find("hfx~") != std::string::npos; }

void ExpectAllOldOrAllNew(FakeEngineFileSystem& fs, const Scenario& s, const ApplyResult& result,
                          const std::vector<std::uint8_t>& patch, const std::string& context) {
    Files user, own;
    for (const auto& [name, bytes] : fs.Files()) (IsOwn(name) ? own : user)[name] = bytes;
    EXPECT_TRUE(user == s.before || user == s.after) << context;
    if (user == s.before) {
        EXPECT_NE(result.outcome, ApplyOutcome::Applied) << context;
        if (own.empty()) {
            EXPECT_EQ(fs.Directories(), std::set<std::string>{"lib"}) << context;
        }
    } else {
        EXPECT_EQ(result.outcome, ApplyOutcome::Applied) << context;
    }
    if (!own.empty()) {
        EXPECT_NE(result.message.find("the next run"), std::string::npos) << context;
        fs.ResetFaults();
        Recorder recorder;
        ASSERT_EQ(SettleIn(fs, patch, recorder).outcome, ApplyOutcome::Applied) << context;
        for (const auto& [name, bytes] : fs.Files()) EXPECT_FALSE(IsOwn(name)) << context << ": " << name;
        EXPECT_EQ(fs.Files(), user) << context;
    }
}

TEST(PatchApply, FailingAnyOneOperationLeavesAllOldOrAllNew) {
    Scenario s = Scenario::Typical();
    auto patch = BuildWholePatch(s.fileSpecs);
    long total = 0;
    {
        FakeEngineFileSystem fs;
        Lay(fs, s.before);
        Recorder recorder;
        ASSERT_EQ(ApplyTo(fs, patch, recorder).outcome, ApplyOutcome::Applied);
        total = fs.operations;
    }
    // An operation that fails, or an allocation that finds no memory there.
    for (bool exhausted : {false, true}) {
        for (long n = 1; n <= total; ++n) {
            FakeEngineFileSystem fs;
            Lay(fs, s.before);
            (exhausted ? fs.exhaustAt : fs.failAt) = n;
            Recorder recorder;
            ApplyResult result = ApplyTo(fs, patch, recorder);
            const std::string context = (exhausted ? "memory exhausted at operation " : "failing operation ") +
                                        std::to_string(n) + ": " + result.message;
            ExpectAllOldOrAllNew(fs, s, result, patch, context);
            if (exhausted && result.outcome != ApplyOutcome::Applied) {
                EXPECT_EQ(result.outcome, ApplyOutcome::IoFailureRolledBack) << context;
            }
        }
    }
}

TEST(PatchApply, PersistentFailureIsSettledByTheNextRun) {
    Scenario s = Scenario::Typical();
    auto patch = BuildWholePatch(s.fileSpecs);
    for (long n = 1; n <= 200; ++n) {
        FakeEngineFileSystem fs;
        Lay(fs, s.before);
        fs.failFrom = n;
        Recorder recorder;
        ApplyResult first = ApplyTo(fs, patch, recorder);
        std::string context = "failing from operation " + std::to_string(n) + ": " + first.message;
        if (first.outcome == ApplyOutcome::Applied) break; // every later n fails only the clean-up
        fs.ResetFaults();
        ApplyResult second = ApplyTo(fs, patch, recorder);
        EXPECT_EQ(second.outcome, ApplyOutcome::Applied) << context << " / " << second.message;
        EXPECT_EQ(fs.Files(), s.after) << context;
    }
}

TEST(PatchApply, KilledAtAnyPointIsRecoveredByTheNextRun) {
    Scenario s = Scenario::Typical();
    auto patch = BuildWholePatch(s.fileSpecs);
    for (long n = 1;; ++n) {
        FakeEngineFileSystem fs;
        Lay(fs, s.before);
        fs.crashAt = n;
        Recorder recorder;
        bool crashed = false;
        try {
            ApplyTo(fs, patch, recorder);
        } catch (const SimulatedCrash&) {
            crashed = true;
        }
        if (!crashed) break;
        std::string context = "killed at operation " + std::to_string(n);
        // Settling alone brings the directory to all old or all new, with nothing of ours left;
        // so it does from the files themselves when the journal is lost or torn.
        for (const char* journal : {"as left", "lost", "torn"}) {
            FakeEngineFileSystem recovered = fs;
            recovered.ResetFaults();
            const Files left = recovered.Files();
            if (left.count(kJournalName) != 0 && std::string(journal) == "lost") recovered.Delete(kJournalName);
            if (left.count(kJournalName) != 0 && std::string(journal) == "torn")
                recovered.PutFile(kJournalName, left.at(kJournalName).substr(0, 20));
            ASSERT_EQ(SettleIn(recovered, patch, recorder).outcome, ApplyOutcome::Applied) << context << ", journal " << journal;
            for (const auto& [name, bytes] : recovered.Files()) EXPECT_FALSE(IsOwn(name)) << context << ": " << name;
            EXPECT_TRUE(recovered.Files() == s.before || recovered.Files() == s.after) << context << ", journal " << journal;
        }
        // The next run recovers, then applies.
        fs.ResetFaults();
        ApplyResult result = ApplyTo(fs, patch, recorder);
        EXPECT_TRUE(result.outcome == ApplyOutcome::Applied || result.outcome == ApplyOutcome::AlreadyApplied)
            << context << ": " << result.message;
        EXPECT_EQ(fs.Files(), s.after) << context;
    }
}

TEST(PatchApply, KilledWhileSettlingIsSettledAgain) {
    Scenario s = Scenario::Typical();
    auto patch = BuildWholePatch(s.fileSpecs);
    // Kill the run after two swaps, then kill the settling at each of its steps.
    for (long settleStep = 1; settleStep < 60; ++settleStep) {
        FakeEngineFileSystem fs;
        Lay(fs, s.before);
        fs.beforeStep = [](const std::string& what) {
            if (what == "rename " + StagedPathOf("lib\\new\\extra.dat") + " -> lib\\new\\extra.dat") throw SimulatedCrash{};
        };
        Recorder recorder;
        EXPECT_THROW(ApplyTo(fs, patch, recorder), SimulatedCrash);
        fs.beforeStep = nullptr;
        fs.ResetFaults();
        fs.crashAt = settleStep;
        try {
            SettleIn(fs, patch, recorder);
        } catch (const SimulatedCrash&) {
        }
        fs.ResetFaults();
        ASSERT_EQ(SettleIn(fs, patch, recorder).outcome, ApplyOutcome::Applied) << settleStep;
        EXPECT_EQ(fs.Files(), s.before) << "settling killed at " << settleStep;
    }
}

// What a hostile user or a torn write can leave under the engine's names: nothing outside the
// patch's own entries and hashes is ever acted on, and the directory settles when it can.
TEST(PatchApply, JournalsAndLeftoversTheEngineDidNotWrite) {
    Scenario s = Scenario::Typical();
    auto patch = BuildWholePatch(s.fileSpecs);
    PatchModel model;
    std::string error;
    ASSERT_TRUE(ParsePatchBytes(patch.data(), patch.size(), model, error));
    auto journalOf = [](const Sha256Digest& digest, JournalState state, std::vector<std::string> directories) {
        Journal journal;
        journal.state = state;
        journal.patchDigest = digest;
        journal.createdDirectories = std::move(directories);
        auto bytes = SerializeJournal(journal);
        return std::string(bytes.begin(), bytes.end());
    };
    Sha256Digest other = model.digest;
    other[0] ^= 1;
    struct Case {
        const char* name;
        Files planted;
        ApplyOutcome outcome;
        Files expected; // what stands afterwards
    };
    Files patched = s.after;
    Files untouched = s.before;
    auto with = [](Files files, const Files& more) {
        for (const auto& [name, bytes] : more) files[name] = bytes;
        return files;
    };
    const Case cases[] = {
        {"garbage under the journal's name", {{kJournalName, "not a journal"}}, ApplyOutcome::Applied, patched},
        {"an empty journal", {{kJournalName, ""}}, ApplyOutcome::Applied, patched},
        {"a journal of another patch", {{kJournalName, journalOf(other, JournalState::Swapping, {})}},
         ApplyOutcome::IoFailureNotRolledBack,
         with(untouched, {{kJournalName, journalOf(other, JournalState::Swapping, {})}})},
        {"this patch's journal naming directories it never makes",
         {{kJournalName, journalOf(model.digest, JournalState::Swapping, {"spare"})}}, ApplyOutcome::Applied, patched},
        {"an unknown file under a backup name, journal committed",
         {{kJournalName, journalOf(model.digest, JournalState::Committed, {})}, {BackupPathOf("app.exe"), "mine"}},
         ApplyOutcome::NotApplicable, with(untouched, {{BackupPathOf("app.exe"), "mine"}})},
        {"a half-written staged file", {{StagedPathOf("lib\\core.dll"), "cor"}}, ApplyOutcome::Applied, patched},
        {"a backup of an old version over a changed file",
         {{"lib\\core.dll", "core 1, edited"}, {BackupPathOf("lib\\core.dll"), "core 1"}},
         ApplyOutcome::IoFailureNotRolledBack,
         with(untouched, {{"lib\\core.dll", "core 1, edited"}, {BackupPathOf("lib\\core.dll"), "core 1"}})},
    };
    for (const Case& c : cases) {
        FakeEngineFileSystem fs;
        Lay(fs, s.before);
        fs.PutDirectory("spare"); // empty, and none of the patch's
        for (const auto& [name, bytes] : c.planted) fs.PutFile(name, bytes);
        Recorder recorder;
        ApplyResult result = ApplyTo(fs, patch, recorder);
        EXPECT_EQ(result.outcome, c.outcome) << c.name << ": " << result.message;
        EXPECT_EQ(fs.Files(), c.expected) << c.name << "\n" << recorder.lines;
        EXPECT_EQ(fs.Directories().count("spare"), 1u) << c.name;
    }
    // A link under an engine's name is never followed, opened or deleted.
    FakeEngineFileSystem fs;
    Lay(fs, s.before);
    fs.PutLink(StagedPathOf("app.exe"));
    Recorder recorder;
    EXPECT_EQ(ApplyTo(fs, patch, recorder).outcome, ApplyOutcome::NotApplicable);
    EXPECT_EQ(fs.Files(), with(untouched, {{StagedPathOf("app.exe"), "<link>"}}));
}

// The volume must hold every file to be staged, with a margin, before anything is written. The
// need is read from the refusal's message: big.bin (200 000 bytes) counts only while it is to be
// patched, the removed gone.txt (300 000 bytes) never.
TEST(PatchApply, RefusesBeforeWritingWhenTheVolumeCannotHoldTheNewFiles) {
    const std::string big(200000, 'b');
    const std::vector<FileSpec> files = {{"big.bin", {"big 1"}, true, big},
                                         {"gone.txt", {std::string(300000, 'g')}, false, ""},
                                         {"small.txt", {"small 1"}, true, "small 2"}};
    const auto patch = BuildWholePatch(files);
    const Files oldBig = {{"big.bin", "big 1"}, {"small.txt", "small 1"}};
    const Files newBig = {{"big.bin", big}, {"small.txt", "small 1"}};
    const Files withGone = {{"big.bin", big}, {"gone.txt", std::string(300000, 'g')}, {"small.txt", "small 1"}};
    const std::regex counted("^not enough space on the volume of the fake: ([0-9]+) bytes needed .*, ([0-9]+) bytes free$");
    auto run = [&](const Files& before, std::uint64_t freeSpace, bool queryFails, std::uint64_t& needed) {
        FakeEngineFileSystem fs;
        for (const auto& [path, bytes] : before) fs.PutFile(path, bytes);
        fs.freeSpace = freeSpace;
        fs.freeSpaceFails = queryFails;
        Recorder recorder;
        const ApplyResult result = ApplyTo(fs, patch, recorder);
        std::smatch numbers;
        needed = 0;
        if (result.outcome != ApplyOutcome::Applied) {
            // Refused with nothing written: no journal, no staged file.
            EXPECT_EQ(fs.Files(), before) << result.message;
            EXPECT_TRUE(std::regex_match(result.message, numbers, counted)) << result.message;
            EXPECT_EQ(numbers[2].str(), std::to_string(freeSpace)) << result.message;
            needed = std::stoull(numbers[1].str());
        } else {
            EXPECT_EQ(fs.Files(), (Files{{"big.bin", big}, {"small.txt", "small 2"}})) << result.message;
        }
        return result.outcome;
    };
    std::uint64_t smallOnly = 0;
    ASSERT_EQ(run(newBig, 0, false, smallOnly), ApplyOutcome::IoFailureRolledBack);
    ASSERT_GT(smallOnly, 0u);
    struct Case {
        const char* name;
        const Files& before;
        std::uint64_t freeSpace;
        bool queryFails;
        ApplyOutcome outcome;
    } cases[] = {
        {"one byte short", newBig, smallOnly - 1, false, ApplyOutcome::IoFailureRolledBack},
        {"exactly enough", newBig, smallOnly, false, ApplyOutcome::Applied},
        {"a removed file needs no room", withGone, smallOnly, false, ApplyOutcome::Applied},
        {"a file to patch needs its new size", oldBig, smallOnly + big.size() - 1, false,
         ApplyOutcome::IoFailureRolledBack},
        {"plenty", oldBig, std::uint64_t(1) << 40, false, ApplyOutcome::Applied},
        {"the free space cannot be told", oldBig, 0, true, ApplyOutcome::Applied},
    };
    for (const Case& c : cases) {
        std::uint64_t needed = 0;
        EXPECT_EQ(run(c.before, c.freeSpace, c.queryFails, needed), c.outcome) << c.name;
        if (c.outcome == ApplyOutcome::IoFailureRolledBack) {
            EXPECT_GT(needed, c.freeSpace) << c.name;
        }
    }
}

TEST(PatchApply, CorruptPatchChangesNothing) {
    Scenario s = Scenario::Typical();
    auto patch = BuildWholePatch(s.fileSpecs);
    patch[patch.size() / 2] ^= 0x55;
    FakeEngineFileSystem fs;
    Lay(fs, s.before);
    Recorder recorder;
    EXPECT_EQ(ApplyTo(fs, patch, recorder).outcome, ApplyOutcome::CorruptPatch);
    EXPECT_EQ(fs.Files(), s.before);
}

// A real delta, as xdelta3 writes it, through the whole apply path.
TEST(PatchApply, AppliesAnXdeltaDelta) {
    std::string oldBytes, newBytes;
    for (int i = 0; i < 20000; ++i) oldBytes += "line " + std::to_string(i) + "\n";
    newBytes = oldBytes;
    newBytes.replace(5000, 10, "CHANGED!!!");
    newBytes += "tail";
    const std::string dir = ::testing::TempDir();
    const std::string oldPath = dir + "/hfx_old.bin", newPath = dir + "/hfx_new.bin", deltaPath = dir + "/hfx.vcdiff";
    std::ofstream(oldPath, std::ios::binary) << oldBytes;
    std::ofstream(newPath, std::ios::binary) << newBytes;
    std::string command = "xdelta3 -e -9 -S none -A -D -f -s " + oldPath + " " + newPath + " " + deltaPath;
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "xdelta3 not available";
    std::ifstream in(deltaPath, std::ios::binary);
    std::string delta((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    PatchEntry entry;
    entry.kind = EntryKind::Change;
    entry.path = "big.txt";
    entry.target = testing::DigestOf(newBytes);
    entry.olds.push_back({testing::DigestOf(oldBytes), {ContentMethod::Delta, 0, 0, delta.size()}});
    auto patch = WritePatch({entry}, {testing::Blob(delta)});

    FakeEngineFileSystem fs;
    fs.PutFile("big.txt", oldBytes);
    Recorder recorder;
    ApplyResult result = ApplyTo(fs, patch, recorder);
    if (result.outcome == ApplyOutcome::CorruptPatch && result.message.find("not available") != std::string::npos)
        GTEST_SKIP() << "VCDIFF decoder not in this build";
    EXPECT_EQ(result.outcome, ApplyOutcome::Applied) << result.message;
    EXPECT_EQ(fs.Files(), (Files{{"big.txt", newBytes}}));

    // A file of the old version's size is taken for that version by its size alone, and its
    // bytes are proved while staging: other bytes, there from the start or written between the
    // check and the staging, refuse the patch and leave the file as it is. The byte changed is
    // one the new file does not take from the old: the new file would still come out right, and
    // the change would be lost with the backup.
    std::string edited = oldBytes;
    edited[5003] = '#';
    for (const bool raced : {false, true}) {
        FakeEngineFileSystem other;
        other.PutFile("big.txt", raced ? oldBytes : edited);
        other.beforeStep = [&](const std::string& what) {
            if (raced && what == "create " + StagedPathOf("big.txt")) other.PutFile("big.txt", edited);
        };
        result = ApplyTo(other, patch, recorder);
        EXPECT_EQ(result.outcome, ApplyOutcome::NotApplicable) << raced;
        EXPECT_EQ(result.message, "big.txt is not a version this patch applies to (changed or different version)");
        other.beforeStep = nullptr;
        EXPECT_EQ(other.Files(), (Files{{"big.txt", edited}})) << raced;
    }
    std::remove(oldPath.c_str());
    std::remove(newPath.c_str());
    std::remove(deltaPath.c_str());
}

} // namespace
} // namespace hotfix::engine
