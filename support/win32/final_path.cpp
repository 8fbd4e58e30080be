#include "support/win32/final_path.h"

#include "support/win32/ansi_path.h"

namespace hotfix::win32 {

namespace {
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
} // namespace

std::string FinalPathOf(HANDLE handle) {
    std::string path(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleA(handle, &path[0], static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::string();
        if (length < path.size()) {
            path.resize(length);
            // Only a backslash of its own: in "C:\\\x95\x5C" the last byte is half a character.
            if (!path.empty() && LastSeparatorAnsi(path, false) == path.size() - 1) path.pop_back();
            return path;
        }
        path.assign(length + 1, '\0');
    }
    return std::string();
}

bool IsFinalPathOf(const std::string& finalPath, const std::string& directoryFinal, const std::string& relative) {
    if (directoryFinal.empty() || finalPath.size() != directoryFinal.size() + 1 + relative.size()) return false;
    if (finalPath.compare(0, directoryFinal.size(), directoryFinal) != 0 || finalPath[directoryFinal.size()] != '\\')
        return false;
    const char* const tail = finalPath.data() + directoryFinal.size() + 1;
    for (std::size_t i = 0; i < relative.size(); ++i) {
        // A double-byte character compares as it stands: a trail byte is no letter to fold.
        if (::IsDBCSLeadByte(static_cast<unsigned char>(tail[i])) && i + 1 < relative.size()) {
            if (tail[i] != relative[i] || tail[i + 1] != relative[i + 1]) return false;
            ++i;
        } else if (UpperAscii(tail[i]) != UpperAscii(relative[i])) {
            return false;
        }
    }
    return true;
}

} // namespace hotfix::win32
