#pragma once
#include <windows.h>

#include "platform/patch_ports.h"
#include "platform/win32/unique_handle.h"

namespace hotfix::win32 {

// The "PATCH" resources of one module (the executable itself unless told otherwise) and the
// target file being written.
class Win32PayloadPlatform final : public PayloadPlatform {
public:
    // `module` holds the resources; null means the executable (GetModuleHandle(NULL)).
    explicit Win32PayloadPlatform(HMODULE module = nullptr);

    std::optional<PayloadBytes> LockPayload(const std::string& name) override;
    bool OpenTarget(const std::string& path) override;
    bool WriteTarget(const void* data, std::uint32_t size) override;
    bool CloseTarget() override;
    void DeleteTarget(const std::string& path) override;

private:
    HMODULE m_module;
    UniqueFile m_target;
};

} // namespace hotfix::win32
