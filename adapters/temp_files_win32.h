#pragma once
#include "platform/patch_ports.h"
#include "adapters/code_page_win32.h"

namespace hotfix::win32 {

// The C runtime's environment (getenv), GetFileAttributesA and the calendar clock (time).
class Win32TempEnvironment final : public TempEnvironment {
public:
    std::optional<std::string> Variable(const std::string& name) override;
    std::optional<std::uint32_t> Attributes(const std::string& path) override;
    std::int64_t Now() override;
    const CodePage& AnsiCodePage() const override { return m_codePage; }

private:
    Win32CodePage m_codePage;
};

} // namespace hotfix::win32
