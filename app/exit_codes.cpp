#include "app/exit_codes.h"

namespace hotfix {

int ExitCodeFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::NotFound: return kExitUnknownProduct;
    case Outcome::StillRunning: return kExitInstallInProgress;
    case Outcome::WrongVersion: return kExitNotApplicable;
    case Outcome::UpToDate: return kExitSuccess;
    case Outcome::Failed: return kExitInstallFailure;
    case Outcome::Applied: return kExitSuccess;
    case Outcome::NotInstalled: return kExitUnknownPatch;
    case Outcome::Removed: return kExitSuccess;
    case Outcome::NothingToRemove: return kExitSuccess;
    }
    return kExitInstallFailure;   // no outcome: never report success for it
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::NotFound: return "no product installed";
    case Outcome::StillRunning: return "application still running";
    case Outcome::WrongVersion: return "not applicable to the installed version";
    case Outcome::UpToDate: return "already up to date";
    case Outcome::Failed: return "the hotfix failed";
    case Outcome::Applied: return "patched";
    case Outcome::NotInstalled: return "the hotfix is not installed on this version";
    case Outcome::Removed: return "removed";
    case Outcome::NothingToRemove: return "nothing to remove";
    }
    return "unknown";
}

} // namespace hotfix
