// Another hotfix from the same sources: the installer of hotfix/examples/hotfix3-viewer.json,
// configured and built by the ctest fixture definition.second.* in a build of its own that
// reuses this build's engine and samples. Its one product, Tarnovex Viewer, has a second base
// (7.22.24209.13, which HotFix 2 finds up to date) and a later target (7.22.24245.10), reached
// with a patch file HotFix 2 does not carry: catalogue, payload and name all come from it, and
// so do its reverse patch files and its records, which take the Viewer back again.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/hotfix_records.h"
#include "harness/installer_run.h"
#include "harness/machine_state.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;

TEST(SecondDefinition, ItsInstallerBringsTheViewerFromItsSecondBaseToItsTargetAndBack) {
    const std::string name = HOTFIX_SECOND_INSTALLER;
    HotfixIdentity hotfix;
    hotfix.name = name.substr(0, name.size() - 4);
    hotfix.installerFileName = name;
    hotfix.publisher = "Veltrix Software";   // its CompanyName
    ScopedHotfixRecords records(hotfix);
    ScopedDocumentType registration;
    Installation install = Installation::Create();
    ASSERT_TRUE(install.Valid());
    ASSERT_TRUE(install.CopyTreeFrom(SampleDirectory("TarnovexViewer", "7.22.24209.13")));
    ASSERT_TRUE(WriteOpenCommand(install.Path() + "TarnovexViewer.exe /dde"));

    InstallerRunOptions options;
    options.installerPath = TestProgramDirectory() + "..\\second-definition\\bin\\" + name;
    options.timeout = 90s;
    const InstallerRun run = RunInstaller({BoxAnswer::Ok}, options);
    ASSERT_TRUE(run.started) << options.installerPath;
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, name.substr(0, name.size() - 4));
    EXPECT_EQ(run.boxes[0].text, AppliedMessage("Tarnovex Viewer"));
    EXPECT_EQ(run.boxes[0].icon, BoxIcon::Information);
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
    EXPECT_EQ(DescribeDifference(TakeSnapshot(SampleDirectory("TarnovexViewer", "7.22.24245.10")),
                                 TakeSnapshot(install.Path())),
              "");
    // Its entry sits under the Viewer's own, as one of its installed updates.
    EXPECT_EQ(MachineString(UninstallKey(hotfix), "ParentKeyName"), std::optional<std::string>("Tarnovex Viewer 2"));

    DrivenProcess removal = DrivenProcess::Start(QuoteArgument(options.installerPath) + " /uninstall /quiet", "C:\\");
    EXPECT_EQ(removal.WaitForExit(90s), std::optional<unsigned long>(0));
    EXPECT_EQ(DescribeDifference(TakeSnapshot(SampleDirectory("TarnovexViewer", "7.22.24209.13")),
                                 TakeSnapshot(install.Path())),
              "");
    EXPECT_FALSE(MachineKeyExists(UninstallKey(hotfix)));
}

} // namespace
} // namespace hotfix::testing
