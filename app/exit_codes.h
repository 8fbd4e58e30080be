#pragma once
// The exit codes of a quiet run, aligned with the platform installer's codes so deployment
// tools read them as they read any installer's.
#include "app/messages.h"

namespace hotfix {

constexpr int kExitSuccess = 0;               // patched, or already up to date
constexpr int kExitInstallFailure = 1603;     // ERROR_INSTALL_FAILURE: the hotfix failed
constexpr int kExitUnknownProduct = 1605;     // ERROR_UNKNOWN_PRODUCT: nothing installed
constexpr int kExitInstallInProgress = 1618;  // ERROR_INSTALL_ALREADY_RUNNING: retry later
constexpr int kExitNotApplicable = 1642;      // ERROR_PATCH_TARGET_NOT_FOUND: wrong version
constexpr int kExitUnknownPatch = 1647;       // ERROR_UNKNOWN_PATCH: removal, not installed on this version

// The exit code of a quiet run that ended with `outcome`. A run that still found the
// application running when its wait was over ends with 1618, which deployment tools treat as
// "try again later". Example: ExitCodeFor(Outcome::WrongVersion) == 1642.
int ExitCodeFor(Outcome outcome);

// A short English name of `outcome` for the log. Example: OutcomeName(Outcome::Applied) == "patched".
const char* OutcomeName(Outcome outcome);

} // namespace hotfix
