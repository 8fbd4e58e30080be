#include "patch/payload_store.h"

namespace hotfix {

int ExtractPayload(PayloadPlatform& platform, const std::string& directory, const std::string& name) {
    const std::optional<PayloadBytes> payload = platform.LockPayload(name);
    if (!payload) return 0;

    if (!platform.ClearTarget(directory, name)) return 0;
    if (!platform.WriteTarget(directory, name, *payload)) return 0;
    if (platform.HoldTarget(directory, name, *payload)) return 1;
    // Not what was written, or not ours to hold any more: whatever stands there goes, as itself.
    platform.ClearTarget(directory, name);
    return 0;
}

Removal RemovePayload(PayloadPlatform& platform, FileOperations& files, const std::string& directory,
                      const std::string& name) {
    constexpr std::uint32_t kNotHeld = 2;
    for (int attempt = 1; attempt <= kRemovalAttempts; ++attempt) {
        const std::uint32_t error = platform.DeleteHeld(directory, name);
        if (error == 0) return Removal::Removed;
        if (error == kNotHeld) return attempt == 1 ? Removal::Absent : Removal::Removed;
        if (attempt < kRemovalAttempts) files.Pause(kRemovalRetryMilliseconds);
    }
    return Removal::Left;
}

} // namespace hotfix
