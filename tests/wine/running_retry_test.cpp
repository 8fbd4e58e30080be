// The installer end to end while the installed application runs: the still-running message,
// Retry with its pause, Cancel and closing the box, and version outcomes that win over the
// running test.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "harness/helpers.h"
#include "harness/installed_application.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "harness/ui_driver.h"
#include "harness/process_planting.h"
#include "adapters/code_page_win32.h"
#include "adapters/process_source_win32.h"
#include "process/running_test.h"
#include "support/win32/unique_handle.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;

const char kBaseVersion[] = "7.22.24188.12";
const char kTargetVersion[] = "7.22.24245.10";
const char kForeignVersion[] = "7.21.24100.5";
const char kInstallerCaption[] = "HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup";
const char kStillRunningText[] = "Please quit the Tarnovex application before applying this HotFix.";
const char kWrongVersionText[] =
    "The application Tarnovex has been found but this HotFix cannot be applied to this version.\n"
    "Please upgrade to the latest official version before reapply this HotFix";
const char kUpToDateText[] = "Your are already using the latest version of Tarnovex.";
const char kFailedText[] = "An error occurred during the application of the hotfix.";
const char kAppliedText[] = "The hotfix was applied to the Tarnovex application";

// Tarnovex installed from a stand-in with a chosen file version, registered as the document
// type's open command, and started so that it keeps running.
class ApplicationRunning : public InstalledApplication {
protected:
    void Install(const std::string& fileVersion) {
        ASSERT_NO_FATAL_FAILURE(InstallStandIn(fileVersion));
        ASSERT_NO_FATAL_FAILURE(StartApplication());
        m_before = TakeSnapshot(m_install.Path());
    }

    DrivenProcess StartInstaller(const std::string& installer = InstallerPath(),
                                 const std::string& currentDirectory = std::string()) {
        return DrivenProcess::Start(QuoteArgument(installer), currentDirectory);
    }

    static void ExpectStillRunningBox(const std::optional<MessageBoxInfo>& box) {
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, kInstallerCaption);
        EXPECT_EQ(box->text, kStillRunningText);
        EXPECT_EQ(box->buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
        EXPECT_EQ(box->icon, BoxIcon::Hand) << BoxIconName(box->icon);
    }

    void ExpectNothingChanged() {
        EXPECT_EQ(DescribeDifference(m_before, TakeSnapshot(m_install.Path())), "");
        EXPECT_EQ(ReadOpenCommand(), std::optional<std::string>(AppPath() + " /dde"));
    }

    DirectorySnapshot m_before;
};

class StillRunningAnswer : public ApplicationRunning,
                           public ::testing::WithParamInterface<BoxAnswer> {};

TEST_P(StillRunningAnswer, EndsWithExitCodeZeroAndNothingChanged) {
    ASSERT_NO_FATAL_FAILURE(Install(kBaseVersion));
    DrivenProcess installer = StartInstaller();
    ASSERT_TRUE(installer.Started());
    const auto box = installer.WaitForMessageBox();
    ASSERT_NO_FATAL_FAILURE(ExpectStillRunningBox(box));
    ASSERT_TRUE(installer.Answer(*box, GetParam()));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    EXPECT_FALSE(installer.WaitForMessageBox(100ms)) << "one box per run, and no further run";
    EXPECT_TRUE(m_app.IsRunning());
    ExpectNothingChanged();
}

INSTANTIATE_TEST_SUITE_P(Answers, StillRunningAnswer, ::testing::Values(BoxAnswer::Cancel, BoxAnswer::Close),
                         [](const ::testing::TestParamInfo<BoxAnswer>& info) {
                             return info.param == BoxAnswer::Cancel ? std::string("Cancel")
                                                                    : std::string("Close");
                         });

TEST_F(ApplicationRunning, RetryWhileRunningAsksAgainAfterThePause) {
    ASSERT_NO_FATAL_FAILURE(Install(kBaseVersion));
    DrivenProcess installer = StartInstaller();
    ASSERT_TRUE(installer.Started());
    auto box = installer.WaitForMessageBox();
    ASSERT_NO_FATAL_FAILURE(ExpectStillRunningBox(box));

    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Retry));
        const auto answeredAt = std::chrono::steady_clock::now();
        box = installer.WaitForMessageBox();
        ASSERT_NO_FATAL_FAILURE(ExpectStillRunningBox(box));
        const auto pause = std::chrono::duration_cast<std::chrono::milliseconds>(box->seenAt - answeredAt);
        EXPECT_GE(pause.count(), 1900) << "round " << round;
        EXPECT_LT(pause.count(), 15000) << "round " << round;
    }
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Cancel));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    ExpectNothingChanged();
}

