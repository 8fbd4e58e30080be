// Hand-made deltas: the parts of the format xdelta3 rarely or never writes, and each way a delta
// can be malformed.
#include "engine/vcdiff_test_support.h"

#include <gtest/gtest.h>

namespace hotfix::engine::testing {
namespace {

// Opcodes of the default code table.
constexpr std::uint8_t kRunSized = 0;
constexpr std::uint8_t kAddSized = 1;
constexpr std::uint8_t Add(unsigned size) { return static_cast<std::uint8_t>(1 + size); } // 1..17
constexpr std::uint8_t CopySized(unsigned mode) { return static_cast<std::uint8_t>(19 + mode * 16); }
constexpr std::uint8_t Copy(unsigned size, unsigned mode) { // size 4..18
    return static_cast<std::uint8_t>(19 + mode * 16 + size - 3);
}
constexpr std::uint8_t AddThenCopy(unsigned addSize, unsigned copySize, unsigned mode) {
    return mode <= 5 ? static_cast<std::uint8_t>(163 + mode * 12 + (addSize - 1) * 3 + copySize - 4)
                     : static_cast<std::uint8_t>(235 + (mode - 6) * 4 + addSize - 1);
}
constexpr std::uint8_t Copy4ThenAdd1(unsigned mode) { return static_cast<std::uint8_t>(247 + mode); }

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes Slice(const Bytes& bytes, std::size_t at, std::size_t size) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                 bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
}

Bytes Ints(std::initializer_list<std::uint64_t> values) {
    Bytes out;
    for (const std::uint64_t value : values) {
        PutInt(out, value);
    }
    return out;
}

std::string DecodeOk(const Bytes& source, const Bytes& delta) {
    CollectingSink sink;
    const VcdiffResult result = Decode(source, delta, sink);
    EXPECT_TRUE(result.ok) << result.error;
    return std::string(sink.bytes.begin(), sink.bytes.end());
}

TEST(VcdiffFormat, AddRunAndCopyWithoutSource) {
    Window window;
    window.targetLength = 15;
    window.data = Text("hellox");
    window.inst = {Add(5), kRunSized, 5, Copy(5, 0)};
    window.addr = Ints({0});
    EXPECT_EQ(DecodeOk({}, Delta({window})), "helloxxxxxhello");
}

TEST(VcdiffFormat, OverlappingCopiesRepeatWhatTheyWrite) {
    struct Case {
        std::string seed;
        std::uint64_t back;
        std::uint64_t length;
    };
    for (const Case& c : {Case{"a", 1, 10}, Case{"abc", 3, 20}, Case{"abcde", 5, 23}, Case{"abcdefg", 4, 30},
                          Case{"xyz", 2, 1000}}) {
        std::string expected = c.seed;
        const std::size_t start = expected.size() - c.back;
        for (std::uint64_t k = 0; k < c.length; ++k) {
            expected.push_back(expected[start + k]);
        }
        Window window;
        window.targetLength = expected.size();
        window.data = Text(c.seed);
        window.inst = {kAddSized};
        PutInt(window.inst, c.seed.size());
        window.inst.push_back(CopySized(1));
        PutInt(window.inst, c.length);
        window.addr = Ints({c.back}); // VCD_HERE: distance back from the current position
        EXPECT_EQ(DecodeOk({}, Delta({window})), expected) << c.seed << " back " << c.back;
    }
}

TEST(VcdiffFormat, CopyRunsFromSourceIntoTheTargetBeingWritten) {
    const Bytes source = Text("0123456789");
    Window window;
    window.indicator = 0x01;
    window.segmentSize = 10;
    window.targetLength = 10;
    window.data = Text("ab");
    window.inst = {Add(2), Copy(8, 0)};
    window.addr = Ints({6});
    EXPECT_EQ(DecodeOk(source, Delta({window})), "ab6789ab67");
}

TEST(VcdiffFormat, SourceSegmentIsOffsetIntoTheSource) {
    const Bytes source = Text("XXXXhelloYYYY");
    Window window;
    window.indicator = 0x01;
    window.segmentSize = 5;
    window.segmentPosition = 4;
    window.targetLength = 5;
    window.inst = {CopySized(0), 5};
    window.addr = Ints({0});
    EXPECT_EQ(DecodeOk(source, Delta({window})), "hello");
}

TEST(VcdiffFormat, AddressModesUseTheCachesAndResetEachWindow) {
    std::mt19937 rng(3);
    const Bytes source = RandomBytes(rng, 1000);
    Window first;
    first.indicator = 0x01;
    first.segmentSize = 1000;
    first.inst = {Copy(4, 0), Copy(4, 2), Copy(4, 3), Copy(4, 6), Copy(4, 1), Copy(4, 0), Copy(4, 7)};
    first.addr = Concat({Ints({100, 50, 0}), Bytes{100}, Ints({1016 - 500, 300}), Bytes{300 - 256}});
    const Bytes expectedFirst = Concat({Slice(source, 100, 4), Slice(source, 150, 4), Slice(source, 150, 4),
                                        Slice(source, 100, 4), Slice(source, 500, 4), Slice(source, 300, 4),
                                        Slice(source, 300, 4)});
    first.targetLength = expectedFirst.size();
    first.Checksum(expectedFirst);

    Window second; // a fresh cache: "same" slot 100 and "near" slot 0 hold address 0 again
    second.indicator = 0x01;
    second.segmentSize = 1000;
    second.inst = {Copy(4, 6), Copy(4, 2)};
    second.addr = Bytes{100, 7};
    const Bytes expectedSecond = Concat({Slice(source, 0, 4), Slice(source, 7, 4)});
    second.targetLength = expectedSecond.size();
    second.Checksum(expectedSecond);

    const std::string decoded = DecodeOk(source, Delta({first, second}));
    EXPECT_EQ(decoded, std::string(expectedFirst.begin(), expectedFirst.end()) +
                           std::string(expectedSecond.begin(), expectedSecond.end()));
}

TEST(VcdiffFormat, DoubleInstructionsOfTheDefaultTable) {
    const Bytes source = Text("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    Window window;
    window.indicator = 0x01;
    window.segmentSize = source.size();
    window.inst = {AddThenCopy(2, 6, 0), Copy4ThenAdd1(0), AddThenCopy(1, 4, 6), AddThenCopy(4, 5, 5)};
    window.data = Text("ab" "c" "d" "efgh");
    // near[0] = 10 after the first copy, near[1] = 20, same[10] = 10; the last copy is near slot 3
    // (still 0) plus 3.
    window.addr = Concat({Ints({10, 20}), Bytes{10}, Ints({3})});
    window.targetLength = 2 + 6 + 4 + 1 + 1 + 4 + 4 + 5;
    EXPECT_EQ(DecodeOk(source, Delta({window})), "abKLMNOP" "UVWX" "c" "d" "KLMN" "efgh" "DEFGH");
}

TEST(VcdiffFormat, EmptyWindowsAndHeaderOnlyDeltas) {
    EXPECT_EQ(DecodeOk({}, Header()), "");
    Window empty;
    empty.Checksum({});
    Window word;
    word.targetLength = 3;
    word.data = Text("abc");
    word.inst = {Add(3)};
    CollectingSink sink;
    const VcdiffResult result = Decode({}, Delta({empty, word, empty}), sink);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(std::string(sink.bytes.begin(), sink.bytes.end()), "abc");
    EXPECT_EQ(sink.writes, 1); // nothing is handed over for an empty window
}

TEST(VcdiffFormat, ApplicationHeaderIsSkipped) {
    Window window;
    window.targetLength = 2;
    window.data = Text("ok");
    window.inst = {Add(2)};
    Bytes delta = Header(0x04);
    PutInt(delta, 3);
    delta.insert(delta.end(), {'a', '/', 'b'});
    window.AppendTo(delta);
    EXPECT_EQ(DecodeOk({}, delta), "ok");
}

// ---- malformed deltas ----

Window Simple() {
    Window window;
    window.targetLength = 3;
    window.data = Text("abc");
    window.inst = {Add(3)};
    return window;
}

template <typename Change>
Bytes With(Change change) {
    Window window = Simple();
    change(window);
    return Delta({window});
}

// A window whose body is given raw, after its indicator byte.
Bytes RawWindow(std::uint8_t indicator, const Bytes& afterIndicator) {
    Bytes out = Header();
    out.push_back(indicator);
    out.insert(out.end(), afterIndicator.begin(), afterIndicator.end());
    return out;
}

Bytes WithDeltaLength(const Bytes& body) {
    Bytes out;
    PutInt(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

struct BadCase {
    const char* name;
    Bytes delta;
    const char* expectedInError;
};

const Bytes kTooBig = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};

std::vector<BadCase> BadCases() {
    const Bytes source10 = Text("0123456789");
    return {
        {"BadMagic", {0xD6, 0xC3, 0xC5, 0x00, 0x00}, "magic"},
        {"Version1", {0xD6, 0xC3, 0xC4, 0x01, 0x00}, "version"},
        {"TooShortForHeader", {0xD6, 0xC3, 0xC4}, "too short"},
        {"SecondaryCompressor", Concat({Header(0x01), Bytes{2}}), "secondary compression"},
        {"CustomCodeTable", Concat({Header(0x02), Bytes{4, 0, 0, 0, 0}}), "code table"},
        {"UnknownHeaderBit", Header(0x08), "unknown header"},
        {"ApplicationHeaderTooLong", Concat({Header(0x04), Ints({100}), Bytes{1, 2}}), "application header"},
        {"TargetWindow", With([](Window& w) { w.indicator = 0x02; }), "VCD_TARGET"},
        {"SourceAndTargetWindow", With([](Window& w) { w.indicator = 0x03; }), "VCD_TARGET"},
        {"UnknownWindowBit", With([](Window& w) { w.indicator = 0x08; }), "unknown window"},
        {"CompressedData", With([](Window& w) { w.deltaIndicator = 0x01; }), "secondary compression"},
        {"CompressedInstructions", With([](Window& w) { w.deltaIndicator = 0x02; }), "secondary compression"},
        {"CompressedAddresses", With([](Window& w) { w.deltaIndicator = 0x04; }), "secondary compression"},
        {"UnknownDeltaBit", With([](Window& w) { w.deltaIndicator = 0x10; }), "unknown delta"},
        {"TargetLengthOverflows", RawWindow(0x00, WithDeltaLength(Concat({kTooBig, Bytes{0, 0, 0, 0}}))),
         "64 bits"},
        {"DeltaLengthOverflows", RawWindow(0x00, kTooBig), "64 bits"},
        {"DeltaLengthBeyondFile", RawWindow(0x00, Ints({50, 3, 0})), "cut short"},
        {"SectionsDoNotAddUp", RawWindow(0x00, WithDeltaLength(Concat({Ints({3, 0, 3, 1, 0}), Text("abc"),
                                                                        Bytes{Add(3)}, Bytes{9}}))),
         "add up"},
        {"SegmentBeyondSource", With([](Window& w) { w.indicator = 0x01, w.segmentSize = 5, w.segmentPosition = 8; }),
         "outside"},
        {"SegmentSizeHuge", With([](Window& w) { w.indicator = 0x01, w.segmentSize = UINT64_MAX, w.segmentPosition = 1; }),
         "outside"},
        {"CopyFromTheFuture", With([](Window& w) { w.inst = {Copy(4, 0)}, w.addr = Ints({0}), w.targetLength = 4; }),
         "not yet decoded"},
        {"CopyFromTheCurrentPosition",
         With([](Window& w) { w.inst = {Add(3), Copy(4, 0)}, w.addr = Ints({3}), w.targetLength = 7; }),
         "not yet decoded"},
        {"CopyBeyondSegment",
         With([](Window& w) {
             w.indicator = 0x01, w.segmentSize = 4, w.inst = {Copy(4, 0)}, w.addr = Ints({4}), w.data.clear(),
             w.targetLength = 4;
         }),
         "not yet decoded"},
        {"HereBeforeStart", With([](Window& w) { w.inst = {Add(3), Copy(4, 1)}, w.addr = Ints({4}), w.targetLength = 7; }),
         "before the start"},
        {"NearAddressOverflows",
         With([](Window& w) {
             w.inst = {Add(3), Copy(4, 0), Copy(4, 2)}, w.addr = Ints({1, UINT64_MAX}), w.targetLength = 11;
         }),
         "64 bits"},
        {"AddPastWindow", With([](Window& w) { w.targetLength = 2; }), "past the end"},
        {"AddPastData", With([](Window& w) { w.data = Text("ab"); }), "ADD"},
        {"RunWithoutData", With([](Window& w) { w.data.clear(), w.inst = {kRunSized, 3}; }), "RUN"},
        {"SizeCutShort", With([](Window& w) { w.inst = {kAddSized}; }), "cut short"},
        {"SizeOverflows", With([](Window& w) { w.inst = Concat({Bytes{kAddSized}, kTooBig}); }), "64 bits"},
        {"AddressCutShort", With([](Window& w) { w.inst = {Add(3), Copy(4, 6)}, w.targetLength = 7; }), "cut short"},
        {"TooFewBytesProduced", With([](Window& w) { w.targetLength = 4; }), "produce"},
        {"UnusedData", With([](Window& w) { w.data = Text("abcd"); }), "no instruction uses"},
        {"UnusedAddresses", With([](Window& w) { w.addr = {0}; }), "no instruction uses"},
        {"AdlerMismatch", With([](Window& w) { w.Checksum(Text("abd")); }), "Adler-32"},
        {"AdlerCutShort", RawWindow(0x04, WithDeltaLength(Concat({Ints({0, 0, 0, 0, 0}), Bytes{0, 0}}))),
         "cut short"},
        {"WindowIndicatorOnly", RawWindow(0x00, {}), "cut short"},
    };
}

TEST(VcdiffMalformed, EachIsRefusedWithAClearError) {
    const Bytes source = Text("0123456789");
    for (const BadCase& bad : BadCases()) {
        CollectingSink sink;
        const VcdiffResult result = Decode(source, bad.delta, sink);
        EXPECT_FALSE(result.ok) << bad.name;
        EXPECT_NE(result.error.find(bad.expectedInError), std::string::npos) << bad.name << ": " << result.error;
        EXPECT_TRUE(sink.bytes.empty()) << bad.name;
    }
}

TEST(VcdiffMalformed, LimitCountsEveryWindow) {
    const Window window = Simple();
    const Bytes delta = Delta({window, window, window});
    CollectingSink sink;
    const VcdiffResult result = Decode({}, delta, sink, 8);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("limit"), std::string::npos) << result.error;
    EXPECT_EQ(result.targetSize, 6u);
    EXPECT_EQ(std::string(sink.bytes.begin(), sink.bytes.end()), "abcabc");
}

TEST(VcdiffMalformed, NullInputsAreEmpty) {
    CollectingSink sink;
    const VcdiffResult noDelta = DecodeVcdiff(nullptr, 0, nullptr, 0, sink, 100);
    EXPECT_FALSE(noDelta.ok);
    const Bytes delta = Delta({Simple()});
    const VcdiffResult noSource = DecodeVcdiff(nullptr, 0, delta.data(), delta.size(), sink, 100);
    EXPECT_TRUE(noSource.ok) << noSource.error;
}

} // namespace
} // namespace hotfix::engine::testing
