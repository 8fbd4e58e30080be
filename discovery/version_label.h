#pragma once
// VersionLabel: the text by which the installer recognises an installed version.
#include <string>

#include "platform/code_page.h"
#include "platform/version_source.h"

namespace hotfix {

// Full form "%d.%02d (%d.%02d.%02d.%02d)": 7.22.24188.12 -> "7.22 (7.22.24188.12)",
// 10.5.3.0 -> "10.05 (10.05.03.00)". Widths are minimums: 65535 prints whole.
std::string FormatVersionLabel(const FileVersion& version);

// The full form cut before its first "(", the blank before it kept: "7.22 (...)" -> "7.22 ".
std::string ShortVersionLabel(const std::string& fullLabel, const CodePage& codePage);

// Reads the file version of `path` into `label`. `fullForm` non-zero gives the full form;
// otherwise `forceShort` == 1 (and only 1) gives the short form; otherwise the Shift key
// decides: held down, the full form, else the short one.
// Returns false, leaving `label` exactly as it was, when the file has no readable fixed
// version information.
bool ReadVersionLabel(VersionSource& versions, const std::string& path, std::string& label,
                      int forceShort, int fullForm, const CodePage& codePage);

} // namespace hotfix
