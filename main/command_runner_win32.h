#pragma once
// The command runner of the real program: patch/'s RunCommand over a Win32 child process host
// and the Win32 temporary-file environment.
#include <optional>

#include "patch/command_runner.h"
#include "platform/patch_ports.h"
#include "adapters/command_runner_win32.h"
#include "adapters/temp_files_win32.h"

namespace hotfix::win32 {

// RunCommand on Win32 (see patch/command_runner.h).
class Win32CommandRunner final : public CommandRunner {
public:
    std::uint32_t RunCommand(const std::string& commandLine, int showMode, int timeLimitSeconds,
                             std::string* output) override {
        return hotfix::RunCommand(m_host, m_environment, commandLine, showMode, timeLimitSeconds, output,
                                  &m_lastExitCode);
    }
    std::optional<std::uint32_t> LastExitCode() const override { return m_lastExitCode; }

private:
    std::optional<std::uint32_t> m_lastExitCode;
    Win32ChildProcessHost m_host;
    Win32TempEnvironment m_environment;
};

} // namespace hotfix::win32
