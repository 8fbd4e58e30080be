#include "support/win32/final_path.h"

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
            if (!path.empty() && path.back() == '\\') path.pop_back();
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
    for (std::size_t i = 0; i < relative.size(); ++i)
        if (UpperAscii(finalPath[directoryFinal.size() + 1 + i]) != UpperAscii(relative[i])) return false;
    return true;
}

} // namespace hotfix::win32
