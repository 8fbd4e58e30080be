#pragma once
// Removing a file the patch sequence wrote, even when something holds it for a moment.
#include <cstdint>
#include <string>

#include "platform/patch_ports.h"

namespace hotfix {

constexpr int kRemovalAttempts = 10;
constexpr std::uint32_t kRemovalRetryMilliseconds = 100;

enum class Removal {
    Removed,              // deleted now
    Absent,               // there was nothing to delete
    ScheduledAtRestart,   // still held after every attempt: the platform deletes it at the next start
    Left,                 // still held, and it could not be scheduled either
};

// Deletes `path`, retrying up to kRemovalAttempts times kRemovalRetryMilliseconds apart while
// the deletion fails for another reason than the file being absent (an indexer or a virus
// scanner may hold a freshly written file a moment); a file that still stands is scheduled
// for deletion at the next restart rather than left forever.
Removal RemoveWrittenFile(FileOperations& files, const std::string& path);

} // namespace hotfix
