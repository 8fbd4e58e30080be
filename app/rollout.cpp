#include "app/rollout.h"

#include <memory>

#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/quiet_user_interface.h"
#include "app/run_log.h"

namespace hotfix {

int RunRollout(const RunOptions& options, const std::string& commandLine, RolloutServices& services) {
    HotfixContext& base = services.context;
    std::unique_ptr<RunLog> log;
    if (services.log) {
        log = std::make_unique<RunLog>(*services.log);
        log->Started(commandLine, options);
    }

    if (options.showUsage) {
        base.ui.ShowMessage(UsageText(), kStyleOk | kIconInformation);
        if (log) log->Finished(kExitSuccess);
        return kExitSuccess;
    }

    // Time for the wait budget: the platform's clock, or else the pauses counted.
    PauseCountingClock pauseClock(services.sleeper);
    Clock& clock = services.clock ? *services.clock : static_cast<Clock&>(pauseClock);
    Sleeper& sleeper = services.clock ? services.sleeper : static_cast<Sleeper&>(pauseClock);

    QuietUserInterface quietUi(clock, options.waitSeconds);
    UserInterface& ui = options.quiet ? static_cast<UserInterface&>(quietUi) : base.ui;

    std::unique_ptr<LoggedRunningTest> loggedTest;
    std::unique_ptr<LoggedPatchStep> loggedPatch;
    RunningTest* runningTest = &base.runningTest;
    PatchStep* patchStep = &base.patchStep;
    if (log) {
        loggedTest = std::make_unique<LoggedRunningTest>(base.runningTest, *log);
        loggedPatch = std::make_unique<LoggedPatchStep>(base.patchStep, *log);
        runningTest = loggedTest.get();
        patchStep = loggedPatch.get();
    }
    if (services.engine && (options.quiet || log)) {
        EngineRunMode mode;
        if (options.quiet) mode.showMode = 0;   // SW_HIDE
        mode.captureOutput = log != nullptr;
        services.engine->Configure(mode, log.get());
    }

    HotfixContext context{base.registry, base.files, base.codePage, base.versions, *runningTest, *patchStep, ui};
    RunRecord record;
    for (int number = 1;; ++number) {
        if (log) log->RunStarting(number, record);
        const bool finished = RunHotfix(context, &record);
        if (log) log->RunEnded(options.quiet);
        if (finished) break;
        if (log) log->Retrying(kRetryPauseMs);
        sleeper.Sleep(kRetryPauseMs);
    }

    const int exitCode = options.quiet ? ExitCodeFor(record.outcome) : kExitSuccess;
    if (log) log->Finished(exitCode);
    // The log ends with this call: nothing may report to it afterwards.
    if (services.engine && log) services.engine->Configure(EngineRunMode{}, nullptr);
    return exitCode;
}

} // namespace hotfix
