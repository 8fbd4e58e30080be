#include "app/hotfix_app.h"

#include "app/command_line.h"
#include "app/rollout.h"

namespace hotfix {

bool HotfixApp::InitInstance() {
    Enable3dControlsStatic();
    std::unique_ptr<HotfixEnvironment> environment = m_makeEnvironment();
    if (!environment) return false;

    const RunOptions options = ParseRunOptions(SplitCommandLine(m_commandLine, environment->Context().codePage));
    std::unique_ptr<LogSink> log;
    if (!options.logPath.empty()) log = environment->OpenLog(options.logPath);
    RolloutServices services{environment->Context(), environment->Pause()};
    services.clock = environment->Time();
    services.log = log.get();
    services.engine = environment->Engine();
    m_exitCode = RunRollout(options, m_commandLine, services);
    return false;
}

} // namespace hotfix
