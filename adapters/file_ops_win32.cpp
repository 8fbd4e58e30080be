#include "adapters/file_ops_win32.h"

#include <windows.h>

#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

namespace {

constexpr int kMaxDepth = 32;

// False when `visit` asked to stop.
bool Walk(const std::string& root, const std::string& relative, int depth,
          const std::function<bool(const std::string&)>& visit) {
    WIN32_FIND_DATAA entry{};
    UniqueFind find(::FindFirstFileA((root + relative + "*").c_str(), &entry));
    if (!find) return true;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (!visit(relative + name)) return false;
        const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (directory && !link && depth < kMaxDepth && !Walk(root, relative + name + "\\", depth + 1, visit))
            return false;
    } while (::FindNextFileA(find.get(), &entry));
    return true;
}

} // namespace

void Win32FileOperations::VisitEntries(const std::string& directory,
                                       const std::function<bool(const std::string& relative)>& visit) {
    Walk(directory, "", 0, visit);
}

bool Win32FileOperations::ChangeDirectory(const std::string& directory) {
    return ::SetCurrentDirectoryA(directory.c_str()) != FALSE;
}

void Win32FileOperations::Pause(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

} // namespace hotfix::win32
