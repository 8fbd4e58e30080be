#include "support/win32/system_library.h"

#include "support/win32/ansi_path.h"

namespace hotfix::win32 {

std::string SystemDirectory() {
    char buffer[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string directory(buffer, length);
    if (LastSeparatorAnsi(directory, false) != directory.size() - 1) directory += '\\';
    return directory;
}

UniqueModule LoadSystemLibrary(const char* name) {
    const std::string directory = SystemDirectory();
    if (directory.empty()) return UniqueModule();
    // A full path: the search order, and so the directory the installer was started from,
    // plays no part.
    const std::string path = directory + name;
    return UniqueModule(::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

} // namespace hotfix::win32
