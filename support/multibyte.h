#pragma once
// Multibyte-aware character searches over ANSI text.
//
// In a double-byte code page a lead byte and the byte after it form one character, so a
// trail byte never matches even when its code is the one sought: in code page 932 the
// character 0x95 0x5C ("table") holds no backslash.
#include <string>

#include "platform/code_page.h"

namespace hotfix {

// Index of the first single-byte character `ch` in `text`, or std::string::npos.
// Example: FindFirstChar("c:\\a\\b", '\\', cp) == 2.
std::size_t FindFirstChar(const std::string& text, char ch, const CodePage& codePage);

// Index of the last single-byte character `ch` in `text`, or std::string::npos.
// Example: FindLastChar("c:\\a\\b", '\\', cp) == 4.
std::size_t FindLastChar(const std::string& text, char ch, const CodePage& codePage);

// The path after its last backslash of its own; the whole path without one; empty text for an
// absent (null) path. Example: "C:\\A\\b.exe" -> "b.exe", "C:\\A\\" -> "".
std::string FileNameOf(const std::string& path, const CodePage& codePage);
std::string FileNameOf(const char* path, const CodePage& codePage);

} // namespace hotfix
