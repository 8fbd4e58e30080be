#include "adapters/privilege_token_win32.h"

namespace hotfix::win32 {

static_assert(sizeof(TOKEN_PRIVILEGES) == sizeof(SinglePrivilegeRecord),
              "TOKEN_PRIVILEGES with one element has the record's layout");

namespace {

TOKEN_PRIVILEGES ToPlatform(const SinglePrivilegeRecord& record) {
    TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = record.count;
    state.Privileges[0].Luid.LowPart = record.luid.lowPart;
    state.Privileges[0].Luid.HighPart = record.luid.highPart;
    state.Privileges[0].Attributes = record.attributes;
    return state;
}

SinglePrivilegeRecord FromPlatform(const TOKEN_PRIVILEGES& state) {
    SinglePrivilegeRecord record;
    record.count = state.PrivilegeCount;
    record.luid = PrivilegeLuid{state.Privileges[0].Luid.LowPart, state.Privileges[0].Luid.HighPart};
    record.attributes = state.Privileges[0].Attributes;
    return record;
}

} // namespace

std::unique_ptr<PrivilegeToken> Win32PrivilegeToken::OpenOwn() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return nullptr;
    return std::make_unique<Win32PrivilegeToken>(std::move(token));
}

std::optional<PrivilegeLuid> Win32PrivilegeToken::LookupPrivilege(const std::string& name) {
    LUID luid{};
    if (!::LookupPrivilegeValueA(nullptr, name.c_str(), &luid)) return std::nullopt;
    return PrivilegeLuid{luid.LowPart, luid.HighPart};
}

std::uint32_t Win32PrivilegeToken::Adjust(const SinglePrivilegeRecord& newState, std::uint32_t bufferLength,
                                          SinglePrivilegeRecord* previousState,
                                          std::uint32_t* returnLength) {
    TOKEN_PRIVILEGES state = ToPlatform(newState);
    TOKEN_PRIVILEGES previous{};
    DWORD previousLength = returnLength ? *returnLength : 0;

    // The call can succeed and still leave ERROR_NOT_ALL_ASSIGNED: the error code decides.
    const BOOL ok = ::AdjustTokenPrivileges(m_token.get(), FALSE, &state, bufferLength,
                                            previousState ? &previous : nullptr,
                                            previousState ? &previousLength : nullptr);
    DWORD error = ::GetLastError();
    // A failed call always counts as a failure, whatever the error code says.
    if (!ok && error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;

    if (previousState) {
        *previousState = FromPlatform(previous);
        *returnLength = previousLength;
    }
    return error;
}

} // namespace hotfix::win32
