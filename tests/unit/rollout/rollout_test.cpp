// The installer's run as its switches ask: exit codes, the quiet answers and their wait
// budget, the log's content and order, and the unchanged interactive default.
#include <gtest/gtest.h>

#include "app/exit_codes.h"
#include "app/pending_restart.h"
#include "app/quiet_user_interface.h"
#include "app/rollout.h"
#include "discovery/application_locator.h"
#include "fakes/fake_platform.h"
#include "rollout/rollout_fakes.h"

namespace hotfix {
namespace {

using namespace std::string_literals;

const char kDir[] = "C:\\Apps\\Veltrix\\";
const FileVersion kFirst{7, 22, 24188, 12};
const FileVersion kThird{7, 22, 24245, 10};
const FileVersion kOther{7, 10, 1, 1};

TEST(ExitCodeTest, EachOutcomeHasItsCode) {
    const struct {
        Outcome outcome;
        int code;
    } table[] = {
        {Outcome::NotFound, 1605}, {Outcome::StillRunning, 1618}, {Outcome::WrongVersion, 1642},
        {Outcome::UpToDate, 0},    {Outcome::Failed, 1603},       {Outcome::Applied, 0},
        {Outcome::NotInstalled, 1647}, {Outcome::Removed, 0},     {Outcome::NothingToRemove, 0},
    };
    for (const auto& row : table) EXPECT_EQ(ExitCodeFor(row.outcome), row.code) << static_cast<int>(row.outcome);
    EXPECT_EQ(ExitCodeFor(static_cast<Outcome>(0)), 1603);   // never success for no outcome
}

TEST(QuietUserInterfaceTest, RetriesWhileTheNextTryStartsWithinTheBudget) {
    fakes::FakeClockSleeper clock;
    clock.nowMs = 50000;   // the budget counts from construction, not from zero
    QuietUserInterface ui(clock, 5);
    const unsigned stillRunning = kStyleRetryCancel | kIconHand;
    EXPECT_EQ(ui.ShowMessage("m2", stillRunning), kAnswerRetry);   // 0 s
    clock.nowMs += 2000;
    EXPECT_EQ(ui.ShowMessage("m2", stillRunning), kAnswerRetry);   // 2 s
    clock.nowMs += 2999;
    EXPECT_EQ(ui.ShowMessage("m2", stillRunning), kAnswerRetry);   // 4.999 s: still within 5 s
    clock.nowMs += 1;
    EXPECT_EQ(ui.ShowMessage("m2", stillRunning), kAnswerCancel);  // 5 s: the budget is spent
    EXPECT_EQ(ui.ShowMessage("m5", kStyleOk | kIconHand), kAnswerOk);
    EXPECT_EQ(ui.Count(), 5);
    EXPECT_EQ(ui.LastText(), "m5");
}

TEST(QuietUserInterfaceTest, NoBudgetGivesUpAtOnce) {
    fakes::FakeClockSleeper clock;
    QuietUserInterface ui(clock, 0);
    EXPECT_EQ(ui.ShowMessage("m2", kStyleRetryCancel | kIconHand), kAnswerCancel);
    EXPECT_EQ(ui.ShowMessage("m4", kStyleOk | kIconHand), kAnswerOk);
    EXPECT_EQ(ui.ShowMessage("m6", kStyleOk | kIconInformation), kAnswerOk);
}

class RolloutTest : public ::testing::Test {
public:
    fakes::FakeRegistry registry;
    fakes::FakeFileLookup files;
    fakes::SingleByteCodePage codePage;
    fakes::FakeVersionSource versions;
    fakes::FakeRunningTest runningTest;
    fakes::FakePatchStep patchStep;
    fakes::FakeUserInterface ui;
    fakes::FakeClockSleeper clock;
    fakes::MemoryLog log;
    fakes::FakeEngineConfiguration engine;
    HotfixContext context{registry, files, codePage, versions, runningTest, patchStep, ui};

