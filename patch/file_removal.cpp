#include "patch/file_removal.h"

namespace hotfix {

namespace {
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
} // namespace

Removal RemoveWrittenFile(FileOperations& files, const std::string& path) {
    for (int attempt = 1; attempt <= kRemovalAttempts; ++attempt) {
        const std::uint32_t error = files.RemoveFile(path);
        if (error == 0) return Removal::Removed;
        if (error == kErrorFileNotFound || error == kErrorPathNotFound) {
            return attempt == 1 ? Removal::Absent : Removal::Removed;
        }
        if (attempt < kRemovalAttempts) files.Pause(kRemovalRetryMilliseconds);
    }
    return files.RemoveAtRestart(path) ? Removal::ScheduledAtRestart : Removal::Left;
}

} // namespace hotfix
