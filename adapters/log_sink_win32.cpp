#include "adapters/log_sink_win32.h"

#include <windows.h>

#include <cstdio>

namespace hotfix::win32 {

std::unique_ptr<Win32FileLog> Win32FileLog::Open(const std::string& path) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end of the file, even
    // when another process appends to it between two of ours.
    UniqueFile file(::CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::unique_ptr<Win32FileLog>(new Win32FileLog(std::move(file)));
}

void Win32FileLog::WriteLine(const std::string& text) {
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    const std::string line = stamp + text + "\r\n";
    // One write per line, so lines of concurrent writers never interleave within a line.
    DWORD written = 0;
    ::WriteFile(m_file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace hotfix::win32
