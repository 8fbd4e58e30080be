#pragma once
#include "platform/patch_ports.h"
#include "support/win32/unique_handle.h"

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

} // namespace hotfix::win32
