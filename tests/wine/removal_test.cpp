// Removing the hotfix end to end: the real installer with its reverse patch files, "/uninstall"
// after a real patch run, on installations of the sample product. What counts is the
// application directory (byte for byte the release the hotfix was applied to, or exactly what
// it held before) and the hotfix's records on the machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "app/hotfix_records.h"
#include "harness/helpers.h"
#include "harness/installed_application.h"
#include "harness/installer_run.h"
#include "harness/machine_state.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "harness/ui_driver.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;

using releases::kFirstBase;
using releases::kSecondBase;
using releases::kTarget;

class RemovalTest : public InstalledApplication {
protected:
    void SetUp() override {
        ASSERT_TRUE(SampleExists("Tarnovex", kFirstBase)) << "no sample product in this build";
        ASSERT_TRUE(m_install.Valid());
        ASSERT_TRUE(m_logs.Valid());
    }

    // Lays out `product` at `fileVersion` in a fresh directory and registers it.
    void Install(const std::string& product, const std::string& fileVersion) {
        m_install = Installation::Create();
        ASSERT_TRUE(m_install.CopyTreeFrom(SampleDirectory(product, fileVersion)));
        ASSERT_TRUE(WriteOpenCommand(m_install.Path() + product + ".exe /dde"));
    }

    // Runs `commandLine` (the program first) quietly with a log; its exit code.
    std::optional<unsigned long> Run(const std::string& commandLine) {
        const std::string log = m_logs.Path() + "run.log";
        ::DeleteFileA(log.c_str());
        DrivenProcess process = DrivenProcess::Start(commandLine + " /quiet /log " + QuoteArgument(log), "C:\\");
        EXPECT_TRUE(process.Started()) << commandLine;
        const std::optional<unsigned long> code = process.WaitForExit(120s);
        m_lastLog = ReadWholeFile(log);
        return code;
    }
    std::optional<unsigned long> RunInstaller(const std::string& arguments) {
        return Run(QuoteArgument(InstallerPath()) + (arguments.empty() ? "" : " ") + arguments);
    }

    void ExpectRelease(const std::string& product, const std::string& fileVersion) {
        const DirectorySnapshot now = TakeSnapshot(m_install.Path());
        EXPECT_EQ(DescribeDifference(TakeSnapshot(SampleDirectory(product, fileVersion)), now), "") << m_lastLog;
        EXPECT_EQ(InstallerFilesIn(now), "");
    }
    bool Recorded() const { return MachineKeyExists(ReceiptKey(ThisHotfix())); }
    bool Registered() const { return MachineKeyExists(UninstallKey(ThisHotfix())); }

    ScopedHotfixRecords m_records{ThisHotfix()};
    Installation m_logs = Installation::Create(kSandboxRoot, "logs-");
    std::string m_lastLog;
};

// From each base label a product has: patched, then removed (the first time answering the
// message box, as from "Installed updates"), the directory is that release byte for byte and
// the records are gone; removed again, nothing changes.
TEST_F(RemovalTest, PatchedFromEachBaseThenRemovedIsThatReleaseAgain) {
    struct Case {
        const char* product;
        const char* displayName;
        const char* base;
        const char* target;
    };
    const Case cases[] = {
        {"Tarnovex", "Tarnovex", kFirstBase, kTarget},
        {"Tarnovex", "Tarnovex", kSecondBase, kTarget},
        {"TarnovexViewer", "Tarnovex Viewer", kFirstBase, kSecondBase},
    };
    bool interactive = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.product) + " from " + c.base);
        Install(c.product, c.base);
        ASSERT_EQ(RunInstaller(""), std::optional<unsigned long>(0)) << m_lastLog;
        ASSERT_EQ(VersionLabelOf(m_install.Path() + c.product + ".exe"), std::optional<std::string>(LabelOf(c.target)));
        EXPECT_EQ(MachineString(ReceiptKey(ThisHotfix()), "BaseLabel"), std::optional<std::string>(LabelOf(c.base)));
        EXPECT_EQ(MachineString(UninstallKey(ThisHotfix()), "QuietUninstallString"),
                  std::optional<std::string>(Quoted(KeptInstallerPath(ThisHotfix())) + " /uninstall /quiet"));
        EXPECT_TRUE(FileExists(KeptInstallerPath(ThisHotfix())));

        if (interactive) {
            InstallerRunOptions options;
            options.arguments = "/uninstall";
            options.timeout = 90s;
            const InstallerRun run = testing::RunInstaller({BoxAnswer::Ok}, options);
            ASSERT_EQ(run.boxes.size(), 1u);
            EXPECT_EQ(run.boxes[0].text, RemovedMessage(c.displayName));
            EXPECT_EQ(run.boxes[0].icon, BoxIcon::Information);
            EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
            interactive = false;
        } else {
            EXPECT_EQ(RunInstaller("/uninstall"), std::optional<unsigned long>(0)) << m_lastLog;
        }
        ExpectRelease(c.product, c.base);
        EXPECT_FALSE(Recorded());
        EXPECT_FALSE(Registered());
        EXPECT_FALSE(FileExists(KeptInstallerPath(ThisHotfix())));

        EXPECT_EQ(RunInstaller("/uninstall"), std::optional<unsigned long>(0)) << m_lastLog;
        EXPECT_NE(m_lastLog.find("Outcome: message 9, nothing to remove"), std::string::npos) << m_lastLog;
        ExpectRelease(c.product, c.base);
    }
}

