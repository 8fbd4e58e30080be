#include "process/file_name_compare.h"

namespace hotfix {

namespace {

unsigned char AsciiUpper(unsigned char ch) {
    return (ch >= 'a' && ch <= 'z') ? static_cast<unsigned char>(ch - 'a' + 'A') : ch;
}

bool SameSingleByte(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(static_cast<unsigned char>(a[i])) != AsciiUpper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The next character of `text` from `pos`, upper-cased by the double-byte rule; advances pos.
std::string NextUpper(const std::string& text, std::size_t& pos, const CodePage& codePage) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (codePage.IsLeadByte(lead) && pos + 1 < text.size()) {
        const auto trail = static_cast<unsigned char>(text[pos + 1]);
        pos += 2;
        return codePage.UpperDouble(lead, trail);
    }
    pos += 1;
    return std::string(1, static_cast<char>(codePage.UpperSingle(lead)));
}

bool SameDoubleByte(const std::string& a, const std::string& b, const CodePage& codePage) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (NextUpper(a, i, codePage) != NextUpper(b, j, codePage)) return false;
    }
    return i == a.size() && j == b.size();
}

} // namespace

bool SameFileName(const std::string& a, const std::string& b, const CodePage& codePage) {
    return codePage.IsDoubleByte() ? SameDoubleByte(a, b, codePage) : SameSingleByte(a, b);
}

bool IsInDirectory(const std::string& path, const std::string& directory, const CodePage& codePage) {
    if (directory.empty()) return false;
    // Compared character by character, the prefix's last character must match the directory's
    // final separator, a character of its own: a prefix that ends inside a double-byte
    // character, or with one whose trail byte is 0x5C, never matches.
    const std::string itself = directory.substr(0, directory.size() - 1);
    return SameFileName(path.substr(0, directory.size()), directory, codePage) ||
           SameFileName(path, itself, codePage);
}

} // namespace hotfix
