// The patch sequence against fakes: what is written, run and deleted, in which order, and the
// result for each product code and each missing payload.
#include <gtest/gtest.h>

#include "patch/patch_sequence.h"
#include "patch/fake_patch_ports.h"

namespace hotfix {
namespace {

const std::string kDir = "C:\\Program Files\\Veltrix\\";
const std::string kKtv410First = "HOTFIX_KTV410_722_HOTFIX1.RTP";
const std::string kKtv410Second = "HOTFIX_KTV410_722_HOTFIX2.RTP";
const std::string kFrontEnd = kEngineFrontEnd, kLibrary = kEngineLibrary, kBackup = engine::kBackupSuffix;

class PatchSequenceTest : public ::testing::Test {
protected:
    fakes::FakeDisk disk;
    fakes::FakePayloadStore store{disk};
    fakes::FakeFileOperations files{disk};
    fakes::FakeCommandRunner runner{disk};
    PatchServices services{store, files, runner, EngineRunMode{}, nullptr};

    void SetUp() override {
        store.available = {store.Upper(kFrontEnd), store.Upper(kLibrary),
                           "HOTFIX_KTV410_722_HOTFIX1.RTP", "HOTFIX_KTV410_722_HOTFIX2.RTP",
                           "HOTFIX_KTV520_722_HOTFIX1.RTP", "HOTFIX_KTV520_722_HOTFIX2.RTP",
                           "HOTFIX_KTV430_722_HOTFIX1.RTP", "HOTFIX_KTV410_722_HOTFIX2_UNDO.RTP",
                           "HOTFIX_KTV410_722_HOTFIX1_UNDO.RTP"};
    }
    std::vector<std::string> RunCommandLines() const {
        std::vector<std::string> lines;
        for (const auto& run : runner.runs) lines.push_back(run.commandLine);
        return lines;
    }
};

TEST(EngineCommandLineTest, QuotedRelativeFrontEndThenDotThenBareName) {
    EXPECT_EQ(EngineCommandLine(kKtv410First), "\".\\" + kFrontEnd + "\" . HOTFIX_KTV410_722_HOTFIX1.RTP");
}

TEST_F(PatchSequenceTest, FirstProductRunsStepsInOrder) {
    EXPECT_EQ(ApplyPatches(services, kDir, 1), 1);
    const std::vector<std::string> expected = {
        "write " + kFrontEnd,
        "write " + kLibrary,
        "write " + kKtv410First,
        "cd " + kDir,
        "run " + EngineCommandLine(kKtv410First),
        "delete " + kKtv410First,
        "write " + kKtv410Second,
        "cd " + kDir,
        "run " + EngineCommandLine(kKtv410Second),
        "delete " + kKtv410Second,
        "delete " + kLibrary,
        "delete " + kFrontEnd,
    };
    EXPECT_EQ(disk.events, expected);
}

struct CodeCase {
    int productCode;
    std::vector<std::string> patchFiles;   // run in this order
};

class PatchSequenceCodeTest : public PatchSequenceTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(PatchSequenceCodeTest, RunsEachPatchFileOnceAloneWithTheEngineAndLeavesNothing) {
    const CodeCase& c = GetParam();
    EXPECT_EQ(ApplyPatches(services, kDir, c.productCode), 1);

