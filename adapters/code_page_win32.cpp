#include "adapters/code_page_win32.h"

#include <windows.h>

namespace hotfix::win32 {

Win32CodePage::Win32CodePage() {
    CPINFO info{};
    m_doubleByte = ::GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
}

bool Win32CodePage::IsLeadByte(unsigned char byte) const {
    return m_doubleByte && ::IsDBCSLeadByteEx(CP_ACP, byte);
}

unsigned char Win32CodePage::UpperSingle(unsigned char ch) const {
    char buffer[2] = {static_cast<char>(ch), 0};
    char mapped[2] = {};
    if (::LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, buffer, 1, mapped, 1) != 1) return ch;
    return static_cast<unsigned char>(mapped[0]);
}

std::string Win32CodePage::UpperDouble(unsigned char lead, unsigned char trail) const {
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char mapped[4] = {};
    const int length = ::LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, pair, 2, mapped, sizeof mapped);
    if (length <= 0) return std::string(pair, 2);
    return std::string(mapped, static_cast<std::size_t>(length));
}

} // namespace hotfix::win32
