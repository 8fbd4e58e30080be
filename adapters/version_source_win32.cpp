#include "adapters/version_source_win32.h"

#include <vector>

#include "support/win32/system_library.h"

namespace hotfix::win32 {

namespace {

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

Win32VersionSource::Win32VersionSource() : m_library(LoadSystemLibrary("version.dll")) {
    m_getSize = Lookup<SizeFn>(m_library.get(), "GetFileVersionInfoSizeA");
    m_getInfo = Lookup<InfoFn>(m_library.get(), "GetFileVersionInfoA");
    m_query = Lookup<QueryFn>(m_library.get(), "VerQueryValueA");
}

std::optional<FileVersion> Win32VersionSource::ReadFileVersion(const std::string& path) {
    if (!m_getSize || !m_getInfo || !m_query) return std::nullopt;

    DWORD ignored = 0;
    const DWORD size = m_getSize(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;

    std::vector<unsigned char> block(size);
    if (!m_getInfo(path.c_str(), 0, size, block.data())) return std::nullopt;

    void* root = nullptr;
    UINT rootLength = 0;
    if (!m_query(block.data(), "\\", &root, &rootLength) || !root ||
        rootLength < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;

    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
    FileVersion version;
    version.major = HIWORD(fixed->dwFileVersionMS);
    version.minor = LOWORD(fixed->dwFileVersionMS);
    version.build = HIWORD(fixed->dwFileVersionLS);
    version.revision = LOWORD(fixed->dwFileVersionLS);
    return version;
}

bool Win32VersionSource::IsShiftDown() {
    return (::GetKeyState(VK_SHIFT) & 0x80) != 0;
}

} // namespace hotfix::win32
