#include "process/privilege_switch.h"

namespace hotfix {

const char kDebugPrivilege[] = "SeDebugPrivilege";

bool SwitchPrivilege(PrivilegeToken& token, const std::string& name, bool enable) {
    const std::optional<PrivilegeLuid> luid = token.LookupPrivilege(name);
    if (!luid) return false;

    // Attributes 0 switch the privilege off; when that changed anything, the platform reports
    // the attributes it had before in `previous` (count 1), otherwise it reports none (count 0).
    SinglePrivilegeRecord probe;
    probe.count = 1;
    probe.luid = *luid;
    probe.attributes = 0;
    SinglePrivilegeRecord previous;
    std::uint32_t previousLength = kSinglePrivilegeRecordLength;
    if (token.Adjust(probe, kSinglePrivilegeRecordLength, &previous, &previousLength) != kTokenSuccess)
        return false;

    const std::uint32_t before = previous.count >= 1 ? previous.attributes : 0;
    previous.count = 1;
    previous.luid = *luid;
    previous.attributes = enable ? (before | kPrivilegeEnabled) : (before & ~kPrivilegeEnabled);
    return token.Adjust(previous, previousLength, nullptr, nullptr) == kTokenSuccess;
}

} // namespace hotfix
