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

    if (services.engine && (options.quiet || log)) {
        EngineRunMode mode;
        if (options.quiet) mode.showMode = 0;   // SW_HIDE
        mode.captureOutput = log != nullptr;
        services.engine->Configure(mode, log.get());
    }

    HotfixContext context{base.registry, base.files,     base.codePage, base.versions,
                          base.runningTest, base.patchStep, ui,           base.records};
    RunRecord record;
    for (int number = 1;; ++number) {
        if (log) log->RunStarting(number, options.quiet);
        if (RunHotfix(context, &record, log.get(), options.uninstall)) break;
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