TEST_F(ApplicationRunning, RetryAfterTheApplicationClosedGoesOnToPatch) {
    ASSERT_NO_FATAL_FAILURE(Install(kBaseVersion));
    DrivenProcess installer = StartInstaller();
    ASSERT_TRUE(installer.Started());
    auto box = installer.WaitForMessageBox();
    ASSERT_NO_FATAL_FAILURE(ExpectStillRunningBox(box));

    m_app.Terminate();
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Retry));
    box = installer.WaitForMessageBox();
    ASSERT_TRUE(box);
    // The stand-in is no real release, so patching it may fail; either outcome shows that the
    // run got past the running test to the patch step.
    EXPECT_TRUE(box->text == kFailedText || box->text == kAppliedText) << box->text;
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Ok));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
}

struct VersionCase {
    const char* name;
    const char* fileVersion;
    const char* text;
};

class VersionWhileRunning : public ApplicationRunning,
                            public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionWhileRunning, IsReportedInsteadOfTheRunningApplication) {
    ASSERT_NO_FATAL_FAILURE(Install(GetParam().fileVersion));
    DrivenProcess installer = StartInstaller();
    ASSERT_TRUE(installer.Started());
    const auto box = installer.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, GetParam().text);
    EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
    EXPECT_EQ(box->icon, BoxIcon::Hand) << BoxIconName(box->icon);
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Ok));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    ExpectNothingChanged();
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionWhileRunning,
                         ::testing::Values(VersionCase{"Wrong", kForeignVersion, kWrongVersionText},
                                           VersionCase{"Current", kTargetVersion, kUpToDateText}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ApplicationRunning, PlantedProcessStatusLibrariesAreNeverLoaded) {
    ASSERT_NO_FATAL_FAILURE(Install(kBaseVersion));
    Installation downloads = Installation::Create(kSandboxRoot, "downloads-");
    Installation current = Installation::Create(kSandboxRoot, "current-");
    Installation markers = Installation::Create(kSandboxRoot, "markers-");
    ASSERT_TRUE(downloads.Valid() && current.Valid() && markers.Valid());
    const std::string installerName = std::string(kInstallerCaption) + ".exe";
    ASSERT_TRUE(downloads.CopyFileFrom(InstallerPath(), installerName));
    const std::string planted = TestProgramDirectory() + "hotfix_planted.dll";
    for (const char* name : {"psapi.dll", "PSAPIXP.DLL"}) {
        ASSERT_TRUE(downloads.CopyFileFrom(planted, name));
        ASSERT_TRUE(current.CopyFileFrom(planted, name));
    }
    ScopedNativeFirst nativeFirst(installerName);
    ASSERT_TRUE(nativeFirst.Prefer({"psapi", "psapixp"}));
    ScopedMarkerDirectory markerVariable(markers.Path());

    DrivenProcess installer = StartInstaller(downloads.Path() + installerName, current.Path());
    ASSERT_TRUE(installer.Started());
    // The running application is found: the full paths were read through the system's library.
    const auto box = installer.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, kStillRunningText);
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Cancel));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    EXPECT_FALSE(markerVariable.Loaded("psapi.dll"));
    EXPECT_FALSE(markerVariable.Loaded("PSAPIXP.DLL"));
}

// A running Tarnovex whose modules cannot be listed, as a 64-bit one's cannot from a 32-bit
// installer: here one started suspended, before its loader has run. It is seen running all the
// same, and nothing is patched.
TEST_F(ApplicationRunning, ApplicationWhoseModulesCannotBeListedIsSeenRunning) {
    ASSERT_NO_FATAL_FAILURE(InstallStandIn(kBaseVersion));
    m_before = TakeSnapshot(m_install.Path());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = QuoteArgument(AppPath());
    win32::UniqueProcessInformation app;
    ASSERT_TRUE(::CreateProcessA(AppPath().c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                 nullptr, nullptr, &startup, app.put()));
    struct Ender {
        HANDLE process;
        ~Ender() {
            ::TerminateProcess(process, 0);
            ::WaitForSingleObject(process, 10000);
        }
    } ender{app.get().hProcess};
    using EnumModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    const auto enumModules = reinterpret_cast<EnumModules>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "K32EnumProcessModules")));
    ASSERT_TRUE(enumModules);
    HMODULE module = nullptr;
    DWORD needed = 0;
    ASSERT_FALSE(enumModules(app.get().hProcess, &module, sizeof module, &needed))
        << "the modules of a suspended process can be listed here: nothing would be tested";

    DrivenProcess installer = StartInstaller();
    const std::optional<MessageBoxInfo> box = installer.WaitForMessageBox();
    ExpectStillRunningBox(box);
    ASSERT_TRUE(box);
    ASSERT_TRUE(installer.Answer(*box, BoxAnswer::Cancel));
    EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
    ExpectNothingChanged();
}

} // namespace
} // namespace hotfix::testing
