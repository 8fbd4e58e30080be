#include "platform/win32/system_library.h"

namespace hotfix::win32 {

void RestrictLibrarySearchToSystem() {
    // SetDefaultDllDirectories is missing on an unpatched Windows 7, so it is looked up.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Takes the current directory out of the search order on every system.
    ::SetDllDirectoryA("");
}

std::string SystemDirectory() {
    char buffer[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string directory(buffer, length);
    if (directory.back() != '\\') directory += '\\';
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
