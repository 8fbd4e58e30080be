#include "adapters/file_lookup_win32.h"

#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

std::optional<std::string> Win32FileLookup::FindStoredName(const std::string& path) {
    WIN32_FIND_DATAA data{};
    UniqueFind find(::FindFirstFileA(path.c_str(), &data));
    if (!find) return std::nullopt;
    return std::string(data.cFileName);
}

} // namespace hotfix::win32
