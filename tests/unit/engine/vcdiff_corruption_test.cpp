// Damaged xdelta3 output: every failure is reported, never decoded into wrong data or a crash.
#include "engine/vcdiff_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace hotfix::engine::testing {
namespace {

class CorruptedDeltaTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!XdeltaAvailable()) {
            GTEST_SKIP() << "xdelta3 is not installed";
        }
        std::mt19937 rng(11);
        source = RandomBytes(rng, 2000);
        target.assign(source.begin() + 100, source.begin() + 900);
        const Bytes added = RandomBytes(rng, 40);
        target.insert(target.end(), added.begin(), added.end());
        target.insert(target.end(), source.begin() + 1200, source.begin() + 1700);
        target.insert(target.end(), 300, 'z');
        ASSERT_TRUE(XdeltaEncode(&source, target, "-A", delta));
        CollectingSink sink;
        ASSERT_TRUE(Decode(source, delta, sink).ok);
        ASSERT_TRUE(sink.bytes == target);
    }

    Bytes source, target, delta;
};

TEST_F(CorruptedDeltaTest, EveryTruncationFails) {
    constexpr std::size_t kHeaderSize = 5;
    for (std::size_t cut = 0; cut < delta.size(); ++cut) {
        const Bytes truncated(delta.begin(), delta.begin() + static_cast<std::ptrdiff_t>(cut));
        CollectingSink sink;
        const VcdiffResult result = Decode(source, truncated, sink);
        if (cut == kHeaderSize) {
            // A header alone is a valid delta of an empty file.
            EXPECT_TRUE(result.ok) << result.error;
            EXPECT_EQ(result.targetSize, 0u);
            continue;
        }
        EXPECT_FALSE(result.ok) << "cut at " << cut;
        EXPECT_FALSE(result.error.empty()) << "cut at " << cut;
        EXPECT_TRUE(sink.bytes.empty()) << "cut at " << cut;
    }
}

// A flipped bit either breaks the delta or leaves it meaning the same target (a source segment a
// little longer than the copies need, say); it never yields different data.
TEST_F(CorruptedDeltaTest, FlippedBytesFailOrStillDecodeTheTarget) {
    int accepted = 0;
    int cases = 0;
    for (const std::uint8_t mask : {0x01, 0x80, 0xFF}) {
        for (std::size_t at = 0; at < delta.size(); ++at, ++cases) {
            Bytes damaged = delta;
            damaged[at] ^= mask;
            CollectingSink sink;
            const VcdiffResult result = Decode(source, damaged, sink);
            if (result.ok) {
                ++accepted;
                EXPECT_TRUE(sink.bytes == target) << "byte " << at << " ^ " << int(mask);
            } else {
                EXPECT_FALSE(result.error.empty());
                EXPECT_TRUE(sink.bytes.empty()) << "byte " << at << " ^ " << int(mask);
            }
        }
    }
    EXPECT_LT(accepted * 20, cases) << accepted << " of " << cases << " damaged deltas were accepted";
}

TEST_F(CorruptedDeltaTest, TruncatedMultiWindowDeltaOnlyEverYieldsAPrefix) {
    std::mt19937 rng(12);
    const Bytes longTarget = RandomBytes(rng, 40000);
    Bytes multi;
    ASSERT_TRUE(XdeltaEncode(nullptr, longTarget, "-A -W 16384", multi));
    const Bytes none;
    int successes = 0;
    for (std::size_t cut = 0; cut <= multi.size(); cut += 7) {
        const Bytes truncated(multi.begin(), multi.begin() + static_cast<std::ptrdiff_t>(cut));
        CollectingSink sink;
        const VcdiffResult result = Decode(none, truncated, sink);
        ASSERT_LE(sink.bytes.size(), longTarget.size());
        EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), longTarget.begin())) << "cut at " << cut;
        successes += result.ok ? 1 : 0;
        EXPECT_EQ(result.targetSize, sink.bytes.size());
    }
    EXPECT_LE(successes, 4); // only cuts at window boundaries
}

TEST_F(CorruptedDeltaTest, TargetLimitIsEnforced) {
    CollectingSink exact;
    EXPECT_TRUE(Decode(source, delta, exact, target.size()).ok);

    CollectingSink tooSmall;
    const VcdiffResult result = Decode(source, delta, tooSmall, target.size() - 1);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("limit"), std::string::npos) << result.error;
    EXPECT_TRUE(tooSmall.bytes.empty());
}

TEST_F(CorruptedDeltaTest, SinkFailureIsReported) {
    RefusingSink sink;
    const VcdiffResult result =
        DecodeVcdiff(source.data(), source.size(), delta.data(), delta.size(), sink, UINT64_MAX);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("writing"), std::string::npos) << result.error;
    EXPECT_EQ(result.targetSize, 0u);
}

// The engine's staging takes a window's bytes as they are decoded: the same target in pieces, and
// for damaged deltas the same verdict, with what a checked sink gets as a prefix of what it got.
TEST(UncheckedSink, GetsTheTargetInPiecesAndTheSameVerdict) {
    if (!XdeltaAvailable()) {
        GTEST_SKIP() << "xdelta3 is not installed";
    }
    struct UncheckedSink : CollectingSink {
        bool TakesUncheckedBytes() const override { return true; }
    };
    std::mt19937 rng(13);
    const Bytes source = RandomBytes(rng, 1u << 20);
    Bytes target = source;
    for (std::size_t at = 5000; at < target.size(); at += 100000) target[at] ^= 0x40;
    Bytes delta;
    ASSERT_TRUE(XdeltaEncode(&source, target, "-A", delta));
    UncheckedSink whole;
    ASSERT_TRUE(Decode(source, delta, whole).ok);
    EXPECT_TRUE(whole.bytes == target);
    EXPECT_GE(whole.writes, 4) << "one window, handed over in pieces";
    for (std::size_t at = 0; at < delta.size(); ++at) {
        Bytes damaged = delta;
        damaged[at] ^= 0x80;
        CollectingSink checked;
        UncheckedSink unchecked;
        const VcdiffResult expected = Decode(source, damaged, checked), result = Decode(source, damaged, unchecked);
        EXPECT_EQ(result.ok, expected.ok) << "byte " << at;
        EXPECT_EQ(result.error, expected.error) << "byte " << at;
        EXPECT_EQ(result.targetSize, unchecked.bytes.size()) << "byte " << at;
        ASSERT_LE(checked.bytes.size(), unchecked.bytes.size()) << "byte " << at;
        EXPECT_TRUE(std::equal(checked.bytes.begin(), checked.bytes.end(), unchecked.bytes.begin())) << "byte " << at;
    }
}

} // namespace
} // namespace hotfix::engine::testing
