#include "platform/win32/payload_win32.h"

namespace hotfix::win32 {

namespace {
const char kPayloadType[] = "PATCH";
} // namespace

Win32PayloadPlatform::Win32PayloadPlatform(HMODULE module)
    : m_module(module ? module : ::GetModuleHandleA(nullptr)) {}

std::optional<PayloadBytes> Win32PayloadPlatform::LockPayload(const std::string& name) {
    // The lookup by name ignores letter case: "patch.exe" finds "PATCH.EXE".
    HRSRC resource = ::FindResourceA(m_module, name.c_str(), kPayloadType);
    if (!resource) return std::nullopt;
    const DWORD size = ::SizeofResource(m_module, resource);
    HGLOBAL loaded = ::LoadResource(m_module, resource);
    if (!loaded) return std::nullopt;
    // Resource memory stays mapped for the life of the module: nothing is unlocked or freed.
    const void* data = ::LockResource(loaded);
    if (!data) return std::nullopt;
    return PayloadBytes{data, size};
}

bool Win32PayloadPlatform::OpenTarget(const std::string& path) {
    m_target.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_target.valid();
}

bool Win32PayloadPlatform::WriteTarget(const void* data, std::uint32_t size) {
    DWORD written = 0;
    const BOOL ok = ::WriteFile(m_target.get(), data, size, &written, nullptr);
    return ok && written == size;
}

bool Win32PayloadPlatform::CloseTarget() {
    return ::CloseHandle(m_target.release()) != FALSE;
}

void Win32PayloadPlatform::DeleteTarget(const std::string& path) {
    ::DeleteFileA(path.c_str());
}

} // namespace hotfix::win32
