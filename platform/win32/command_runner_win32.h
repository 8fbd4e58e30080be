#pragma once
#include "patch/command_runner.h"
#include "platform/patch_ports.h"
#include "platform/win32/temp_files_win32.h"
#include "platform/win32/unique_handle.h"

namespace hotfix::win32 {

// One child at a time through CreateProcessA; the thread's queue served with
// PeekMessageA/TranslateMessage/DispatchMessageA.
class Win32ChildProcessHost final : public ChildProcessHost {
public:
    std::uint32_t Start(const std::string& commandLine, int showMode) override;
    void ServeMessages() override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t ExitCode() override;
    bool HasEnded() override;
    void Terminate(std::uint32_t exitCode) override;
    void Release() override;
    std::optional<std::string> TakeCaptureFile(const std::string& path) override;

private:
    UniqueProcessInformation m_child;
};

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
