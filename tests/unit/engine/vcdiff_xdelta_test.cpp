// The decoder against what the real xdelta3 writes for many generated pairs, and the patch
// builder's own encoder (xdelta3's library in the process) against the program.
#include "engine/vcdiff_test_support.h"
#include "tools/vcdiff_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

namespace hotfix::engine::testing {
namespace {

// `base` with edits scattered through it: replaced, inserted and deleted runs.
Bytes ScatterEdits(const Bytes& base, std::mt19937& rng, int edits) {
    Bytes result = base;
    for (int i = 0; i < edits && !result.empty(); ++i) {
        const std::size_t at = rng() % result.size();
        const std::size_t length = 1 + rng() % 64;
        switch (rng() % 3) {
        case 0:
            for (std::size_t k = at; k < std::min(result.size(), at + length); ++k) {
                result[k] = static_cast<std::uint8_t>(rng());
            }
            break;
        case 1: {
            const Bytes inserted = RandomBytes(rng, length);
            result.insert(result.begin() + static_cast<std::ptrdiff_t>(at), inserted.begin(), inserted.end());
            break;
        }
        default:
            result.erase(result.begin() + static_cast<std::ptrdiff_t>(at),
                         result.begin() + static_cast<std::ptrdiff_t>(std::min(result.size(), at + length)));
        }
    }
    return result;
}

// Text-like data with many repeats at short and long distances.
Bytes Repetitive(std::mt19937& rng, std::size_t size) {
    static const char* const kWords[] = {"alpha ", "beta ", "gamma\n", "delta ", "ab", "x", "0000000000"};
    Bytes result;
    while (result.size() < size) {
        const std::string word = kWords[rng() % 7];
        const int repeats = 1 + static_cast<int>(rng() % 40);
        for (int r = 0; r < repeats; ++r) {
            result.insert(result.end(), word.begin(), word.end());
        }
    }
    result.resize(size);
    return result;
}

struct PairCase {
    const char* name;
    bool hasSource;
    std::function<void(std::mt19937&, Bytes& source, Bytes& target)> make;
    const char* flags;
    int minWindows; // the case is only meaningful when xdelta3 writes at least this many windows
};

const PairCase kPairs[] = {
    {"ScatteredEdits", true,
     [](std::mt19937& rng, Bytes& s, Bytes& t) { s = RandomBytes(rng, 64 * 1024); t = ScatterEdits(s, rng, 40); },
     "-A", 1},
    {"EmptySource", true, [](std::mt19937& rng, Bytes& s, Bytes& t) { s.clear(); t = Repetitive(rng, 5000); }, "-A",
     1},
    {"EmptyTarget", true, [](std::mt19937& rng, Bytes& s, Bytes& t) { s = RandomBytes(rng, 3000); t.clear(); },
     "-A", 1},
    {"BothEmpty", true, [](std::mt19937&, Bytes& s, Bytes& t) { s.clear(); t.clear(); }, "-A", 1},
    {"NoSourceRandom", false, [](std::mt19937& rng, Bytes&, Bytes& t) { t = RandomBytes(rng, 20000); }, "-A", 1},
    {"NoSourceRepetitive", false, [](std::mt19937& rng, Bytes&, Bytes& t) { t = Repetitive(rng, 100000); }, "-A",
     1},
    {"NoSourceEmpty", false, [](std::mt19937&, Bytes&, Bytes& t) { t.clear(); }, "-A", 1},
    {"SingleByteRuns", false,
     [](std::mt19937& rng, Bytes&, Bytes& t) {
         t.clear();
         while (t.size() < 50000) {
             t.insert(t.end(), 1 + rng() % 3000, static_cast<std::uint8_t>(rng()));
         }
     },
     "-A", 1},
    {"MovedBlocks", true,
     [](std::mt19937& rng, Bytes& s, Bytes& t) {
         s = RandomBytes(rng, 120000);
         t.clear();
         for (int block = 7; block >= 0; --block) {
             const auto begin = s.begin() + block * 15000;
             t.insert(t.end(), begin, begin + 15000);
         }
     },
     "-A", 1},
    {"ManyTargetWindows", true,
     [](std::mt19937& rng, Bytes& s, Bytes& t) { s = RandomBytes(rng, 200000); t = ScatterEdits(s, rng, 60); },
     "-A -W 16384", 8},
    {"SlidingSourceWindow", true,
     [](std::mt19937& rng, Bytes& s, Bytes& t) {
         s = RandomBytes(rng, 2 * 1024 * 1024);
         t = ScatterEdits(s, rng, 200);
     },
     "-A -W 65536 -B 524288", 20},
    {"ManyWindowsNoSource", false, [](std::mt19937& rng, Bytes&, Bytes& t) { t = Repetitive(rng, 150000); },
     "-A -W 16384", 8},
    {"WithApplicationHeader", true,
     [](std::mt19937& rng, Bytes& s, Bytes& t) { s = RandomBytes(rng, 10000); t = ScatterEdits(s, rng, 5); }, "",
     1},
};

void PrintTo(const PairCase& pair, std::ostream* out) { *out << pair.name; }

class XdeltaPairTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(XdeltaPairTest, DecodesToTheTarget) {
    if (!XdeltaAvailable()) {
        GTEST_SKIP() << "xdelta3 is not installed";
    }
    const PairCase& pair = GetParam();
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed);
        Bytes source;
        Bytes target;
        pair.make(rng, source, target);
        Bytes delta;
        ASSERT_TRUE(XdeltaEncode(pair.hasSource ? &source : nullptr, target, pair.flags, delta));

