#pragma once
// The one rule by which the installer compares executable file names and paths.
#include <string>

#include "platform/code_page.h"

namespace hotfix {

// True when `a` and `b` are equal as whole texts without regard to letter case.
//
// The program never sets a locale, so in a single-byte code page only the ASCII letters fold
// ("TARNOVEX.EXE" equals "tarnovex.exe", but "é" never equals "É"). In a double-byte code page
// a lead byte and its trail byte are one character: single-byte characters fold by the code
// page's case tables, and double-byte characters are compared after the platform's upper-case
// mapping. Nothing is trimmed: "a.exe " does not equal "a.exe".
bool SameFileName(const std::string& a, const std::string& b, const CodePage& codePage);

// True when `path` names `directory` itself or something inside it, by the rule above:
// `path` starts with `directory` (which ends with its backslash), or equals it without that
// backslash. False for an empty directory.
// Example: "c:\APP\x.dll" and "C:\App" are in "C:\App\"; "C:\App2\x" is not.
bool IsInDirectory(const std::string& path, const std::string& directory, const CodePage& codePage);

} // namespace hotfix
