// Another hotfix from the same sources: the installer of hotfix/examples/hotfix3-viewer.json,
// configured and built by the ctest fixture definition.second.* in a build of its own that
// reuses this build's engine and samples. Its one product, Tarnovex Viewer, has a second base
// (7.22.24209.13, which HotFix 2 finds up to date) and a later target (7.22.24245.10), reached
// with a patch file HotFix 2 does not carry: catalogue, payload and name all come from it.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "harness/installer_run.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;

TEST(SecondDefinition, ItsInstallerBringsTheViewerFromItsSecondBaseToItsTarget) {
    const std::string name = HOTFIX_SECOND_INSTALLER;
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
}

} // namespace
} // namespace hotfix::testing
