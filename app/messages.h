#pragma once
// The six outcomes of a hotfix run and the message box that tells each to the user.
#include <string>

namespace hotfix {

enum class Outcome {
    NotFound = 1,      // no executable path, or a file name of no product
    StillRunning = 2,  // patchable, but the application is running (Retry/Cancel)
    WrongVersion = 3,  // the hotfix cannot be applied to this version
    UpToDate = 4,      // the hotfix is already in place
    Failed = 5,        // the patch sequence failed, the label did not move, or a restart is pending
    Applied = 6,       // patched
};

struct Message {
    std::string text;
    unsigned style;
};

// The message for `outcome`; `displayName` replaces the "%s" of the texts that name the
// application and is ignored by the others.
// Example: MessageFor(Outcome::UpToDate, "Tarnovex Viewer").text ==
//          "Your are already using the latest version of Tarnovex Viewer."
Message MessageFor(Outcome outcome, const std::string& displayName);

} // namespace hotfix
