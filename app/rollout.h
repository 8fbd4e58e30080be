#pragma once
// The installer's whole run as its command line asks for it: interactive (the default), quiet
// with an exit code, logged, or just the usage.
#include <string>

#include "app/hotfix_run.h"
#include "app/run_options.h"
#include "patch/patch_events.h"
#include "platform/clock.h"
#include "platform/log_sink.h"

namespace hotfix {

// What a rollout needs beyond one run's context.
struct RolloutServices {
    HotfixContext& context;
    Sleeper& sleeper;
    Clock* clock = nullptr;    // none: time is counted by the pauses alone
    LogSink* log = nullptr;    // the open log, when "/log" named one that could be opened
    // How the patch sequence runs the engine; none: it keeps its interactive default.
    EngineConfiguration* engine = nullptr;
};

// Runs the installer and returns its exit code.
// - "/?": shows the usage through the context's user interface, runs nothing, returns 0.
// - Otherwise runs hotfix runs (removals, with "/uninstall") until one is finished, 2000 ms apart. Interactive, the context's
//   user interface answers and the exit code is 0 whatever the outcome. Quiet, nothing is
//   shown, Retry is answered while the wait budget lasts, the engine runs hidden, and the exit
//   code is ExitCodeFor the last outcome.
// - With a log, every run's facts and steps are appended to it, and the engine's console output
//   is captured for it. Without one nothing is written.
int RunRollout(const RunOptions& options, const std::string& commandLine, RolloutServices& services);

} // namespace hotfix
