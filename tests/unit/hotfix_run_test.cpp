// The decision flow of one hotfix run, against fakes: every outcome, its message and result.
#include <gtest/gtest.h>

#include "app/hotfix_run.h"
#include "discovery/application_locator.h"
#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

const char kDir[] = "C:\\Program Files\\Veltrix\\";
const FileVersion kFirst{7, 22, 24188, 12};
const FileVersion kSecond{7, 22, 24209, 13};
const FileVersion kThird{7, 22, 24245, 10};

class HotfixRunTest : public ::testing::Test {
protected:
    fakes::FakeRegistry registry;
    fakes::FakeFileLookup files;
    fakes::SingleByteCodePage codePage;
    fakes::FakeVersionSource versions;
    fakes::FakeRunningTest runningTest;
    fakes::FakePatchStep patchStep;
    fakes::FakeUserInterface ui;
    HotfixContext context{registry, files, codePage, versions, runningTest, patchStep, ui};

    // Registers `exe` in kDir as the open command, at `version` (none: no version resource).
    void Install(const std::string& exe, std::optional<FileVersion> version) {
        registry.values[kDocumentOpenCommandKey] = std::string(kDir) + exe + " /dde";
        if (version) versions.versions[std::string(kDir) + exe] = *version;
    }
    void SetVersionAfterPatch(const std::string& exe, std::optional<FileVersion> version) {
        patchStep.onApply = [this, exe, version] {
            if (version) versions.versions[std::string(kDir) + exe] = *version;
            else versions.versions.erase(std::string(kDir) + exe);
        };
    }
    const fakes::FakeUserInterface::Shown& OnlyMessage() {
        EXPECT_EQ(ui.shown.size(), 1u);
        return ui.shown.at(0);
    }
};

TEST_F(HotfixRunTest, NothingRegisteredShowsMessageOne) {
    RunRecord record;
    EXPECT_TRUE(RunHotfix(context, &record));
    EXPECT_EQ(record.outcome, Outcome::NotFound);
    EXPECT_EQ(OnlyMessage().text,
              "Application non found.\nPlease try to reinstall from the original CD before trying again");
    EXPECT_EQ(OnlyMessage().style, 0x10u);
    EXPECT_TRUE(runningTest.asked.empty());
    EXPECT_TRUE(patchStep.calls.empty());
}

TEST_F(HotfixRunTest, UnknownExecutableShowsMessageOneEvenWhileRunning) {
    Install("Notepad.exe", kFirst);
    runningTest.answers = {false};
    EXPECT_TRUE(RunHotfix(context));
    EXPECT_EQ(OnlyMessage().style, 0x10u);
    EXPECT_NE(OnlyMessage().text.find("Application non found."), std::string::npos);
    EXPECT_TRUE(runningTest.asked.empty());
}

TEST_F(HotfixRunTest, NameInCapitalsIsRecognised) {
    Install("TARNOVEX.EXE", kThird);
    RunRecord record;
    RunHotfix(context, &record);
    EXPECT_EQ(record.outcome, Outcome::UpToDate);
    EXPECT_EQ(OnlyMessage().text, "Your are already using the latest version of Tarnovex.");
}

TEST_F(HotfixRunTest, ViewerAtSecondLabelIsUpToDateWithHandIcon) {
    Install("TarnovexViewer.exe", kSecond);
    EXPECT_TRUE(RunHotfix(context));
    EXPECT_EQ(OnlyMessage().text, "Your are already using the latest version of Tarnovex Viewer.");
    EXPECT_EQ(OnlyMessage().style, 0x10u);
    EXPECT_TRUE(patchStep.calls.empty());
}

TEST_F(HotfixRunTest, CurrentVersionWhileRunningIsUpToDateWithoutRunningTest) {
    Install("Tarnovex.exe", kThird);
    runningTest.answers = {false};
    RunHotfix(context);
    EXPECT_EQ(OnlyMessage().text, "Your are already using the latest version of Tarnovex.");
    EXPECT_TRUE(runningTest.asked.empty());
}