// Refused with nothing changed: while the application runs (1618), and on a release the hotfix
// is not installed on (1647: Tarnovex Viewer's later release, which this hotfix never made).
TEST_F(RemovalTest, RefusedWhileRunningOrOnAnotherReleaseWithNothingChanged) {
    Install("Tarnovex", kFirstBase);
    ASSERT_EQ(RunInstaller(""), std::optional<unsigned long>(0)) << m_lastLog;
    StartApplication();
    const DirectorySnapshot patched = TakeSnapshot(m_install.Path());
    EXPECT_EQ(RunInstaller("/uninstall"), std::optional<unsigned long>(1618)) << m_lastLog;
    EXPECT_EQ(DescribeDifference(patched, TakeSnapshot(m_install.Path())), "");
    EXPECT_TRUE(Recorded());
    m_app.Terminate();

    Install("TarnovexViewer", kTarget);
    const DirectorySnapshot later = TakeSnapshot(m_install.Path());
    EXPECT_EQ(RunInstaller("/uninstall"), std::optional<unsigned long>(1647)) << m_lastLog;
    EXPECT_EQ(DescribeDifference(later, TakeSnapshot(m_install.Path())), "");
}

// The engine killed from outside in the middle of a removal: never reported removed; the next
// removal settles what it left and ends at the base exactly.
TEST_F(RemovalTest, EngineKilledDuringRemovalIsFinishedByTheNextRemoval) {
    Install("Tarnovex", kFirstBase);
    ASSERT_EQ(RunInstaller(""), std::optional<unsigned long>(0)) << m_lastLog;
    DrivenProcess killer = DrivenProcess::Start(QuoteArgument(TestProgramDirectory() + "hotfix-killer.exe") + " " +
        engine::kFrontEndName + " " + QuoteArgument(m_install.Path() + "Tarnovex.exe" + engine::kBackupSuffix));
    ASSERT_TRUE(killer.Started());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(RunInstaller("/uninstall"), std::optional<unsigned long>(1603)) << m_lastLog;
    ASSERT_EQ(killer.WaitForExit(30s), std::optional<unsigned long>(0)) << "the engine was not killed";
    EXPECT_TRUE(Recorded());

    EXPECT_EQ(RunInstaller("/uninstall"), std::optional<unsigned long>(0)) << m_lastLog;
    ExpectRelease("Tarnovex", kFirstBase);
    EXPECT_FALSE(Recorded());
}

// Patched by an installer that kept no receipt: the removal goes back to the newest base label
// and says why in its log.
TEST_F(RemovalTest, WithoutAReceiptGoesBackToTheNewestBase) {
    Install("Tarnovex", kFirstBase);
    ASSERT_EQ(RunInstaller(""), std::optional<unsigned long>(0)) << m_lastLog;
    ASSERT_EQ(::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, ReceiptKey(ThisHotfix()).c_str(), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
    EXPECT_EQ(RunInstaller("/uninstall"), std::optional<unsigned long>(0)) << m_lastLog;
    EXPECT_NE(m_lastLog.find("no receipt"), std::string::npos) << m_lastLog;
    ExpectRelease("Tarnovex", kSecondBase);
    EXPECT_FALSE(Registered());
}

// The entry's quiet uninstall command, run after the installer the hotfix came from is gone,
// removes the hotfix: the kept copy carries everything. It cannot delete itself while it runs:
// that is left to the next restart.
TEST_F(RemovalTest, TheKeptCopyRemovesTheHotfixAfterTheOriginalIsGone) {
    ScopedPendingRenames pending;
    ASSERT_TRUE(pending.Valid());
    Install("Tarnovex", kFirstBase);
    Installation downloads = Installation::Create(kSandboxRoot, "downloads-");
    const std::string original = downloads.Path() + ThisHotfix().installerFileName;
    ASSERT_TRUE(::CopyFileA(InstallerPath().c_str(), original.c_str(), FALSE));
    ASSERT_EQ(Run(QuoteArgument(original)), std::optional<unsigned long>(0)) << m_lastLog;
    ASSERT_TRUE(::DeleteFileA(original.c_str()));

    const std::optional<std::string> command = MachineString(UninstallKey(ThisHotfix()), "QuietUninstallString");
    ASSERT_TRUE(command);
    EXPECT_EQ(Run(*command), std::optional<unsigned long>(0)) << m_lastLog;
    ExpectRelease("Tarnovex", kFirstBase);
    EXPECT_FALSE(Recorded());
    EXPECT_FALSE(Registered());
    EXPECT_NE(m_lastLog.find("deleted at the next restart"), std::string::npos) << m_lastLog;
}

} // namespace
} // namespace hotfix::testing
