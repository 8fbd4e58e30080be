#pragma once
// Loading libraries only from the system directory.
//
// The installer runs elevated and usually from a Downloads folder, where anybody can drop a
// DLL. It imports statically only the system's known DLLs; every other library (version.dll,
// psapi.dll) is loaded at run time by its full path in the system directory.
#include <string>

#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

// Restricts the process's library search to the system directory: from here on, the DLLs the
// process loads by name come from System32 only. The first thing the installer and patch.exe
// do; safe to call more than once. Inline, so that patch.exe, which carries no C++ runtime,
// takes it without the rest of this file.
inline void RestrictLibrarySearchToSystem() {
    // SetDefaultDllDirectories is missing on an unpatched Windows 7, so it is looked up.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const auto setDefault = kernel == nullptr ? nullptr
                                              : reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                                    ::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Takes the current directory out of the search order on every system.
    ::SetDllDirectoryA("");
}

// The system directory with a trailing backslash, e.g. "C:\\windows\\system32\\".
std::string SystemDirectory();

// Loads `name` (a bare file name) from the system directory only; empty on failure.
UniqueModule LoadSystemLibrary(const char* name);

} // namespace hotfix::win32
