#pragma once
// Where a handle really leads. Names in a directory that others can write to may be links
// (symbolic links, junctions, mount points, or under Wine a Unix symbolic link): the final path
// of the handle an operation opened says what it actually reached, whatever the name said.
#include <windows.h>

#include <string>

namespace hotfix::win32 {

// The final path of what `handle` names, as GetFinalPathNameByHandleA reports it
// ("\\\\?\\C:\\Program Files\\App\\app.exe"), without a trailing backslash; empty when it cannot
// be told.
std::string FinalPathOf(HANDLE handle);

// True when `finalPath` is `directoryFinal` followed by one backslash and `relative`, the
// relative part compared without regard to ASCII letter case (double-byte characters of the
// ANSI code page compare byte for byte).
// Example: IsFinalPathOf("\\\\?\\C:\\App\\Bin\\a.DLL", "\\\\?\\C:\\App", "bin\\A.dll") == true.
bool IsFinalPathOf(const std::string& finalPath, const std::string& directoryFinal, const std::string& relative);

} // namespace hotfix::win32
