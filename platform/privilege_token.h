#pragma once
// Port: the installer's own access token, as far as switching one privilege needs it.
#include <cstdint>
#include <optional>
#include <string>

namespace hotfix {

// A locally unique identifier of a privilege: 32-bit low part, signed 32-bit high part.
struct PrivilegeLuid {
    std::uint32_t lowPart = 0;
    std::int32_t highPart = 0;
};

inline bool operator==(const PrivilegeLuid& a, const PrivilegeLuid& b) {
    return a.lowPart == b.lowPart && a.highPart == b.highPart;
}

// The attribute bit that switches a privilege on.
constexpr std::uint32_t kPrivilegeEnabled = 0x00000002;

// A privilege record with exactly one element, laid out as the platform lays it out:
// count, LUID low part, LUID high part, attributes.
struct SinglePrivilegeRecord {
    std::uint32_t count = 0;
    PrivilegeLuid luid;
    std::uint32_t attributes = 0;
};
static_assert(sizeof(SinglePrivilegeRecord) == 16, "a one-element privilege record is 16 bytes");

// The record's length in bytes, as passed to the platform.
constexpr std::uint32_t kSinglePrivilegeRecordLength = sizeof(SinglePrivilegeRecord);

// Error codes the privilege switch tells apart; anything but kTokenSuccess is a failure.
constexpr std::uint32_t kTokenSuccess = 0;
constexpr std::uint32_t kTokenNotAllAssigned = 1300;   // the token does not hold the privilege

class PrivilegeToken {
public:
    // Closes the token.
    virtual ~PrivilegeToken() = default;

    // The LUID of privilege `name` on the local system; nullopt when the name is unknown.
    virtual std::optional<PrivilegeLuid> LookupPrivilege(const std::string& name) = 0;

    // Adjusts the privileges in `newState` (never disabling all of them) and returns the
    // error code the platform reports right after the call: kTokenSuccess when every listed
    // privilege was adjusted, kTokenNotAllAssigned when the token does not hold one, another
    // code on other failures. `bufferLength` is passed on as the size of the previous-state
    // buffer. When `previousState` is given, it receives the earlier attributes of every
    // privilege the call changed (count 0 when it changed none) and `*returnLength` the
    // length of that state; with `previousState` null, `returnLength` is null too.
    virtual std::uint32_t Adjust(const SinglePrivilegeRecord& newState, std::uint32_t bufferLength,
                                 SinglePrivilegeRecord* previousState, std::uint32_t* returnLength) = 0;
};

} // namespace hotfix