        CollectingSink sink;
        const VcdiffResult result = Decode(source, delta, sink);
        ASSERT_TRUE(result.ok) << "seed " << seed << ": " << result.error;
        EXPECT_TRUE(result.error.empty());
        EXPECT_EQ(result.targetSize, target.size());
        ASSERT_EQ(sink.bytes.size(), target.size()) << "seed " << seed;
        EXPECT_TRUE(sink.bytes == target) << "seed " << seed;
        EXPECT_GE(std::max(sink.writes, 1), pair.minWindows) << "seed " << seed;
    }
}

// The builder's encoder writes, for the same pair, the bytes the program writes with the
// builder's flags (-A -n), and they decode to the target. Cases that set the program's window
// sizes have no counterpart: the builder sizes its windows itself.
TEST_P(XdeltaPairTest, TheBuildersEncoderWritesTheProgramsBytes) {
    if (!XdeltaAvailable()) {
        GTEST_SKIP() << "xdelta3 is not installed";
    }
    const PairCase& pair = GetParam();
    if (std::string(pair.flags) != "-A") GTEST_SKIP() << "the program's window sizes are set";
    std::mt19937 rng(1);
    Bytes source;
    Bytes target;
    pair.make(rng, source, target);
    const tools::VcdiffEncoding encoded = tools::EncodeVcdiff(source, target);
    ASSERT_TRUE(encoded.ok) << encoded.message;
    Bytes program;
    ASSERT_TRUE(XdeltaEncode(pair.hasSource ? &source : nullptr, target, "-A -n", program));
    EXPECT_TRUE(encoded.bytes == program) << encoded.bytes.size() << " bytes, the program's " << program.size();

    CollectingSink sink;
    const VcdiffResult result = Decode(source, encoded.bytes, sink);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(sink.bytes == target);
}

INSTANTIATE_TEST_SUITE_P(Pairs, XdeltaPairTest, ::testing::ValuesIn(kPairs),
                         [](const ::testing::TestParamInfo<PairCase>& info) { return info.param.name; });

// A delta decoded against a source of the wrong size, or one too short for its copies, is refused.
TEST(XdeltaSource, WrongSourceIsRefused) {
    if (!XdeltaAvailable()) {
        GTEST_SKIP() << "xdelta3 is not installed";
    }
    std::mt19937 rng(7);
    const Bytes source = RandomBytes(rng, 30000);
    const Bytes target = ScatterEdits(source, rng, 10);
    Bytes delta;
    ASSERT_TRUE(XdeltaEncode(&source, target, "-A", delta));

    CollectingSink shortSink;
    const Bytes shortSource(source.begin(), source.begin() + 1000);
    const VcdiffResult shortResult = Decode(shortSource, delta, shortSink);
    EXPECT_FALSE(shortResult.ok);
    EXPECT_NE(shortResult.error.find("source"), std::string::npos) << shortResult.error;

    Bytes otherSource = source;
    otherSource[15000] ^= 0x5A;
    CollectingSink otherSink;
    const VcdiffResult otherResult = Decode(otherSource, delta, otherSink);
    EXPECT_FALSE(otherResult.ok);
    EXPECT_NE(otherResult.error.find("Adler-32"), std::string::npos) << otherResult.error;
}

} // namespace
} // namespace hotfix::engine::testing
