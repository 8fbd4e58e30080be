#include "adapters/user_interface_win32.h"

#include <windows.h>

#include "adapters/code_page_win32.h"
#include "support/multibyte.h"

namespace hotfix::win32 {

std::string ProgramTitle() {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    const Win32CodePage codePage;
    std::string name(buffer, length < MAX_PATH ? length : 0);
    const std::size_t slash = FindLastChar(name, '\\', codePage);
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t dot = FindLastChar(name, '.', codePage);
    if (dot != std::string::npos) name.resize(dot);
    return name;
}

int Win32UserInterface::ShowMessage(const std::string& text, unsigned style) {
    return ::MessageBoxA(nullptr, text.c_str(), m_caption.c_str(), style);
}

void Win32Sleeper::Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

} // namespace hotfix::win32
