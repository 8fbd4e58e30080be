#pragma once
#include "platform/registry.h"

namespace hotfix::win32 {

class Win32Registry final : public Registry {
public:
    std::optional<std::string> ReadClassesRootDefault(const std::string& subkey,
                                                       std::uint32_t bufferSize) override;
    MultiStringRead ReadMachineMultiString(const std::string& subkey, const std::string& valueName) override;
};

} // namespace hotfix::win32
