#pragma once
// The fixture of the tests that run the installer against one installed Tarnovex: no document
// type before the test and none after, a fresh installation directory, and the application's
// process, which the test may start and which ends with the test.
#include <gtest/gtest.h>

#include <string>

#include "harness/sandbox.h"
#include "harness/ui_driver.h"

namespace hotfix::testing {

// The sample product's releases, by file version: the hotfix's two base versions and its target.
namespace releases {
inline constexpr char kFirstBase[] = "7.22.24188.12";
inline constexpr char kSecondBase[] = "7.22.24209.13";
inline constexpr char kTarget[] = "7.22.24245.10";
} // namespace releases

// The label the installer reads for a file version: "7.22.24188.12" -> "7.22 (7.22.24188.12)".
std::string LabelOf(const std::string& fileVersion);

// The installer's and the engine's own files in `snapshot` (the engine pair, patch files, an
// engine run's traces), which must never stay behind: their names, each followed by a blank.
std::string InstallerFilesIn(const DirectorySnapshot& snapshot);

class InstalledApplication : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_app.Started()) m_app.Terminate();
    }

    std::string AppPath() const { return m_install.Path() + "Tarnovex.exe"; }

    // Tarnovex from a stand-in with `fileVersion`, registered as the open command.
    void InstallStandIn(const std::string& fileVersion);

    // Starts the installed application and waits until the running test sees it.
    void StartApplication();

    ScopedDocumentType m_registration;
    Installation m_install = Installation::Create();
    DrivenProcess m_app;
};

} // namespace hotfix::testing
