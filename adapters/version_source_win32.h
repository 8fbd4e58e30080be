#pragma once
#include "platform/version_source.h"
#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

// Version resources through version.dll, loaded from the system directory at run time.
class Win32VersionSource final : public VersionSource {
public:
    Win32VersionSource();
    std::optional<FileVersion> ReadFileVersion(const std::string& path) override;
    bool IsShiftDown() override;

private:
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

    UniqueModule m_library;
    SizeFn m_getSize = nullptr;
    InfoFn m_getInfo = nullptr;
    QueryFn m_query = nullptr;
};

} // namespace hotfix::win32
