// The installer's switches end to end: quiet runs end with the outcome's exit code and show no
// window at all, the log tells what happened, /wait gives up after about the time asked, and
// without switches the message box and exit code 0 are as they always were.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/helpers.h"
#include "harness/installed_application.h"
#include "harness/installer_run.h"
#include "harness/machine_state.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "harness/ui_driver.h"
#include "main/command_runner_win32.h"
#include "support/win32/unique_handle.h"
#include "adapters/code_page_win32.h"
#include "adapters/process_source_win32.h"
#include "process/running_test.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char kBaseVersion[] = "7.22.24188.12";
const char kTargetVersion[] = "7.22.24245.10";
const char kForeignVersion[] = "7.21.24100.5";

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

// Visible top-level windows of process `processId`, of any class.
std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    WindowSearch search{processId, {}};
    ::EnumWindows(&CollectVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct QuietRun {
    std::optional<unsigned long> exitCode;
    std::chrono::milliseconds took{0};
    int windowsSeen = 0;   // visible windows of the installer seen at any time during the run
    std::string log;       // the log file's content afterwards
};

class RolloutTest : public InstalledApplication {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_install.Valid());
        ASSERT_TRUE(m_logs.Valid());
        m_logPath = m_logs.Path() + "hotfix run.log";
    }

    // Runs the installer with `arguments`, watching for any window of it until it ends.
    QuietRun RunQuiet(const std::string& arguments, std::chrono::milliseconds timeout = 60s) {
        QuietRun run;
        const auto start = Clock::now();
        DrivenProcess installer = DrivenProcess::Start(QuoteArgument(InstallerPath()) + " " + arguments, "C:\\");
        EXPECT_TRUE(installer.Started()) << "error " << installer.StartError();
        if (!installer.Started()) return run;
        while (installer.IsRunning() && Clock::now() - start < timeout) {
            run.windowsSeen += static_cast<int>(VisibleWindowsOf(installer.ProcessId()).size());
            std::this_thread::sleep_for(20ms);
        }
        run.exitCode = installer.WaitForExit(1s);
        run.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        run.log = ReadWholeFile(m_logPath);
        return run;
    }

    std::string LogArgument() const { return "/log " + QuoteArgument(m_logPath); }

    Installation m_logs = Installation::Create(kSandboxRoot, "logs-");
    std::string m_logPath;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(RolloutTest, EachOutcomeHasItsExitCodeAndLogLines) {
    struct Case {
        const char* name;
        const char* version;   // nullptr: nothing registered
        unsigned long exitCode;
        const char* outcomeLine;
    };
    const Case cases[] = {
        {"nothing installed", nullptr, 1605, "Outcome: message 1, no product installed"},
        {"wrong version", kForeignVersion, 1642, "Outcome: message 3, not applicable to the installed version"},
        {"up to date", kTargetVersion, 0, "Outcome: message 4, already up to date"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteDocumentType();
        ::DeleteFileA(m_logPath.c_str());
        if (c.version) InstallStandIn(c.version);
        const QuietRun run = RunQuiet("/quiet " + LogArgument());
        EXPECT_EQ(run.exitCode, std::optional<unsigned long>(c.exitCode));
        EXPECT_EQ(run.windowsSeen, 0);
        EXPECT_TRUE(Contains(run.log, c.outcomeLine)) << run.log;
        EXPECT_TRUE(Contains(run.log, "Exit code: " + std::to_string(c.exitCode) + "\r\n")) << run.log;
        if (c.version) {
            EXPECT_TRUE(Contains(run.log, "Found: " + AppPath())) << run.log;
            EXPECT_TRUE(Contains(run.log, "Product: Tarnovex (code 1)")) << run.log;
        }
    }
}

TEST_F(RolloutTest, LogLinesAreTimeStampedAndAppended) {
    RunQuiet("-QN " + LogArgument());
    const QuietRun second = RunQuiet("/Quiet " + LogArgument());
    const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} .*)");
    std::istringstream lines(second.log);
    std::string text;
    int count = 0, starts = 0;
    while (std::getline(lines, text)) {
        ASSERT_FALSE(text.empty());
        ASSERT_EQ(text.back(), '\r') << "lines end in CR LF";
        text.pop_back();
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        if (Contains(text, "Hotfix started: ")) ++starts;
        ++count;
    }
    EXPECT_EQ(starts, 2) << "the second run appends to the first one's log";
    EXPECT_GT(count, 6);
}

