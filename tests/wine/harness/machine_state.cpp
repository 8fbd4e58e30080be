#include "harness/machine_state.h"

#include <cstring>

#include "app/hotfix_records.h"
#include "harness/sandbox.h"

namespace hotfix::testing {

std::optional<std::string> MachineString(const std::string& subkey, const std::string& name) {
    win32::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    char buffer[2048] = {};
    DWORD size = sizeof buffer - 1, type = 0;
    if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::string(buffer, ::strnlen(buffer, size));
}

bool MachineKeyExists(const std::string& subkey) {
    win32::UniqueHkey key;
    return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

std::string KeptInstallerPath(const HotfixIdentity& hotfix) {
    char common[MAX_PATH] = {};
    ::ExpandEnvironmentStringsA("%CommonProgramFiles%", common, MAX_PATH);
    return std::string(common) + "\\" + hotfix.name + "\\" + hotfix.installerFileName;
}

void ForgetHotfixRecords(const HotfixIdentity& hotfix) {
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, ReceiptKey(hotfix).c_str(), KEY_WOW64_64KEY, 0);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UninstallKey(hotfix).c_str(), KEY_WOW64_64KEY, 0);
    const std::string kept = KeptInstallerPath(hotfix);
    RemoveTree(kept.substr(0, kept.rfind('\\')));
}

} // namespace hotfix::testing