TEST_F(HotfixRunTest, WrongVersionsShowMessageThreeWithoutRunningTest) {
    for (std::optional<FileVersion> version :
         {std::optional<FileVersion>(FileVersion{7, 22, 24300, 1}), std::optional<FileVersion>(kThird),
          std::optional<FileVersion>()}) {
        ui.shown.clear();
        registry.values.clear();
        versions.versions.clear();
        Install("TarnovexViewer.exe", version);
        runningTest.answers = {false};
        RunRecord record;
        EXPECT_TRUE(RunHotfix(context, &record));
        EXPECT_EQ(record.outcome, Outcome::WrongVersion);
        EXPECT_EQ(OnlyMessage().text,
                  "The application Tarnovex Viewer has been found but this HotFix cannot be applied to "
                  "this version.\nPlease upgrade to the latest official version before reapply this HotFix");
        EXPECT_EQ(OnlyMessage().style, 0x10u);
    }
    EXPECT_TRUE(runningTest.asked.empty());
}

TEST_F(HotfixRunTest, RunningApplicationAsksToQuitAndRetryRunsAgain) {
    Install("Sellidor.exe", kFirst);
    runningTest.answers = {false};
    ui.answers = {kAnswerRetry};
    RunRecord record;
    EXPECT_FALSE(RunHotfix(context, &record));
    EXPECT_EQ(record.outcome, Outcome::StillRunning);
    EXPECT_EQ(OnlyMessage().text, "Please quit the Sellidor application before applying this HotFix.");
    EXPECT_EQ(OnlyMessage().style, 0x15u);
    EXPECT_EQ(runningTest.asked, std::vector<std::string>{std::string(kDir) + "Sellidor.exe"});
    EXPECT_TRUE(patchStep.calls.empty());
}

TEST_F(HotfixRunTest, CancelOrClosingTheRunningMessageEndsTheRun) {
    Install("Sellidor.exe", kSecond);
    for (int answer : {kAnswerCancel, 0, kAnswerOk}) {
        runningTest.answers = {false};
        ui.answers = {answer};
        EXPECT_TRUE(RunHotfix(context));
    }
    EXPECT_TRUE(patchStep.calls.empty());
}

TEST_F(HotfixRunTest, RetryLoopPausesTwoSecondsBetweenRuns) {
    Install("Tarnovex.exe", kFirst);
    runningTest.answers = {false, false, true};
    ui.answers = {kAnswerRetry, kAnswerRetry, kAnswerOk};
    SetVersionAfterPatch("Tarnovex.exe", kThird);
    fakes::FakeSleeper sleeper;
    RunUntilFinished(context, sleeper);
    EXPECT_EQ(sleeper.pauses, (std::vector<unsigned>{2000, 2000}));
    ASSERT_EQ(ui.shown.size(), 3u);
    EXPECT_EQ(ui.shown[2].text, "The hotfix was applied to the Tarnovex application");
    EXPECT_EQ(ui.shown[2].style, 0x40u);
}

TEST_F(HotfixRunTest, PatchableStoppedInstallationIsPatchedWithItsCodeAndDirectory) {
    Install("Tarnovex.exe", kFirst);
    SetVersionAfterPatch("Tarnovex.exe", kThird);
    RunRecord record;
    EXPECT_TRUE(RunHotfix(context, &record));
    ASSERT_EQ(patchStep.calls.size(), 1u);
    EXPECT_EQ(patchStep.calls[0].directory, kDir);
    EXPECT_EQ(patchStep.calls[0].productCode, 1);
    EXPECT_EQ(record.labelAfter, "7.22 (7.22.24245.10)");
    EXPECT_EQ(OnlyMessage().text, "The hotfix was applied to the Tarnovex application");
}

TEST_F(HotfixRunTest, AnyLabelOutsideTheBasesCountsAsApplied) {
    Install("Sellidor.exe", kFirst);
    SetVersionAfterPatch("Sellidor.exe", FileVersion{7, 22, 24300, 1});
    RunHotfix(context);
    EXPECT_EQ(OnlyMessage().text, "The hotfix was applied to the Sellidor application");
}