TEST_F(RolloutTest, ALogThatCannotBeOpenedChangesNothing) {
    InstallStandIn(kTargetVersion);
    const QuietRun run = RunQuiet("/quiet /log " + QuoteArgument(m_logs.Path() + "no such folder\\x.log"));
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
    EXPECT_EQ(run.windowsSeen, 0);
}

TEST_F(RolloutTest, StillRunningWithoutWaitGivesUpAtOnce) {
    InstallStandIn(kBaseVersion);
    StartApplication();
    const DirectorySnapshot before = TakeSnapshot(m_install.Path());
    const QuietRun run = RunQuiet("/quiet " + LogArgument());
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(1618));
    EXPECT_EQ(run.windowsSeen, 0);
    EXPECT_LT(run.took, 10s);
    EXPECT_TRUE(Contains(run.log, "Running test: " + AppPath() + " is running")) << run.log;
    EXPECT_TRUE(Contains(run.log, "Answered (quiet): Cancel")) << run.log;
    EXPECT_FALSE(Contains(run.log, "trying again")) << run.log;
    EXPECT_EQ(DescribeDifference(before, TakeSnapshot(m_install.Path())), "");
}

TEST_F(RolloutTest, WaitGivesUpAfterAboutTheTimeAsked) {
    InstallStandIn(kBaseVersion);
    StartApplication();
    // Baseline: the same run without a wait, so Wine's start-up time is not counted as waiting.
    const QuietRun quick = RunQuiet("/quiet");
    const QuietRun run = RunQuiet("/quiet /wait 6 " + LogArgument());
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(1618));
    EXPECT_EQ(run.windowsSeen, 0);
    const auto waited = run.took - quick.took;
    EXPECT_GE(waited, 5500ms) << "the application gets the whole 6 s";
    EXPECT_LE(waited, 9s) << "the last try comes at most one pause after the 6 s";
    std::size_t retries = 0;
    for (std::size_t at = run.log.find("trying again in 2 s"); at != std::string::npos;
         at = run.log.find("trying again in 2 s", at + 1))
        ++retries;
    // Tries at 0, 2 and 4 s retry; the one at 6 s gives up (at 8 s if the clock's tick made
    // three pauses read a hair under 6 s).
    EXPECT_GE(retries, 3u) << run.log;
    EXPECT_LE(retries, 4u) << run.log;
}

TEST_F(RolloutTest, WaitEndsWhenTheApplicationQuits) {
    InstallStandIn(kTargetVersion);   // up to date: the running test is never made
    StartApplication();
    const QuietRun run = RunQuiet("/quiet /wait 30");
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
    EXPECT_LT(run.took, 15s);
}

