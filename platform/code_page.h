#pragma once
// Port: the process's ANSI code page, as far as text searches and file-name comparison need it.
#include <string>

namespace hotfix {

class CodePage {
public:
    virtual ~CodePage() = default;

    // True when `byte` starts a two-byte character of the ANSI code page.
    // Always false in a single-byte code page.
    virtual bool IsLeadByte(unsigned char byte) const = 0;

    // True when the ANSI code page is a double-byte one (932, 936, 949, 950, ...).
    virtual bool IsDoubleByte() const = 0;

    // Upper case of a single-byte character by the code page's own case tables.
    // Only asked in a double-byte code page; a single-byte code page folds ASCII only.
    virtual unsigned char UpperSingle(unsigned char ch) const = 0;

    // Upper case of the two-byte character (lead, trail) by the platform's mapping.
    // The result is the character's bytes after mapping (normally two).
    virtual std::string UpperDouble(unsigned char lead, unsigned char trail) const = 0;
};

} // namespace hotfix
