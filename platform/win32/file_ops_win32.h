#pragma once
#include "platform/patch_ports.h"

namespace hotfix::win32 {

// DeleteFileA, MoveFileExA(MOVEFILE_DELAY_UNTIL_REBOOT), SetCurrentDirectoryA, Sleep.
class Win32FileOperations final : public FileOperations {
public:
    std::uint32_t RemoveFile(const std::string& path) override;
    bool RemoveAtRestart(const std::string& path) override;
    bool ChangeDirectory(const std::string& directory) override;
    void Pause(std::uint32_t milliseconds) override;
};

} // namespace hotfix::win32
