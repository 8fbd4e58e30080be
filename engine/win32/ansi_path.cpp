#include "engine/win32/ansi_path.h"

#include <windows.h>

namespace hotfix::engine {

std::string::size_type LastSeparatorAnsi(const std::string& path) {
    std::string::size_type last = std::string::npos;
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(path[i]);
        if (::IsDBCSLeadByte(byte) && i + 1 < path.size()) {
            ++i; // the trail byte belongs to this character
        } else if (byte == '\\' || byte == '/') {
            last = i;
        }
    }
    return last;
}

bool EndsWithSeparatorAnsi(const std::string& path) {
    return !path.empty() && LastSeparatorAnsi(path) == path.size() - 1;
}

} // namespace hotfix::engine
