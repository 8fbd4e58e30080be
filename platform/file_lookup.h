#pragma once
// Port: asking the file system under which name an entry is stored.
#include <optional>
#include <string>

namespace hotfix {

class FileLookup {
public:
    virtual ~FileLookup() = default;

    // One directory look-up of `path` (FindFirstFileA): the long name of the entry as it is
    // stored in its directory, for example "Program Files" for "c:\PROGRA~1".
    // Empty optional when nothing is found (missing, access denied, a server or share name).
    virtual std::optional<std::string> FindStoredName(const std::string& path) = 0;
};

} // namespace hotfix
