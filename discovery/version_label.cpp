#include "discovery/version_label.h"

#include <cstdio>

#include "support/multibyte.h"

namespace hotfix {

std::string FormatVersionLabel(const FileVersion& v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d.%02d (%d.%02d.%02d.%02d)", int{v.major}, int{v.minor},
                  int{v.major}, int{v.minor}, int{v.build}, int{v.revision});
    return buffer;
}

std::string ShortVersionLabel(const std::string& fullLabel, const CodePage& codePage) {
    const std::size_t paren = FindFirstChar(fullLabel, '(', codePage);
    return paren == std::string::npos ? fullLabel : fullLabel.substr(0, paren);
}

bool ReadVersionLabel(VersionSource& versions, const std::string& path, std::string& label,
                      int forceShort, int fullForm, const CodePage& codePage) {
    const std::optional<FileVersion> version = versions.ReadFileVersion(path);
    if (!version) return false;

    const std::string full = FormatVersionLabel(*version);
    bool keepFull;
    if (fullForm != 0) {
        keepFull = true;
    } else if (forceShort == 1) {
        keepFull = false;
    } else {
        keepFull = versions.IsShiftDown();
    }
    label = keepFull ? full : ShortVersionLabel(full, codePage);
    return true;
}

} // namespace hotfix
