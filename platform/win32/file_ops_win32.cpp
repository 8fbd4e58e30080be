#include "platform/win32/file_ops_win32.h"

#include <windows.h>

namespace hotfix::win32 {

std::uint32_t Win32FileOperations::RemoveFile(const std::string& path) {
    return ::DeleteFileA(path.c_str()) ? 0 : ::GetLastError();
}

bool Win32FileOperations::RemoveAtRestart(const std::string& path) {
    // Recorded in the session manager's pending operations; needs administrator rights,
    // which the installer's manifest asks for.
    return ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool Win32FileOperations::ChangeDirectory(const std::string& directory) {
    return ::SetCurrentDirectoryA(directory.c_str()) != FALSE;
}

void Win32FileOperations::Pause(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

} // namespace hotfix::win32