    ASSERT_EQ(runner.runs.size(), c.patchFiles.size());
    for (std::size_t i = 0; i < c.patchFiles.size(); ++i) {
        const auto& run = runner.runs[i];
        EXPECT_EQ(run.commandLine, EngineCommandLine(c.patchFiles[i]));
        EXPECT_EQ(run.showMode, 1);
        EXPECT_LT(run.timeLimitSeconds, 0);
        EXPECT_FALSE(run.wantedOutput);
        EXPECT_EQ(run.currentDirectory, kDir);
        const std::set<std::string> alone = {kDir + kFrontEnd, kDir + kLibrary, kDir + c.patchFiles[i]};
        EXPECT_EQ(run.filesPresent, alone);
    }
    EXPECT_TRUE(disk.files.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PatchSequenceCodeTest,
    ::testing::Values(CodeCase{1, {kKtv410First, kKtv410Second}},
                      CodeCase{2, {"HOTFIX_KTV520_722_HOTFIX1.RTP", "HOTFIX_KTV520_722_HOTFIX2.RTP"}},
                      CodeCase{3, {"HOTFIX_KTV430_722_HOTFIX1.RTP"}},
                      CodeCase{0, {}}, CodeCase{4, {}}, CodeCase{-1, {}}));

TEST_F(PatchSequenceTest, UnknownCodeStillWritesAndDeletesTheEngine) {
    EXPECT_EQ(ApplyPatches(services, kDir, 7), 1);
    const std::vector<std::string> expected = {"write " + kFrontEnd, "write " + kLibrary,
                                               "delete " + kLibrary, "delete " + kFrontEnd};
    EXPECT_EQ(disk.events, expected);
}

TEST_F(PatchSequenceTest, FirstPatchFileMissingSecondIsStillApplied) {
    store.available.erase(kKtv410First);
    EXPECT_EQ(ApplyPatches(services, kDir, 1), 1);
    EXPECT_EQ(RunCommandLines(), std::vector<std::string>{EngineCommandLine(kKtv410Second)});
    EXPECT_TRUE(disk.files.empty());
}

TEST_F(PatchSequenceTest, SecondPatchFileMissingFailsAlthoughFirstWasApplied) {
    store.available.erase(kKtv410Second);
    EXPECT_EQ(ApplyPatches(services, kDir, 1), 0);
    EXPECT_EQ(RunCommandLines(), std::vector<std::string>{EngineCommandLine(kKtv410First)});
    EXPECT_TRUE(disk.files.empty());
}

TEST_F(PatchSequenceTest, FrontEndNotWrittenRunsNothingAndWritesNothingElse) {
    store.available.erase(store.Upper(kFrontEnd));
    EXPECT_EQ(ApplyPatches(services, kDir, 1), 0);
    EXPECT_EQ(disk.events, std::vector<std::string>{"missing " + kFrontEnd});
    EXPECT_TRUE(runner.runs.empty());
}

TEST_F(PatchSequenceTest, LibraryNotWrittenRemovesTheFrontEnd) {
    store.available.erase(store.Upper(kLibrary));
    EXPECT_EQ(ApplyPatches(services, kDir, 1), 0);
    const std::vector<std::string> expected = {"write " + kFrontEnd, "missing " + kLibrary, "delete " + kFrontEnd};
    EXPECT_EQ(disk.events, expected);
    EXPECT_TRUE(runner.runs.empty());
    EXPECT_TRUE(disk.files.empty());
}

TEST_F(PatchSequenceTest, FilesAlreadyStandingAreOverwrittenAndRemoved) {
    disk.files = {kDir + kFrontEnd, kDir + kLibrary, kDir + kKtv410Second};
    EXPECT_EQ(ApplyPatches(services, kDir, 1), 1);
    EXPECT_TRUE(disk.files.empty());
}

// An interrupted run may be of a patch file or of its reverse: each settles its own.
TEST_F(PatchSequenceTest, SettlingRunsTheEngineInSettlingModeOnEachPatchFileAndEachReverse) {
    EXPECT_EQ(SettleInterruptedRun(services, kDir, 1), 1);
    const std::vector<std::string> expected = {
        EngineSettleCommandLine(kKtv410First), EngineSettleCommandLine(kKtv410Second),
        EngineSettleCommandLine("HOTFIX_KTV410_722_HOTFIX2_UNDO.RTP"),
        EngineSettleCommandLine("HOTFIX_KTV410_722_HOTFIX1_UNDO.RTP")};
    EXPECT_EQ(RunCommandLines(), expected);
    EXPECT_EQ(EngineSettleCommandLine(kKtv410First), "\".\\" + kFrontEnd + "\" " + engine::kSettleSwitch + " . " + kKtv410First);
    EXPECT_TRUE(disk.files.empty());
}

TEST_F(PatchSequenceTest, TracesOfAnInterruptedRun) {
    struct Case {
        std::string file;   // below kDir
        bool trace;
    };
    const Case cases[] = {
        {engine::kJournalName, true}, {store.Upper(engine::kJournalTempName), true}, {"Tarnovex.exe" + kBackup, true},
        {"bin\\core.dll" + std::string(engine::kStagedSuffix), true}, {"bin\\" + std::string(engine::kJournalName), false},
        {"Tarnovex.exe", false}, {kBackup.substr(1), false}, {"readme" + kBackup + ".txt", false},
    };
    for (const Case& c : cases) {
        disk.files = {kDir + "Tarnovex.exe", kDir + c.file};
        EXPECT_EQ(HasInterruptedRun(files, kDir), c.trace) << c.file;
    }
}

} // namespace
} // namespace hotfix
