#pragma once
// Loading libraries only from the system directory.
//
// The installer runs elevated and usually from a Downloads folder, where anybody can drop a
// DLL. It imports statically only the system's known DLLs; every other library (version.dll,
// psapi.dll) is loaded at run time by its full path in the system directory.
#include <string>

#include "platform/win32/unique_handle.h"

namespace hotfix::win32 {

// Restricts the process's library search to the system directory. The first thing the
// installer does; safe to call more than once.
void RestrictLibrarySearchToSystem();

// The system directory with a trailing backslash, e.g. "C:\\windows\\system32\\".
std::string SystemDirectory();

// Loads `name` (a bare file name) from the system directory only; empty on failure.
UniqueModule LoadSystemLibrary(const char* name);

} // namespace hotfix::win32
