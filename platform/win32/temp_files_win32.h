#pragma once
#include "platform/patch_ports.h"

namespace hotfix::win32 {

// The C runtime's environment (getenv), GetFileAttributesA and the calendar clock (time).
class Win32TempEnvironment final : public TempEnvironment {
public:
    std::optional<std::string> Variable(const std::string& name) override;
    std::optional<std::uint32_t> Attributes(const std::string& path) override;
    std::int64_t Now() override;
};

} // namespace hotfix::win32
