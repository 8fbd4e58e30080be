#include "patch/payload_store.h"

namespace hotfix {

int ExtractPayload(PayloadPlatform& platform, const std::string& directory, const std::string& name) {
    const std::optional<PayloadBytes> payload = platform.LockPayload(name);
    if (!payload) return 0;

    const std::string path = directory + name;
    if (!platform.OpenTarget(path)) return 0;

    const bool written = platform.WriteTarget(payload->data, payload->size);
    const bool closed = platform.CloseTarget();
    if (!written || !closed) {
        platform.DeleteTarget(path);
        return 0;
    }
    return 1;
}

} // namespace hotfix
