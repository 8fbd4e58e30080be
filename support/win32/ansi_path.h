#pragma once
// Separators in paths of the ANSI code page, for the installer's Win32 layer and the engine
// alike. In a double-byte code page (932, 936, 949, 950) the second byte of a character may be
// 0x5C, the byte of '\\': only a single-byte character is a separator. Example (code page 932):
// "C:\\\x95\x5c" ends with the character 0x95 0x5C, not with a separator.
//
// Header-only over plain buffers: patch.exe uses it and carries no C++ runtime.
#include <windows.h>

#include <string>

namespace hotfix::win32 {

// Position of the last '\\' (and, with `slashToo`, '/') in the first `length` bytes of `path`
// that is a character of its own; -1 when there is none.
// Example: LastSeparatorAnsi("C:\\a\\b", 6) == 4.
inline long LastSeparatorAnsi(const char* path, unsigned long length, bool slashToo = true) {
    long last = -1;
    for (unsigned long i = 0; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(path[i]);
        if (::IsDBCSLeadByte(byte) && i + 1 < length) {
            ++i; // the trail byte belongs to this character
        } else if (byte == '\\' || (slashToo && byte == '/')) {
            last = static_cast<long>(i);
        }
    }
    return last;
}

// The same over a std::string: npos when there is none.
inline std::string::size_type LastSeparatorAnsi(const std::string& path, bool slashToo = true) {
    const long last = LastSeparatorAnsi(path.data(), static_cast<unsigned long>(path.size()), slashToo);
    return last < 0 ? std::string::npos : static_cast<std::string::size_type>(last);
}

// True when the last character of `path` is a '\\' or '/' of its own.
inline bool EndsWithSeparatorAnsi(const std::string& path) {
    return !path.empty() && LastSeparatorAnsi(path) == path.size() - 1;
}

} // namespace hotfix::win32