    void Install(const std::string& exe, std::optional<FileVersion> version) {
        registry.values[kDocumentOpenCommandKey] = std::string(kDir) + exe + " /dde";
        files.Add(std::string(kDir) + exe, exe);
        files.Add(std::string(kDir), "Veltrix");
        files.Add("C:\\Apps\\", "Apps");
        if (version) versions.versions[std::string(kDir) + exe] = *version;
    }
    void PatchTo(const std::string& exe, FileVersion version) {
        patchStep.onApply = [this, exe, version] { versions.versions[std::string(kDir) + exe] = version; };
    }
    // An operation left for the next restart in the second value: `source` moved over `destination`.
    void LeaveForRestart(const std::string& source, const std::string& destination) {
        registry.SetMultiString(kSessionManagerKey, kPendingRenameValues[1],
                                "\\??\\" + source + '\0' + "!\\??\\" + destination + '\0' + '\0');
    }
    int Run(const RunOptions& options, bool withLog = false) {
        RolloutServices services{context, clock};
        services.clock = &clock;
        services.log = withLog ? &log : nullptr;
        services.engine = &engine;
        return RunRollout(options, "setup.exe /x", services);
    }
    static RunOptions Quiet(unsigned waitSeconds = 0) {
        RunOptions options;
        options.quiet = true;
        options.waitSeconds = waitSeconds;
        return options;
    }
};

TEST_F(RolloutTest, QuietExitCodeForEachOutcome) {
    struct Row {
        const char* name;
        std::function<void(RolloutTest&)> arrange;
        int exitCode;
    };
    const Row rows[] = {
        {"nothing installed", [](RolloutTest&) {}, 1605},
        {"unknown program", [](RolloutTest& t) { t.Install("Other.exe", kFirst); }, 1605},
        {"wrong version", [](RolloutTest& t) { t.Install("Tarnovex.exe", kOther); }, 1642},
        {"no version resource", [](RolloutTest& t) { t.Install("Tarnovex.exe", std::nullopt); }, 1642},
        {"up to date", [](RolloutTest& t) { t.Install("Tarnovex.exe", kThird); }, 0},
        {"patched",
         [](RolloutTest& t) {
             t.Install("Tarnovex.exe", kFirst);
             t.PatchTo("Tarnovex.exe", kThird);
         },
         0},
        {"label did not move", [](RolloutTest& t) { t.Install("Tarnovex.exe", kFirst); }, 1603},
        {"sequence failed",
         [](RolloutTest& t) {
             t.Install("Tarnovex.exe", kFirst);
             t.patchStep.result = 0;
         },
         1603},
        {"still running",
         [](RolloutTest& t) {
             t.Install("Tarnovex.exe", kFirst);
             t.runningTest.answers = {false};
         },
         1618},
        {"restart pending in the folder",
         [](RolloutTest& t) {
             t.Install("Tarnovex.exe", kFirst);
             t.PatchTo("Tarnovex.exe", kThird);
             t.LeaveForRestart("C:\\Temp\\x.tmp", "C:\\Apps\\Veltrix\\Tarnovex.exe");
         },
         1603},
        {"restart pending in a sibling folder",
         [](RolloutTest& t) {
             t.Install("Tarnovex.exe", kFirst);
             t.PatchTo("Tarnovex.exe", kThird);
             t.LeaveForRestart("C:\\Temp\\x.tmp", "C:\\Apps\\Veltrix2\\Tarnovex.exe");
         },
         0},
    };
    for (const Row& row : rows) {
        registry.values.clear();
        registry.machineValues.clear();
        versions.versions.clear();
        runningTest.answers.clear();
        patchStep = fakes::FakePatchStep();
        ui.shown.clear();
        row.arrange(*this);
        EXPECT_EQ(Run(Quiet()), row.exitCode) << row.name;
        EXPECT_TRUE(ui.shown.empty()) << row.name << ": a quiet run showed a message";
    }
}

TEST_F(RolloutTest, InteractiveRunIsUnchanged) {
    // Still running, Retry, then stopped and patched: the boxes, the pause and exit code 0.
    Install("Tarnovex.exe", kFirst);
    PatchTo("Tarnovex.exe", kThird);
    runningTest.answers = {false, true};
    ui.answers = {kAnswerRetry};
    EXPECT_EQ(Run(RunOptions()), 0);
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[0].style, kStyleRetryCancel | kIconHand);
    EXPECT_EQ(ui.shown[1].text, "The hotfix was applied to the Tarnovex application");
    EXPECT_EQ(clock.pauses, (std::vector<unsigned>{2000}));
    EXPECT_TRUE(engine.modes.empty()) << "the engine's mode must stay the default";
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(RolloutTest, InteractiveFailureAndCancelStillExitZero) {
    Install("Tarnovex.exe", kFirst);
    runningTest.answers = {false};
    ui.answers = {kAnswerCancel};
    EXPECT_EQ(Run(RunOptions()), 0);
    RunOptions logged;
    logged.logPath = "x.log";
    Install("Tarnovex.exe", kOther);
    EXPECT_EQ(Run(logged, true), 0);   // a log alone does not turn on exit codes
}

TEST_F(RolloutTest, QuietWaitRetriesEveryTwoSecondsThenGivesUp) {
    Install("Sellidor.exe", kFirst);
    runningTest.answers = std::vector<bool>(100, false);
    EXPECT_EQ(Run(Quiet(7)), 1618);
    // Tries at 0, 2, 4 and 6 s retry; the try at 8 s, past the 7 s asked, gives up.
    EXPECT_EQ(clock.pauses, (std::vector<unsigned>{2000, 2000, 2000, 2000}));
    EXPECT_EQ(runningTest.asked.size(), 5u);
    EXPECT_TRUE(patchStep.calls.empty());
}

TEST_F(RolloutTest, QuietWaitEndsAsSoonAsTheApplicationStops) {
    Install("Sellidor.exe", kFirst);
    PatchTo("Sellidor.exe", kThird);
    runningTest.answers = {false, false, true};
    EXPECT_EQ(Run(Quiet(60)), 0);
    EXPECT_EQ(clock.pauses.size(), 2u);
    ASSERT_EQ(patchStep.calls.size(), 1u);
    EXPECT_EQ(patchStep.calls[0].productCode, 2);
}

TEST_F(RolloutTest, QuietRunHidesTheEngineAndCapturesOnlyForALog) {
    Install("Tarnovex.exe", kThird);
    Run(Quiet());
    ASSERT_EQ(engine.modes.size(), 1u);
    EXPECT_EQ(engine.modes[0].showMode, 0);
    EXPECT_FALSE(engine.modes[0].captureOutput);
    EXPECT_EQ(engine.events, nullptr);

    engine.modes.clear();
    RunOptions options = Quiet();
    options.logPath = "x.log";
    Run(options, true);
    ASSERT_EQ(engine.modes.size(), 2u);
    EXPECT_EQ(engine.modes[0].showMode, 0);
    EXPECT_TRUE(engine.modes[0].captureOutput);
    // Once the run is over, nothing may report to the log that is gone.
    EXPECT_EQ(engine.modes[1].showMode, 1);
    EXPECT_EQ(engine.events, nullptr);
}

TEST_F(RolloutTest, LogTellsAPatchedRunInOrder) {
    Install("Tarnovex.exe", kFirst);
    runningTest.answers = {false, true};
    patchStep.onApply = [this] {
        // What the platform's patch sequence reports through the events it was given.
        ASSERT_NE(engine.events, nullptr);
        engine.events->PayloadWritten(std::string(kDir) + "patch.exe", 1);
        engine.events->EngineRan(kDir, "\".\\patch.exe\" . HOTFIX_KTV410_722_HOTFIX1.RTP", 0, true, 0,
                                 "Patching Tarnovex.exe\r\ndone\n");
        engine.events->FileDeleted(std::string(kDir) + "HOTFIX_KTV410_722_HOTFIX1.RTP", Removal::Removed);
        engine.events->FileDeleted(std::string(kDir) + "patch.exe", Removal::Left);
        versions.versions[std::string(kDir) + "Tarnovex.exe"] = kThird;
    };
    RunOptions options = Quiet(10);
    options.logPath = "C:\\logs\\hotfix.log";
    EXPECT_EQ(Run(options, true), 0);

    const char* expectedInOrder[] = {
        "Hotfix started: setup.exe /x",
        "Mode: quiet, wait up to 10 s",
        "Run 1",
        "Found: C:\\Apps\\Veltrix\\Tarnovex.exe",
        "Product: Tarnovex (code 1)",
        "Pending restart: no operation names C:\\Apps\\Veltrix\\",
        "Version label: 7.22 (7.22.24188.12)",
        "Running test: C:\\Apps\\Veltrix\\Tarnovex.exe is running",
        "Outcome: message 2, application still running",
        "Answered (quiet): Retry",
        "Application still running: trying again in 2 s",
        "Run 2",
        "Found: C:\\Apps\\Veltrix\\Tarnovex.exe",
        "Running test: C:\\Apps\\Veltrix\\Tarnovex.exe is not running",
        "Patching C:\\Apps\\Veltrix\\ (product code 1)",
        "Written: C:\\Apps\\Veltrix\\patch.exe",
        "Engine run in C:\\Apps\\Veltrix\\: \".\\patch.exe\" . HOTFIX_KTV410_722_HOTFIX1.RTP -> exit code 0",
        "    | Patching Tarnovex.exe",
        "    | done",
        "Deleted: C:\\Apps\\Veltrix\\HOTFIX_KTV410_722_HOTFIX1.RTP",
        "Not deleted: C:\\Apps\\Veltrix\\patch.exe",
        "Patch sequence result: 1",
        "Version label after patching: 7.22 (7.22.24245.10)",
        "Outcome: message 6, patched",
        "Exit code: 0",
    };
    int at = 0;
    for (const char* expected : expectedInOrder) {
        const int found = log.Find(expected, at);
        ASSERT_GE(found, 0) << "missing or out of order: " << expected;
        at = found + 1;
    }
}

TEST_F(RolloutTest, APendingRestartInTheFolderChangesNothingAndIsLogged) {
    Install("Tarnovex.exe", kFirst);
    PatchTo("Tarnovex.exe", kThird);
    patchStep.interrupted = true;   // not even settled
    registry.machineValues[std::string(kSessionManagerKey) + "\\" + kPendingRenameValues[0]] =
        MultiStringRead{MultiStringRead::State::WrongType, 1, ""};
    registry.SetMultiString(kSessionManagerKey, kPendingRenameValues[1],
                            "\\??\\C:\\Temp\\a\0\0\\??\\c:\\apps\\veltrix\\old.dll\0\0"s);
    RunOptions options = Quiet();
    options.logPath = "x.log";
    EXPECT_EQ(Run(options, true), 1603);
    EXPECT_TRUE(patchStep.settles.empty());
    EXPECT_TRUE(patchStep.calls.empty());
    EXPECT_TRUE(versions.reads.empty());

    const char* expectedInOrder[] = {
        "Product: Tarnovex (code 1)",
        "Pending restart: PendingFileRenameOperations is not a REG_MULTI_SZ value (type 1), counted as no operation",
        "Pending restart: PendingFileRenameOperations2 holds \"\\??\\c:\\apps\\veltrix\\old.dll\" -> \"\" (delete), "
        "in C:\\Apps\\Veltrix\\",
        "Pending restart: a restart is needed first",
        "Outcome: message 5, the hotfix failed",
        "Exit code: 1603",
    };
    int at = 0;
    for (const char* expected : expectedInOrder) {
        const int found = log.Find(expected, at);
        ASSERT_GE(found, 0) << "missing or out of order: " << expected;
        at = found + 1;
    }
}

TEST_F(RolloutTest, LogTellsWhatWasNotFound) {
    RunOptions options;
    options.logPath = "x.log";
    Run(options, true);
    EXPECT_GE(log.Find("Found: nothing"), 0);
    EXPECT_GE(log.Find("Outcome: message 1, no product installed"), 0);
    EXPECT_GE(log.Find("Answer: OK"), 0);

    log.lines.clear();
    Install("Tarnovex.exe", std::nullopt);
    Run(options, true);
    EXPECT_GE(log.Find("Version label: (none"), 0);
    EXPECT_GE(log.Find("Outcome: message 3"), 0);
    EXPECT_EQ(log.Find("Running test"), -1);
}

TEST_F(RolloutTest, UsageIsShownAndNothingRuns) {
    Install("Tarnovex.exe", kFirst);
    RunOptions options = Quiet();
    options.showUsage = true;
    EXPECT_EQ(Run(options), 0);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].style, kStyleOk | kIconInformation);
    EXPECT_NE(ui.shown[0].text.find("/quiet"), std::string::npos);
    EXPECT_TRUE(versions.reads.empty());
    EXPECT_TRUE(patchStep.calls.empty());
}

TEST_F(RolloutTest, WithoutAClockThePausesKeepTime) {
    Install("Tarnovex.exe", kFirst);
    runningTest.answers = std::vector<bool>(100, false);
    RolloutServices services{context, clock};   // no clock: the pauses are counted
    EXPECT_EQ(RunRollout(Quiet(4), "p", services), 1618);
    EXPECT_EQ(clock.pauses.size(), 2u);   // tries at 0 and 2 s retry, at 4 s gives up
}

} // namespace
} // namespace hotfix
