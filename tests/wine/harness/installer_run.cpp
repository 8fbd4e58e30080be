#include "harness/installer_run.h"

#include "hotfix_definition.h"

namespace hotfix::testing {

const char* const kInstallerCaption = definition::kInstallerCaption;

std::string NotFoundMessage() {
    return "Application non found.\nPlease try to reinstall from the original CD before trying again";
}

std::string StillRunningMessage(const std::string& displayName) {
    return "Please quit the " + displayName + " application before applying this HotFix.";
}

std::string WrongVersionMessage(const std::string& displayName) {
    return "The application " + displayName +
           " has been found but this HotFix cannot be applied to this version.\n"
           "Please upgrade to the latest official version before reapply this HotFix";
}

std::string UpToDateMessage(const std::string& displayName) {
    return "Your are already using the latest version of " + displayName + ".";
}

std::string PatchFailedMessage() { return "An error occurred during the application of the hotfix."; }

std::string AppliedMessage(const std::string& displayName) {
    return "The hotfix was applied to the " + displayName + " application";
}

std::string RemovedMessage(const std::string& displayName) {
    return "The hotfix was removed from the " + displayName + " application.";
}

InstallerRun RunInstaller(const std::vector<BoxAnswer>& answers, const InstallerRunOptions& options) {
    InstallerRun run;
    DrivenProcess process =
        DrivenProcess::Start(QuoteArgument(options.installerPath) + (options.arguments.empty() ? "" : " ") +
                             options.arguments, options.currentDirectory);
    run.started = process.Started();
    if (!run.started) return run;
    for (BoxAnswer answer : answers) {
        std::optional<MessageBoxInfo> box = process.WaitForMessageBox(options.timeout);
        if (!box) break;
        run.boxes.push_back(*box);
        if (!process.Answer(*box, answer, options.timeout)) break;
    }
    if (process.IsRunning()) {
        if (std::optional<MessageBoxInfo> extra = process.WaitForMessageBox(options.extraBoxWait)) {
            run.boxes.push_back(*extra);
            process.Terminate();
        }
    }
    run.exitCode = process.WaitForExit(options.timeout);
    return run;
}

} // namespace hotfix::testing
