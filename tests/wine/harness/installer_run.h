#pragma once
// Running the real installer end to end, and what its user sees: its six messages, word for
// word, and its caption. The end-to-end tests compare the boxes they read with these texts
// exactly.
//
//   InstallerRun run = RunInstaller({BoxAnswer::Ok});
//   ASSERT_EQ(run.boxes.size(), 1u);
//   EXPECT_EQ(run.boxes[0].text, UpToDateMessage("Tarnovex"));
//   EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "harness/test_paths.h"
#include "harness/ui_driver.h"

namespace hotfix::testing {

// Caption of every box: the installer's file name without its extension.
extern const char* const kInstallerCaption;

// 1: nothing installed, or the registered executable is no product of the catalogue.
std::string NotFoundMessage();
// 2: the application is running (Retry / Cancel).
std::string StillRunningMessage(const std::string& displayName);
// 3: the installed version is neither a base nor the target version.
std::string WrongVersionMessage(const std::string& displayName);
// 4: the hotfix is already in place.
std::string UpToDateMessage(const std::string& displayName);
// 5: the patch sequence failed, or the version did not change.
std::string PatchFailedMessage();
// 6: the hotfix was applied.
std::string AppliedMessage(const std::string& displayName);
// "/uninstall": the hotfix was removed.
std::string RemovedMessage(const std::string& displayName);

struct InstallerRun {
    bool started = false;
    // Every box seen, in order, the unanswered extra one (if any) last.
    std::vector<MessageBoxInfo> boxes;
    // Empty when the process did not end in time (it is then terminated).
    std::optional<unsigned long> exitCode;
};

struct InstallerRunOptions {
    std::string installerPath = InstallerPath();
    std::string arguments;   // after the quoted program path, e.g. "/uninstall"
    std::string currentDirectory = "C:\\";
    std::chrono::milliseconds timeout = kDefaultUiTimeout;
    // After the last answer, how long to watch for a box nobody expected.
    std::chrono::milliseconds extraBoxWait{3000};
};

// Starts the installer and answers its boxes with `answers`, in order; then watches for one
// more box (recorded, not answered: the process is terminated) and waits for the exit.
// Stops early when an expected box does not appear.
InstallerRun RunInstaller(const std::vector<BoxAnswer>& answers = {BoxAnswer::Ok},
                          const InstallerRunOptions& options = InstallerRunOptions());

} // namespace hotfix::testing
