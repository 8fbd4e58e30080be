#pragma once
// File operations another installer left for the next restart (MoveFileEx with
// MOVEFILE_DELAY_UNTIL_REBOOT), and whether one of them names the application directory: the
// restart would then replace or delete a file the hotfix has just changed, or put one back.
#include <optional>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/registry.h"

namespace hotfix {

// Where the platform keeps them: two REG_MULTI_SZ values of HKEY_LOCAL_MACHINE\<key>.
extern const char kSessionManagerKey[];           // "SYSTEM\CurrentControlSet\Control\Session Manager"
extern const char* const kPendingRenameValues[2]; // "PendingFileRenameOperations", "...2"

// One operation, both paths as read: `source` is moved to `destination`, or deleted when
// `destination` is empty. The paths are NT paths ("\??\C:\dir\file"); a destination starting
// with "!" replaces an existing file.
struct PendingRename {
    std::string source;
    std::string destination;
};

// The operations in a value's bytes as the restart carries them out: pairs of zero-ended
// strings, source then destination, up to the first empty source or the end of the bytes. A
// last source without its destination counts as a deletion.
// Example: "\??\C:\a" 0 0 "\??\C:\b" 0 "!\??\C:\c" 0 0 -> {("\??\C:\a", ""), ("\??\C:\b", "!\??\C:\c")}.
std::vector<PendingRename> ParsePendingRenames(const std::string& data);

// An operation's path as a Win32 path: a leading "!" and a leading "\??\" removed, in either
// order. Example: "!\??\C:\App\x.dll" -> "C:\App\x.dll".
std::string Win32PathOfPending(const std::string& path);

// True when the source or the destination of `rename` names `directory` (ending with its
// backslash) or something inside it, by the file-name rule (IsInDirectory).
bool NamesDirectory(const PendingRename& rename, const std::string& directory, const CodePage& codePage);

// One of the two values, as the run read it.
struct PendingRenameValue {
    std::string name;
    MultiStringRead read;
};

// What the run found: both values as read, and the first operation (in the values' order) that
// names the application directory, with the name of the value it stands in.
struct PendingRestart {
    std::vector<PendingRenameValue> values;
    std::optional<PendingRename> blocking;
    std::string blockingValue;
};

// Decides over the values read for the application directory `directory`. A value that is
// missing, of another type or unreadable holds no operation.
PendingRestart DecidePendingRestart(std::vector<PendingRenameValue> values, const std::string& directory,
                                    const CodePage& codePage);

} // namespace hotfix
