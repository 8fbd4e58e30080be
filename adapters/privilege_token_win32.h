#pragma once
#include <memory>

#include "platform/privilege_token.h"
#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

// An access token opened with TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY; closed on destruction.
class Win32PrivilegeToken final : public PrivilegeToken {
public:
    explicit Win32PrivilegeToken(UniqueHandle token) : m_token(std::move(token)) {}

    // The installer's own token; null when it cannot be opened.
    static std::unique_ptr<PrivilegeToken> OpenOwn();

    std::optional<PrivilegeLuid> LookupPrivilege(const std::string& name) override;
    std::uint32_t Adjust(const SinglePrivilegeRecord& newState, std::uint32_t bufferLength,
                         SinglePrivilegeRecord* previousState, std::uint32_t* returnLength) override;

private:
    UniqueHandle m_token;
};

} // namespace hotfix::win32
