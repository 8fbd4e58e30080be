#pragma once
#include "platform/machine_records.h"

namespace hotfix::win32 {

// The machine's records on Win32: the registry's 64-bit view (KEY_WOW64_64KEY, which a 32-bit
// Windows ignores) and the folder %CommonProgramFiles% names for the running program.
class Win32MachineRecords final : public MachineRecords {
public:
    MachineKeyRead ReadKey(const std::string& subkey) override;
    std::uint32_t WriteKey(const std::string& subkey, const std::vector<RegistryValue>& values) override;
    std::uint32_t DeleteKey(const std::string& subkey) override;
    std::string Today() override;
    KeptCopy KeepInstaller(const std::string& folder, const std::string& fileName) override;
    CopyRemoval DropInstaller(const std::string& folder, const std::string& fileName, std::uint32_t& code) override;
};

} // namespace hotfix::win32
