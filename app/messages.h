#pragma once
// The outcomes of a hotfix run and the message box that tells each to the user: the six of a
// patch run, and those of a removal ("/uninstall"), which has texts of its own.
#include <string>

namespace hotfix {

enum class Outcome {
    NotFound = 1,      // no executable path, or a file name of no product
    StillRunning = 2,  // patchable, but the application is running (Retry/Cancel)
    WrongVersion = 3,  // the hotfix cannot be applied to this version
    UpToDate = 4,      // the hotfix is already in place
    Failed = 5,        // the patch sequence failed, the label did not move, or a restart is pending
    Applied = 6,       // patched
    // Removal only.
    NotInstalled = 7,      // the label is neither a base nor the target: nothing to take back
    Removed = 8,           // back at the base label the hotfix was applied to
    NothingToRemove = 9,   // at a base label with no receipt: removed before, or never applied
};

struct Message {
    std::string text;
    unsigned style;
};

// The message for `outcome` of a patch run, or of a removal when `removing`; `displayName`
// replaces the "%s" of the texts that name the application and is ignored by the others.
// Example: MessageFor(Outcome::UpToDate, "Tarnovex Viewer").text ==
//          "Your are already using the latest version of Tarnovex Viewer."
Message MessageFor(Outcome outcome, const std::string& displayName, bool removing = false);

} // namespace hotfix