TEST_F(HotfixRunTest, PatchFailureShowsMessageFiveWithoutSecondRead) {
    Install("Tarnovex.exe", kSecond);
    patchStep.result = 0;
    RunHotfix(context);
    EXPECT_EQ(OnlyMessage().text, "An error occurred during the application of the hotfix.");
    EXPECT_EQ(OnlyMessage().style, 0x10u);
    EXPECT_EQ(versions.reads.size(), 1u);
}

TEST_F(HotfixRunTest, ResultOtherThanOneIsAFailure) {
    Install("Tarnovex.exe", kSecond);
    patchStep.result = 2;
    SetVersionAfterPatch("Tarnovex.exe", kThird);
    RunHotfix(context);
    EXPECT_EQ(OnlyMessage().text, "An error occurred during the application of the hotfix.");
}

TEST_F(HotfixRunTest, LabelStillABaseAfterPatchingIsAFailure) {
    // The first base label moving only to the second one has not taken either.
    Install("Tarnovex.exe", kFirst);
    SetVersionAfterPatch("Tarnovex.exe", kSecond);
    RunHotfix(context);
    EXPECT_EQ(OnlyMessage().text, "An error occurred during the application of the hotfix.");
}

TEST_F(HotfixRunTest, VersionResourceLostDuringPatchingIsAFailure) {
    Install("Tarnovex.exe", kFirst);
    SetVersionAfterPatch("Tarnovex.exe", std::nullopt);
    RunHotfix(context);
    EXPECT_EQ(OnlyMessage().text, "An error occurred during the application of the hotfix.");
}

TEST_F(HotfixRunTest, ViewerPatchedToItsTargetIsApplied) {
    Install("TarnovexViewer.exe", kFirst);
    SetVersionAfterPatch("TarnovexViewer.exe", kSecond);
    RunHotfix(context);
    EXPECT_EQ(patchStep.calls.at(0).productCode, 3);
    EXPECT_EQ(OnlyMessage().text, "The hotfix was applied to the Tarnovex Viewer application");
}

// An installation where an engine run was interrupted is settled before its version decides
// anything; one that stays unsettled, before or after patching, is never reported patched.
struct InterruptedCase {
    const char* name;
    FileVersion version;      // the label read once settled
    bool before;              // traces of an interrupted run when the run starts
    bool running;
    bool settleFails;
    bool leftByPatching;      // the patch sequence leaves an interrupted run behind
    Outcome outcome;
    std::size_t settles;
    std::size_t patches;
};

class InterruptedRunTest : public HotfixRunTest, public ::testing::WithParamInterface<InterruptedCase> {};

TEST_P(InterruptedRunTest, SettledFirstNeverJudgedByItsVersionWhileUnsettled) {
    const InterruptedCase& c = GetParam();
    Install("Tarnovex.exe", c.version);
    patchStep.interrupted = c.before;
    patchStep.settleFails = c.settleFails;
    runningTest.answers = {!c.running};
    patchStep.onApply = [&] {
        versions.versions[std::string(kDir) + "Tarnovex.exe"] = kThird;
        patchStep.interrupted = c.leftByPatching;
    };
    RunRecord record;
    RunHotfix(context, &record);
    EXPECT_EQ(record.outcome, c.outcome) << c.name;
    EXPECT_EQ(patchStep.settles.size(), c.settles) << c.name;
    EXPECT_EQ(patchStep.calls.size(), c.patches) << c.name;
    if (c.settles == 1) EXPECT_EQ(patchStep.settles[0].productCode, 1) << c.name;
    EXPECT_EQ(record.unsettled, c.settleFails || c.leftByPatching) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InterruptedRunTest,
    ::testing::Values(
        InterruptedCase{"settled, then patched", kFirst, true, false, false, false, Outcome::Applied, 1, 1},
        InterruptedCase{"settled to the target: up to date", kThird, true, false, false, false, Outcome::UpToDate, 1, 0},
        InterruptedCase{"not settled", kFirst, true, false, true, false, Outcome::Failed, 1, 0},
        InterruptedCase{"application running", kThird, true, true, false, false, Outcome::StillRunning, 0, 0},
        InterruptedCase{"left unsettled by the patch sequence", kFirst, false, false, false, true, Outcome::Failed, 0, 1}));

} // namespace
} // namespace hotfix
