#include "support/multibyte.h"

namespace hotfix {

namespace {

// Walks `text` character by character and calls `visit(index)` for every single-byte
// character; a lead byte takes its trail byte with it. A lead byte in the last position
// has no trail byte and counts as a character of its own.
template <typename Visit>
void ForEachSingleByte(const std::string& text, const CodePage& codePage, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (codePage.IsLeadByte(byte) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (!visit(i)) return;
    }
}

} // namespace

std::size_t FindFirstChar(const std::string& text, char ch, const CodePage& codePage) {
    std::size_t found = std::string::npos;
    ForEachSingleByte(text, codePage, [&](std::size_t i) {
        if (text[i] != ch) return true;
        found = i;
        return false;
    });
    return found;
}

std::size_t FindLastChar(const std::string& text, char ch, const CodePage& codePage) {
    std::size_t found = std::string::npos;
    ForEachSingleByte(text, codePage, [&](std::size_t i) {
        if (text[i] == ch) found = i;
        return true;
    });
    return found;
}

std::string FileNameOf(const std::string& path, const CodePage& codePage) {
    const std::size_t slash = FindLastChar(path, '\\', codePage);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FileNameOf(const char* path, const CodePage& codePage) {
    return path ? FileNameOf(std::string(path), codePage) : std::string();
}

} // namespace hotfix