TEST_F(RolloutTest, QuietPatchRunEndsWithTheOutcomeOfTheVersion) {
    ASSERT_TRUE(SampleExists("Tarnovex", kBaseVersion)) << "no sample product in this build";
    ASSERT_TRUE(m_install.CopyTreeFrom(SampleDirectory("Tarnovex", kBaseVersion)));
    ASSERT_TRUE(WriteOpenCommand(AppPath() + " /dde"));
    const QuietRun run = RunQuiet("/quiet " + LogArgument(), 120s);
    EXPECT_EQ(run.windowsSeen, 0);
    EXPECT_TRUE(Contains(run.log, "Running test: " + AppPath() + " is not running")) << run.log;
    EXPECT_TRUE(Contains(run.log, "Patching " + m_install.Path() + " (product code 1)")) << run.log;
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
    EXPECT_EQ(VersionLabelOf(AppPath()), std::optional<std::string>("7.22 (7.22.24245.10)"));
    EXPECT_TRUE(Contains(run.log, "Written: " + m_install.Path() + engine::kFrontEndName)) << run.log;
    for (const char* file : {"HOTFIX_KTV410_722_HOTFIX1.RTP", "HOTFIX_KTV410_722_HOTFIX2.RTP"})
        EXPECT_TRUE(Contains(run.log, std::string(file) + " -> exit code " + std::to_string(engine::kExitApplied))) << run.log;
    EXPECT_TRUE(Contains(run.log, "    | ")) << "the engine's report is in the log:\n" << run.log;
    EXPECT_TRUE(Contains(run.log, "Deleted: " + m_install.Path() + "HOTFIX_KTV410_722_HOTFIX1.RTP")) << run.log;
    EXPECT_TRUE(Contains(run.log, "Deleted: " + m_install.Path() + engine::kFrontEndName)) << run.log;
    EXPECT_TRUE(Contains(run.log, "Version label after patching: 7.22 (7.22.24245.10)")) << run.log;
    EXPECT_TRUE(Contains(run.log, "Outcome: message 6, patched")) << run.log;
    // Nothing of the sequence is left in the application directory.
    EXPECT_EQ(::GetFileAttributesA((m_install.Path() + engine::kFrontEndName).c_str()), INVALID_FILE_ATTRIBUTES);
}

// A line of `log` that holds every one of `parts`.
bool HasLineWith(const std::string& log, std::initializer_list<std::string> parts) {
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        bool all = true;
        for (const std::string& part : parts) all = all && Contains(line, part);
        if (all) return true;
        start = end + 1;
    }
    return false;
}

