#include "app/messages.h"

#include "platform/user_interface.h"

namespace hotfix {

namespace {

std::string WithName(const char* before, const std::string& name, const char* after) {
    return std::string(before) + name + after;
}

Message RemovalMessageFor(Outcome outcome, const std::string& displayName) {
    switch (outcome) {
    case Outcome::NotFound:
        return {"The application was not found: there is no HotFix to remove.", kStyleOk | kIconHand};
    case Outcome::StillRunning:
        return {WithName("Please quit the ", displayName, " application before removing this HotFix."),
                kStyleRetryCancel | kIconHand};
    case Outcome::NotInstalled:
        return {WithName("The application ", displayName,
                         " has been found but this HotFix is not installed on this version.\nNothing was changed."),
                kStyleOk | kIconHand};
    case Outcome::Removed:
        return {WithName("The hotfix was removed from the ", displayName, " application."),
                kStyleOk | kIconInformation};
    case Outcome::NothingToRemove:
        return {WithName("This HotFix is not installed on the ", displayName, " application: there is nothing to remove."),
                kStyleOk | kIconInformation};
    default:
        return {"An error occurred during the removal of the hotfix.", kStyleOk | kIconHand};
    }
}

} // namespace

Message MessageFor(Outcome outcome, const std::string& displayName, bool removing) {
    if (removing) return RemovalMessageFor(outcome, displayName);
    // The texts are shown to the user exactly as they stand, including their wording.
    switch (outcome) {
    case Outcome::NotFound:
        return {"Application non found.\nPlease try to reinstall from the original CD before trying again",
                kStyleOk | kIconHand};
    case Outcome::StillRunning:
        return {WithName("Please quit the ", displayName, " application before applying this HotFix."),
                kStyleRetryCancel | kIconHand};
    case Outcome::WrongVersion:
        return {WithName("The application ", displayName,
                         " has been found but this HotFix cannot be applied to this version.\n"
                         "Please upgrade to the latest official version before reapply this HotFix"),
                kStyleOk | kIconHand};
    case Outcome::UpToDate:
        return {WithName("Your are already using the latest version of ", displayName, "."),
                kStyleOk | kIconHand};
    case Outcome::Failed:
        return {"An error occurred during the application of the hotfix.", kStyleOk | kIconHand};
    case Outcome::Applied:
        return {WithName("The hotfix was applied to the ", displayName, " application"),
                kStyleOk | kIconInformation};
    case Outcome::NotInstalled:
    case Outcome::Removed:
    case Outcome::NothingToRemove: break;   // a patch run never ends so
    }
    return {"An error occurred during the application of the hotfix.", kStyleOk | kIconHand};
}

} // namespace hotfix
