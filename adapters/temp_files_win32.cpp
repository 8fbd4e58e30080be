#include "adapters/temp_files_win32.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>

namespace hotfix::win32 {

std::optional<std::string> Win32TempEnvironment::Variable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::optional<std::uint32_t> Win32TempEnvironment::Attributes(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

std::int64_t Win32TempEnvironment::Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace hotfix::win32
