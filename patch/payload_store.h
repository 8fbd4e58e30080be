#pragma once
// Placing one payload of the executable's "PATCH" resources in a directory, and removing it.
#include <cstdint>
#include <string>

#include "platform/patch_ports.h"

namespace hotfix {

constexpr int kRemovalAttempts = 10;
constexpr std::uint32_t kRemovalRetryMilliseconds = 100;

// Places the payload `name` (found whatever its letter case) at `directory + name`; the file
// bears the caller's spelling. `directory` ends with a backslash; nothing is inserted.
// The steps: whatever stands at that name is removed as the entry itself (a link, never what it
// points to); the payload is written to a new file in one write and closed; the file is then
// held (others may read, load and run it, nobody may write, rename or delete it) and its bytes
// are checked through the held handle. 1 only when all of it succeeded: the file stays held
// until RemovePayload. 0 otherwise: nothing is held, and what this call wrote is gone again
// (a file someone put there meanwhile is removed as an entry, never followed). A zero-byte
// payload gives an empty file and 1.
int ExtractPayload(PayloadPlatform& platform, const std::string& directory, const std::string& name);

// Deletes a placed payload through its held handle, retrying up to kRemovalAttempts times
// kRemovalRetryMilliseconds apart while the platform refuses (a file mapped a moment longer by
// a process that just ended, say). Absent when nothing of that name was held.
Removal RemovePayload(PayloadPlatform& platform, FileOperations& files, const std::string& directory,
                      const std::string& name);

// The PayloadStore port over a PayloadPlatform.
class PlatformPayloadStore final : public PayloadStore {
public:
    PlatformPayloadStore(PayloadPlatform& platform, FileOperations& files) : m_platform(platform), m_files(files) {}
    int ExtractPayload(const std::string& directory, const std::string& name) override {
        return hotfix::ExtractPayload(m_platform, directory, name);
    }
    Removal RemovePayload(const std::string& directory, const std::string& name) override {
        return hotfix::RemovePayload(m_platform, m_files, directory, name);
    }

private:
    PayloadPlatform& m_platform;
    FileOperations& m_files;
};

} // namespace hotfix
