#include "process/privilege_switch.h"

#include <gtest/gtest.h>

#include "process/fake_processes.h"

namespace hotfix {
namespace {

using fakes::FakeToken;
using fakes::kEnabledByDefault;

constexpr std::uint32_t kDebugLuid = 20;

struct SwitchCase {
    const char* name;
    std::optional<std::uint32_t> heldBefore;   // nullopt: the token does not hold the privilege
    bool enable;
    bool expectedResult;
    std::size_t expectedAdjustments;
    std::optional<std::uint32_t> heldAfter;
    std::uint32_t secondAttributes;            // attributes asked for by the second adjustment
};

class SwitchPrivilegeTable : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(SwitchPrivilegeTable, EndsInTheAskedStateKeepingOtherBits) {
    const SwitchCase& c = GetParam();
    FakeToken token;
    if (c.heldBefore) token.held[kDebugLuid] = *c.heldBefore;

    EXPECT_EQ(SwitchPrivilege(token, "SeDebugPrivilege", c.enable), c.expectedResult);

    ASSERT_EQ(token.adjustments.size(), c.expectedAdjustments);
    if (c.heldAfter) {
        EXPECT_EQ(token.held.at(kDebugLuid), *c.heldAfter);
    } else {
        EXPECT_EQ(token.held.count(kDebugLuid), 0u);
    }
    if (c.expectedAdjustments == 2) {
        const SinglePrivilegeRecord& second = token.adjustments[1].newState;
        EXPECT_EQ(second.count, 1u);
        EXPECT_EQ(second.luid, (PrivilegeLuid{kDebugLuid, 0}));
        EXPECT_EQ(second.attributes, c.secondAttributes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, SwitchPrivilegeTable,
    ::testing::Values(
        SwitchCase{"NotHeldOn", std::nullopt, true, false, 1, std::nullopt, 0},
        SwitchCase{"NotHeldOff", std::nullopt, false, false, 1, std::nullopt, 0},
        SwitchCase{"OffToOn", 0u, true, true, 2, kPrivilegeEnabled, kPrivilegeEnabled},
        SwitchCase{"OffStaysOff", 0u, false, true, 2, 0u, 0},
        SwitchCase{"AlreadyOnStaysOn", kPrivilegeEnabled, true, true, 2, kPrivilegeEnabled, kPrivilegeEnabled},
        SwitchCase{"OnToOff", kPrivilegeEnabled, false, true, 2, 0u, 0},
        // A privilege enabled by default keeps that bit in both directions.
        SwitchCase{"DefaultOnToOff", kPrivilegeEnabled | kEnabledByDefault, false, true, 2,
                   kEnabledByDefault, kEnabledByDefault},
        SwitchCase{"DefaultOnStaysOn", kPrivilegeEnabled | kEnabledByDefault, true, true, 2,
                   kPrivilegeEnabled | kEnabledByDefault, kPrivilegeEnabled | kEnabledByDefault}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.name); });

TEST(SwitchPrivilege, FirstAdjustmentProbesWithSixteenByteRecords) {
    FakeToken token;
    token.held[kDebugLuid] = kPrivilegeEnabled;
    ASSERT_TRUE(SwitchPrivilege(token, "SeDebugPrivilege", true));

    ASSERT_EQ(token.adjustments.size(), 2u);
    const FakeToken::Adjustment& first = token.adjustments[0];
    EXPECT_EQ(first.newState.count, 1u);
    EXPECT_EQ(first.newState.attributes, 0u);
    EXPECT_EQ(first.bufferLength, 16u);
    EXPECT_TRUE(first.askedPreviousState);
    EXPECT_EQ(first.previousLengthOnEntry, 16u);

    // The second adjustment passes the length the first one reported, and asks for nothing back.
    const FakeToken::Adjustment& second = token.adjustments[1];
    EXPECT_EQ(second.bufferLength, 16u);
    EXPECT_FALSE(second.askedPreviousState);
}

TEST(SwitchPrivilege, SecondAdjustmentUsesTheReportedLengthWhenNothingChanged) {
    FakeToken token;
    token.held[kDebugLuid] = 0;
    ASSERT_TRUE(SwitchPrivilege(token, "SeDebugPrivilege", true));
    ASSERT_EQ(token.adjustments.size(), 2u);
    EXPECT_EQ(token.adjustments[1].bufferLength, 4u);
}

TEST(SwitchPrivilege, UnknownNameMakesNoAdjustment) {
    FakeToken token;
    EXPECT_FALSE(SwitchPrivilege(token, "SeNoSuchPrivilege", true));
    EXPECT_TRUE(token.adjustments.empty());
}

TEST(SwitchPrivilege, FailedSecondAdjustmentIsReported) {
    FakeToken token;
    token.held[kDebugLuid] = 0;
    token.failAdjustment = 1;
    EXPECT_FALSE(SwitchPrivilege(token, "SeDebugPrivilege", true));
    EXPECT_FALSE(token.Enabled(kDebugLuid));
}

TEST(SwitchPrivilege, OtherPrivilegesAreLeftAlone) {
    FakeToken token;
    token.held[kDebugLuid] = 0;
    token.held[17] = kPrivilegeEnabled;
    ASSERT_TRUE(SwitchPrivilege(token, "SeDebugPrivilege", true));
    EXPECT_EQ(token.held[17], kPrivilegeEnabled);
    for (const FakeToken::Adjustment& adjustment : token.adjustments)
        EXPECT_EQ(adjustment.newState.luid.lowPart, kDebugLuid);
}

} // namespace
} // namespace hotfix
