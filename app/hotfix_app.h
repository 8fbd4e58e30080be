#pragma once
// The installer's application object.
#include <memory>
#include <string>

#include "app/framework.h"
#include "app/hotfix_run.h"
#include "patch/patch_events.h"
#include "platform/clock.h"
#include "platform/log_sink.h"

namespace hotfix {

// The platform services of one process: built when the application starts, dropped when it ends.
class HotfixEnvironment {
public:
    virtual ~HotfixEnvironment() = default;
    virtual HotfixContext& Context() = 0;
    virtual Sleeper& Pause() = 0;

    // What the command-line switches need; the defaults offer none of it.
    // A monotonic clock for the quiet wait budget (none: the pauses are counted instead).
    virtual Clock* Time() { return nullptr; }
    // The log at `path`, opened for appending; none when it cannot be opened.
    virtual std::unique_ptr<LogSink> OpenLog(const std::string& path) { (void)path; return nullptr; }
    // How the patch sequence runs the engine (hidden, captured); none: always as by default.
    virtual EngineConfiguration* Engine() { return nullptr; }
};

using EnvironmentFactory = std::unique_ptr<HotfixEnvironment> (*)();

class HotfixApp : public CWinApp {
public:
    explicit HotfixApp(EnvironmentFactory makeEnvironment) : m_makeEnvironment(makeEnvironment) {}

    // Runs hotfix runs until one is finished, 2000 ms apart, as the command line asks (see
    // RunRollout); always returns false, so the program ends without a window.
    bool InitInstance() override;

    // The whole command line, program name first; unset, the run is the interactive default.
    void SetCommandLine(const std::string& commandLine) { m_commandLine = commandLine; }
    // The process's exit code once InitInstance returned: 0 unless a quiet run says otherwise.
    int ExitCode() const { return m_exitCode; }

private:
    EnvironmentFactory m_makeEnvironment;
    std::string m_commandLine;
    int m_exitCode = 0;
};

} // namespace hotfix
