#pragma once
// Writing one payload of the executable's "PATCH" resources out to disk.
#include <string>

#include "platform/patch_ports.h"

namespace hotfix {

// Writes the payload `name` (found whatever its letter case) to `directory + name`; the file
// bears the caller's spelling. `directory` ends with a backslash; nothing is inserted.
// 1 only when the payload was found, every byte was written in one write and the file was
// closed without error; a zero-byte payload gives an empty file and 1. 0 otherwise: when the
// target could not be opened nothing was touched, and when the write or the close failed the
// partial file is deleted, so a truncated engine or patch file is never left to be run.
int ExtractPayload(PayloadPlatform& platform, const std::string& directory, const std::string& name);

// The PayloadStore port over a PayloadPlatform.
class PlatformPayloadStore final : public PayloadStore {
public:
    explicit PlatformPayloadStore(PayloadPlatform& platform) : m_platform(platform) {}
    int ExtractPayload(const std::string& directory, const std::string& name) override {
        return hotfix::ExtractPayload(m_platform, directory, name);
    }

private:
    PayloadPlatform& m_platform;
};

} // namespace hotfix
