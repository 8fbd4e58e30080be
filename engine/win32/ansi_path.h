#pragma once
// Separators in paths of the ANSI code page. In a double-byte code page (932, 936, 949, 950)
// the second byte of a character may be 0x5C, the byte of '\\': only a single-byte character
// is a separator. Example (code page 932): "C:\\\x95\x5c" ends with the character 0x95 0x5C,
// not with a separator.
#include <string>

namespace hotfix::engine {

// Position of the last '\\' or '/' that is a character of its own; npos when there is none.
std::string::size_type LastSeparatorAnsi(const std::string& path);

// True when the last character of `path` is a '\\' or '/' of its own.
bool EndsWithSeparatorAnsi(const std::string& path);

} // namespace hotfix::engine
