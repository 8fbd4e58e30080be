#pragma once
#include "platform/code_page.h"

namespace hotfix::win32 {

// The process's ANSI code page, through the platform's code-page tables.
class Win32CodePage final : public CodePage {
public:
    Win32CodePage();
    bool IsLeadByte(unsigned char byte) const override;
    bool IsDoubleByte() const override { return m_doubleByte; }
    unsigned char UpperSingle(unsigned char ch) const override;
    std::string UpperDouble(unsigned char lead, unsigned char trail) const override;

private:
    bool m_doubleByte = false;
};

} // namespace hotfix::win32
