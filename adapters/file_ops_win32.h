#pragma once
#include "platform/patch_ports.h"

namespace hotfix::win32 {

// FindFirstFileA (the walk), SetCurrentDirectoryA, Sleep.
class Win32FileOperations final : public FileOperations {
public:
    void VisitEntries(const std::string& directory,
                      const std::function<bool(const std::string& relative)>& visit) override;
    bool ChangeDirectory(const std::string& directory) override;
    void Pause(std::uint32_t milliseconds) override;
};

} // namespace hotfix::win32