// A file that another process holds for a moment, sharing only reading, as a scanner does: a
// file the engine replaces (its swap waits), and a stale patch.exe that the installer removes
// before placing its own. Each is waited for, at most 10 s, and the wait is logged; held
// longer, the hotfix fails as it would have at once and the installation is as it was.
TEST_F(RolloutTest, FilesHeldForAMomentAreWaitedForAtMostTenSeconds) {
    ASSERT_TRUE(SampleExists("Tarnovex", kBaseVersion)) << "no sample product in this build";
    struct Case {
        const char* name;
        const char* file;
        bool stale;           // a file the installer finds in its way, else one of the product
        unsigned holdMs;      // from the start, or from the placing of the engine
        bool fromPlacing;
        unsigned long exitCode;
        const char* ending;   // of the wait's log line
    };
    const Case cases[] = {
        {"a target, briefly", "TarnovexCore.dll", false, 4000, true, 0, "went through"},
        {"a stale patch.exe, briefly", engine::kFrontEndName, true, 6000, false, 0, "went through"},
        {"a target, past the bound", "TarnovexCore.dll", false, 14000, true, 1603, "gave up"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_install = Installation::Create();
        ASSERT_TRUE(m_install.CopyTreeFrom(SampleDirectory("Tarnovex", kBaseVersion)));
        ASSERT_TRUE(WriteOpenCommand(AppPath() + " /dde"));
        if (c.stale) {
            ASSERT_TRUE(m_install.WriteFile(c.file, "left by an earlier run"));
        }
        const DirectorySnapshot before = TakeSnapshot(m_install.Path());
        ::DeleteFileA(m_logPath.c_str());

        const std::string held = m_install.Path() + c.file;
        DrivenProcess holder = DrivenProcess::Start(
            QuoteArgument(TestProgramDirectory() + "hotfix-file-holder.exe") + " --share-read --for " + std::to_string(c.holdMs) +
            (c.fromPlacing ? " --after " + QuoteArgument(m_install.Path() + engine::kFrontEndName) : "") +
            " " + QuoteArgument(held));
        ASSERT_TRUE(holder.Started());
        const auto deadline = Clock::now() + 20s;
        while (!HeldByAnother(held, GENERIC_READ | DELETE) && holder.IsRunning() && Clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(HeldByAnother(held, GENERIC_READ | DELETE)) << "error " << ::GetLastError() << ", the holder "
                                               << (holder.IsRunning() ? "running" : "ended");

        const QuietRun run = RunQuiet("/quiet " + LogArgument(), 120s);
        EXPECT_EQ(holder.WaitForExit(30s), std::optional<unsigned long>(0));
        EXPECT_EQ(run.exitCode, std::optional<unsigned long>(c.exitCode));
        EXPECT_TRUE(HasLineWith(run.log, {c.file, "(error 32", c.ending})) << run.log;
        const DirectorySnapshot after = TakeSnapshot(m_install.Path());
        if (c.exitCode == 0) {
            EXPECT_EQ(DescribeDifference(TakeSnapshot(SampleDirectory("Tarnovex", kTargetVersion)), after), "");
        } else {
            EXPECT_EQ(DescribeDifference(before, after), "");
        }
    }
}

// A file left by another installer to replace the application's executable at the next
// restart, written as that installer would (MoveFileEx): the restart would undo the hotfix, so
// nothing is done. One left for a sibling folder whose name starts with the application
// folder's changes nothing.
TEST_F(RolloutTest, APendingRestartInTheFolderKeepsTheHotfixOut) {
    ASSERT_TRUE(SampleExists("Tarnovex", kBaseVersion)) << "no sample product in this build";
    ASSERT_TRUE(m_install.CopyTreeFrom(SampleDirectory("Tarnovex", kBaseVersion)));
    ASSERT_TRUE(WriteOpenCommand(AppPath() + " /dde"));
    const std::string staged = m_logs.Path() + "staged.exe";
    WriteWholeFile(staged, "left for the restart");
    const DWORD replaceAtRestart = MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING;
    {
        ScopedPendingRenames pending;
        ASSERT_TRUE(pending.Valid());
        ASSERT_TRUE(::MoveFileExA(staged.c_str(), AppPath().c_str(), replaceAtRestart)) << ::GetLastError();
        const DirectorySnapshot before = TakeSnapshot(m_install.Path());
        const QuietRun run = RunQuiet("/quiet " + LogArgument());
        EXPECT_EQ(run.exitCode, std::optional<unsigned long>(1603));
        EXPECT_EQ(run.windowsSeen, 0);
        EXPECT_EQ(DescribeDifference(before, TakeSnapshot(m_install.Path())), "");
        EXPECT_TRUE(Contains(run.log, "Pending restart: PendingFileRenameOperations holds \"\\??\\" + staged +
                                          "\" -> \"!\\??\\" + AppPath() + "\", in " + m_install.Path()))
            << run.log;
        EXPECT_TRUE(Contains(run.log, "a restart is needed first")) << run.log;
        EXPECT_TRUE(Contains(run.log, "Outcome: message 5, the hotfix failed")) << run.log;
        EXPECT_FALSE(Contains(run.log, "Patching ")) << run.log;
    }
    const std::string folder = m_install.Path().substr(0, m_install.Path().size() - 1);
    Installation sibling = Installation::Create(kSandboxRoot, folder.substr(folder.rfind('\\') + 1));
    ASSERT_TRUE(sibling.Valid());
    ScopedPendingRenames pending;
    ASSERT_TRUE(pending.Valid());
    ASSERT_TRUE(::MoveFileExA(staged.c_str(), (sibling.Path() + "Tarnovex.exe").c_str(), replaceAtRestart));
    ::DeleteFileA(m_logPath.c_str());
    const QuietRun run = RunQuiet("/quiet " + LogArgument(), 120s);
    EXPECT_TRUE(Contains(run.log, "Pending restart: no operation names " + m_install.Path())) << run.log;
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0)) << run.log;
    EXPECT_EQ(VersionLabelOf(AppPath()), std::optional<std::string>("7.22 (7.22.24245.10)"));
}

