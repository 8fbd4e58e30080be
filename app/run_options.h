#pragma once
// What the installer's command line asks for. The default value is the interactive run: message
// boxes, exit code 0 whatever the outcome, no log.
#include <string>

namespace hotfix {

// The switch that removes the hotfix instead of applying it.
inline constexpr char kUninstallSwitch[] = "/uninstall";

struct RunOptions {
    bool uninstall = false;         // remove the hotfix: back to the base label it was applied to
    bool quiet = false;             // no window and no message box; the outcome is the exit code
    bool showUsage = false;         // "/?": show the usage and run nothing
    std::string logPath;            // append a plain-text log here; empty: no log
    unsigned waitSeconds = 0;       // quiet mode: how long to keep retrying while the application runs
};

} // namespace hotfix
