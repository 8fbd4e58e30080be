#include "app/messages.h"

#include "platform/user_interface.h"

namespace hotfix {

namespace {

std::string WithName(const char* before, const std::string& name, const char* after) {
    return std::string(before) + name + after;
}

} // namespace

Message MessageFor(Outcome outcome, const std::string& displayName) {
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
    }
    return {"An error occurred during the application of the hotfix.", kStyleOk | kIconHand};
}

} // namespace hotfix