TEST_F(RolloutTest, WithoutSwitchesTheBoxAndExitCodeZeroAreUnchanged) {
    InstallStandIn(kForeignVersion);
    for (const char* arguments : {"", " /unknown -x whatever", " /log"}) {
        SCOPED_TRACE(arguments);
        DrivenProcess installer = DrivenProcess::Start(QuoteArgument(InstallerPath()) + arguments, "C:\\");
        ASSERT_TRUE(installer.Started());
        const std::optional<MessageBoxInfo> box = installer.WaitForMessageBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, WrongVersionMessage("Tarnovex"));
        EXPECT_EQ(box->caption, kInstallerCaption);
        ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Ok));
        EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    }
}

TEST_F(RolloutTest, LogWithoutQuietKeepsTheBoxAndExitCodeZero) {
    DrivenProcess installer = DrivenProcess::Start(QuoteArgument(InstallerPath()) + " " + LogArgument(), "C:\\");
    ASSERT_TRUE(installer.Started());
    const std::optional<MessageBoxInfo> box = installer.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, NotFoundMessage());
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Ok));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    const std::string log = ReadWholeFile(m_logPath);
    EXPECT_TRUE(Contains(log, "Answer: OK")) << log;
    EXPECT_TRUE(Contains(log, "Exit code: 0")) << log;
}

TEST_F(RolloutTest, UsageIsShownInABoxAndNothingRuns) {
    InstallStandIn(kBaseVersion);
    const DirectorySnapshot before = TakeSnapshot(m_install.Path());
    DrivenProcess installer = DrivenProcess::Start(QuoteArgument(InstallerPath()) + " /?", "C:\\");
    ASSERT_TRUE(installer.Started());
    const std::optional<MessageBoxInfo> box = installer.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, kInstallerCaption);
    EXPECT_TRUE(Contains(box->text, "/quiet")) << box->text;
    EXPECT_TRUE(Contains(box->text, "1618")) << box->text;
    EXPECT_EQ(box->icon, BoxIcon::Information) << BoxIconName(box->icon);
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Ok));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    EXPECT_EQ(DescribeDifference(before, TakeSnapshot(m_install.Path())), "");
}

// The engine started without a shell, hidden, its report captured through "> FILE" among its
// arguments: the report reaches the caller and the engine's own exit code is read.
TEST(EngineCaptureTest, ReportGoesToTheCaptureFileAndExitCodeIsRead) {
    const std::string engine = TestProgramDirectory() + engine::kFrontEndName;
    ASSERT_NE(::GetFileAttributesA(engine.c_str()), INVALID_FILE_ATTRIBUTES) << engine;
    win32::Win32CommandRunner runner;
    std::string output = "unchanged";
    EXPECT_EQ(runner.RunCommand(QuoteArgument(engine), 0, -1, &output), 0u);
    EXPECT_EQ(runner.LastExitCode(), std::optional<std::uint32_t>(engine::kExitUsage)) << "usage";
    EXPECT_TRUE(Contains(output, "Usage: " + std::string(engine::kFrontEndName))) << output;

    // A capture path with a blank arrives split in two arguments and still works.
    Installation scratch = Installation::Create(kSandboxRoot, "capture dir-");
    ASSERT_TRUE(scratch.Valid());
    const std::string report = scratch.Path() + "report file.txt";
    DrivenProcess direct = DrivenProcess::Start(QuoteArgument(engine) + " > " + report);
    ASSERT_TRUE(direct.Started());
    EXPECT_EQ(direct.WaitForExit(), std::optional<unsigned long>(engine::kExitUsage));
    EXPECT_TRUE(Contains(ReadWholeFile(report), "Usage: " + std::string(engine::kFrontEndName)));
}

} // namespace
} // namespace hotfix::testing
