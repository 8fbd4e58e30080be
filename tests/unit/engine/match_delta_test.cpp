// The match delta: encoder (tools/) and decoder (engine/) on generated pairs, the x86 call
// transform, the PE code ranges, and damaged content.
#include "engine/branch_filter.h"
#include "engine/match_delta.h"
#include "engine/patch_apply.h"
#include "engine/rtp_format.h"
#include "tools/match_delta_encoder.h"
#include "tools/pe_code_ranges.h"
#include "fake_engine_file_system.h"
#include "rtp_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

namespace hotfix::engine {
namespace {

using Bytes = std::vector<std::uint8_t>;

class CollectingSink : public TargetSink {
public:
    bool Write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    Bytes bytes;
};

Bytes Random(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Code-like bytes: text of a few opcodes, with a call (E8 rel32) to one of a few targets every
// 16 bytes or so, the targets given as offsets in the buffer.
Bytes Code(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    Bytes bytes;
    while (bytes.size() + 5 <= size) {
        if (random() % 3 == 0) {
            const std::uint32_t target = (random() % 8) * 512;
            const std::uint32_t rel = target - static_cast<std::uint32_t>(bytes.size() + 5);
            bytes.push_back(0xE8);
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(rel >> (8 * i)));
        } else {
            static const std::uint8_t kOps[] = {0x55, 0x8B, 0xEC, 0x83, 0xC4, 0x5D, 0xC3, 0x90, 0x89, 0x45};
            for (int i = 0; i < 11; ++i) bytes.push_back(kOps[random() % sizeof kOps]);
        }
    }
    bytes.resize(size, 0xCC);
    return bytes;
}

struct Section {
    const char* name;
    std::uint32_t characteristics;
    Bytes data;
};

// A minimal PE image for i386: headers in the first 0x400 bytes, then each section's raw data.
Bytes Pe(const std::vector<Section>& sections, std::uint16_t machine = 0x014C) {
    Bytes image(0x400, 0);
    auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put(0x3C, 0x80, 4);
    std::memcpy(&image[0x80], "PE\0\0", 4);
    put(0x84, machine, 2);
    put(0x86, static_cast<std::uint32_t>(sections.size()), 2);
    put(0x94, 0xE0, 2);
    std::size_t header = 0x80 + 24 + 0xE0;
    std::uint32_t rva = 0x1000;
    for (const Section& section : sections) {
        std::memcpy(&image[header], section.name, std::strlen(section.name));
        put(header + 8, static_cast<std::uint32_t>(section.data.size()), 4);
        put(header + 12, rva, 4);
        put(header + 16, static_cast<std::uint32_t>(section.data.size()), 4);
        put(header + 20, static_cast<std::uint32_t>(image.size()), 4);
        put(header + 36, section.characteristics, 4);
        image.insert(image.end(), section.data.begin(), section.data.end());
        header += 40;
        rva += 0x10000;
    }
    return image;
}

constexpr std::uint32_t kCode = 0x60000020, kData = 0xC0000040;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t size) {
    return Bytes(bytes.begin() + from, bytes.begin() + from + size);
}

MatchDeltaResult Decode(const Bytes& content, Bytes old, std::uint64_t newSize, CollectingSink& sink) {
    MemoryReadableFile file(content.data(), content.size());
    return DecodeMatchDelta(file, 0, content.size(), old.data(), old.size(), newSize, sink);
}

struct Pair {
    const char* name;
    Bytes old, next;
    double maxShare; // content size at most this share of the new file (+ header): matching works
};

std::vector<Pair> Pairs() {
    const Bytes text = Random(1, 30000), code = Code(2, 24000), more = Code(3, 3000);
    Bytes patched = text;
    for (std::size_t i = 100; i < patched.size(); i += 997) patched[i] ^= 0x5A; // scattered edits
    return {
        {"both empty", {}, {}, 1},
        {"from nothing", {}, Slice(text, 0, 5000), 1.1},
        {"to nothing", Slice(text, 0, 5000), {}, 1},
        {"identical", text, text, 0.02},
        {"all different", Random(4, 8000), Random(5, 9000), 1.1},
        {"scattered edits", text, patched, 0.1},
        {"block inserted", text, Join({Slice(text, 0, 12000), Random(6, 700), Slice(text, 12000, 18000)}), 0.1},
        {"block deleted", text, Join({Slice(text, 0, 9000), Slice(text, 11000, 19000)}), 0.05},
        {"blocks moved", text, Join({Slice(text, 20000, 10000), Slice(text, 0, 20000)}), 0.05},
        {"PE, a function added and code moved", Pe({{".text", kCode, code}, {".data", kData, Slice(text, 0, 4000)}}),
         Pe({{".text", kCode, Join({Slice(code, 0, 9000), more, Slice(code, 9000, 15000)})},
             {".data", kData, Slice(text, 0, 4000)}}),
         0.2},
    };
}

TEST(MatchDelta, DecodesWhatTheEncoderMakes) {
    for (const Pair& pair : Pairs()) {
        const tools::MatchDeltaEncoding encoded = tools::EncodeMatchDelta(pair.old, pair.next);
        ASSERT_TRUE(encoded.ok) << pair.name;
        EXPECT_EQ(tools::EncodeMatchDelta(pair.old, pair.next).bytes, encoded.bytes) << pair.name << ": not deterministic";
        CollectingSink sink;
        const MatchDeltaResult result = Decode(encoded.bytes, pair.old, pair.next.size(), sink);
        EXPECT_TRUE(result.ok) << pair.name << ": " << result.error;
        EXPECT_TRUE(sink.bytes == pair.next) << pair.name;
        EXPECT_LE(encoded.bytes.size(), pair.maxShare * pair.next.size() + 120) << pair.name;
        // The builder skips the encoding below this size: it must be a true floor.
        EXPECT_GE(encoded.bytes.size(), tools::MatchDeltaSizeAtLeast(pair.old, pair.next)) << pair.name;
    }
}

// Damage anywhere is a clean error, or (LZMA2 carries no checksum of its own) bytes of the
// declared size that the engine's SHA-256 check then refuses; never a crash or an over-read.
TEST(MatchDelta, DamagedContentFailsCleanly) {
    const Pair pair = Pairs().back(); // the PE pair: code ranges and the call transform in play
    const Bytes content = tools::EncodeMatchDelta(pair.old, pair.next).bytes;
    for (std::size_t cut = 0; cut < content.size(); ++cut) {
        CollectingSink sink;
        const MatchDeltaResult result = Decode(Slice(content, 0, cut), pair.old, pair.next.size(), sink);
        EXPECT_FALSE(result.ok) << "cut at " << cut;
        EXPECT_FALSE(result.error.empty()) << "cut at " << cut;
    }
    int rejected = 0, cases = 0;
    for (const std::uint8_t mask : {0x01, 0x80}) {
        for (std::size_t at = 0; at < content.size(); ++at, ++cases) {
            Bytes damaged = content;
            damaged[at] ^= mask;
            CollectingSink sink;
            const MatchDeltaResult result = Decode(damaged, pair.old, pair.next.size(), sink);
            if (result.ok) EXPECT_EQ(sink.bytes.size(), pair.next.size()) << at;
            else ++rejected;
            EXPECT_EQ(result.ok, result.error.empty()) << at;
        }
    }
    EXPECT_GT(rejected * 2, cases) << "most damage is caught by the decoder itself";
    // The wrong old file, or a new size other than the one encoded, is refused too.
    CollectingSink sink;
    EXPECT_FALSE(Decode(content, Slice(pair.old, 0, pair.old.size() - 1), pair.next.size(), sink).ok);
    EXPECT_FALSE(Decode(content, pair.old, pair.next.size() + 1, sink).ok);
}

// Each field of the header, bent: the error names what is wrong.
TEST(MatchDelta, HeaderBoundsAreChecked) {
    const Pair pair = Pairs().back();
    const Bytes content = tools::EncodeMatchDelta(pair.old, pair.next).bytes;
    MatchDeltaHeader header;
    std::string error;
    ASSERT_TRUE(ParseMatchDeltaHeader(content.data(), content.size(), content.size(), pair.old.size(),
                                      pair.next.size(), header, error))
        << error;
    ASSERT_EQ(header.transform, BranchTransform::X86);
    ASSERT_EQ(header.oldRanges.size(), 1u);
    auto put = [](Bytes& bytes, std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    const std::size_t control = 12, difference = 32, firstRange = kMatchDeltaHeaderSize;
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        const char* expected;
    };
    const Case cases[] = {
        {"magic", [&](Bytes& b) { b[0] = 'X'; }, "known version"},
        {"version", [&](Bytes& b) { b[4] = 2; }, "known version"},
        {"transform", [&](Bytes& b) { b[5] = 7; }, "transform"},
        {"ranges without a transform", [&](Bytes& b) { b[5] = 0; }, "range count"},
        {"too many ranges", [&](Bytes& b) { put(b, 6, kMaxCodeRanges + 1, 2); }, "range count"},
        {"control stream not whole records", [&](Bytes& b) { put(b, control, header.streams[0].rawSize + 1, 8); },
         "fit the new file"},
        {"streams do not make the new size", [&](Bytes& b) { put(b, difference, header.streams[1].rawSize + 1, 8); },
         "fit the new file"},
        {"dictionary above the stream's size",
         [&](Bytes& b) { put(b, difference + 16, std::max<std::uint64_t>(header.streams[1].rawSize, 4096) + 1, 4); },
         "dictionary"},
        {"dictionary below liblzma's smallest", [&](Bytes& b) { put(b, control + 16, 4095, 4); }, "dictionary"},
        {"stored sizes do not fill the content", [&](Bytes& b) { put(b, control + 8, header.streams[0].storedSize + 1, 8); },
         "fill the content"},
        {"range outside the old file", [&](Bytes& b) { put(b, firstRange + 4, pair.old.size(), 4); }, "code ranges"},
        {"empty range", [&](Bytes& b) { put(b, firstRange + 4, 0, 4); }, "code ranges"},
    };
    for (const Case& c : cases) {
        Bytes damaged = content;
        c.damage(damaged);
        MatchDeltaHeader parsed;
        EXPECT_FALSE(ParseMatchDeltaHeader(damaged.data(), damaged.size(), damaged.size(), pair.old.size(),
                                           pair.next.size(), parsed, error))
            << c.name;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.name << ": " << error;
        CollectingSink sink;
        EXPECT_FALSE(Decode(damaged, pair.old, pair.next.size(), sink).ok) << c.name;
    }
}

// Inside the transaction: a match delta is applied; a damaged one (digest made right again)
// or a failing file operation rolls back to the old file. Where the old file is mapped, the
// decoder converts the mapping while the file itself is hashed.
TEST(MatchDelta, AppliesInsideTheTransaction) {
    const Pair pair = Pairs().back();
    const std::string oldFile(pair.old.begin(), pair.old.end()), newFile(pair.next.begin(), pair.next.end());
    PatchEntry entry;
    entry.path = "app.exe";
    entry.target = testing::DigestOf(newFile);
    entry.olds.push_back({testing::DigestOf(oldFile), {ContentMethod::MatchDelta, 0, 0, newFile.size()}});
    const Bytes patch = WritePatch({entry}, {tools::EncodeMatchDelta(pair.old, pair.next).bytes});
    const std::size_t streams = kRtpHeaderSize + 8 + 7 + 40 + 65 + kMatchDeltaHeaderSize + 24; // in the first stream
    std::string edited = oldFile;
    for (char& c : edited) c ^= 0x55;
    struct Case {
        const char* name;
        std::size_t flip;  // 0: none
        long failAt;       // 0: none
        bool raced;        // the old file is edited between the check and the build
        bool mapped;
        ApplyOutcome expected;
    } cases[] = {{"intact", 0, 0, false, false, ApplyOutcome::Applied},
                 {"damaged stream", streams, 0, false, false, ApplyOutcome::CorruptPatch},
                 {"an operation fails", 0, 12, false, false, ApplyOutcome::IoFailureRolledBack},
                 {"old file changed meanwhile", 0, 0, true, false, ApplyOutcome::NotApplicable},
                 {"intact, mapped", 0, 0, false, true, ApplyOutcome::Applied},
                 {"old file changed meanwhile, mapped", 0, 0, true, true, ApplyOutcome::NotApplicable}};
    for (const Case& c : cases) {
        Bytes bytes = patch;
        if (c.flip != 0) {
            bytes[c.flip] ^= 0x10;
            const Sha256Digest digest = Sha256Of(bytes.data(), bytes.size() - 32);
            std::memcpy(bytes.data() + bytes.size() - 32, digest.data(), 32);
        }
        testing::FakeEngineFileSystem fs;
        fs.PutFile("app.exe", oldFile);
        fs.failAt = c.failAt;
        fs.mapFiles = c.mapped;
        if (c.raced)
            fs.beforeStep = [&](const std::string& what) {
                if (what == std::string("create app.exe") + kStagedSuffix) fs.PutFile("app.exe", edited);
            };
        MemoryReadableFile file(bytes.data(), bytes.size());
        ApplyListener quiet;
        const ApplyResult result = ApplyPatch(fs, file, quiet);
        fs.beforeStep = nullptr;
        EXPECT_EQ(result.outcome, c.expected) << c.name << ": " << result.message;
        const std::string expected = c.expected == ApplyOutcome::Applied ? newFile : c.raced ? edited : oldFile;
        EXPECT_EQ(fs.Files(), (std::map<std::string, std::string>{{"app.exe", expected}})) << c.name;
    }
}

TEST(BranchFilter, RestoresExactlyWholeOrPieceByPiece) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        // Dense in E8 bytes and in operands with a top byte of 00 or FF.
        Bytes file(1 + random() % 3000);
        for (std::uint8_t& b : file) {
            const unsigned kind = random() % 4;
            b = kind == 0 ? 0xE8 : kind == 1 ? 0x00 : kind == 2 ? 0xFF : static_cast<std::uint8_t>(random());
        }
        std::vector<CodeRange> ranges;
        for (std::uint32_t at = random() % 50; at < file.size(); at += 1 + random() % 700) {
            const std::uint32_t length = std::min<std::uint32_t>(1 + random() % 900, static_cast<std::uint32_t>(file.size()) - at);
            ranges.push_back({at, length, static_cast<std::uint32_t>(random())});
            at += length;
        }
        ASSERT_TRUE(ValidCodeRanges(ranges, file.size()));
        Bytes absolute = file;
        FilterBranches(absolute.data(), absolute.size(), ranges, BranchDirection::ToAbsolute);
        for (const std::size_t piece : {std::size_t(1), std::size_t(4), std::size_t(5), std::size_t(4096)}) {
            Bytes restored;
            StreamingBranchFilter filter(
                ranges, BranchDirection::ToRelative,
                [](void* out, const std::uint8_t* data, std::size_t size) {
                    static_cast<Bytes*>(out)->insert(static_cast<Bytes*>(out)->end(), data, data + size);
                    return true;
                },
                &restored);
            for (std::size_t at = 0; at < absolute.size(); at += piece)
                ASSERT_TRUE(filter.Write(absolute.data() + at, std::min(piece, absolute.size() - at)));
            ASSERT_TRUE(filter.Finish());
            ASSERT_TRUE(restored == file) << "round " << round << ", pieces of " << piece;
        }
    }
}

TEST(BranchFilter, ACallMovedWithItsTargetUnchangedBecomesTheSameBytes) {
    // call +0x100 at offset 0x10 and call +0xF0 at 0x20 both reach 0x115: one absolute target.
    Bytes code(0x40, 0x90);
    const std::uint8_t first[] = {0xE8, 0x00, 0x01, 0x00, 0x00}, second[] = {0xE8, 0xF0, 0x00, 0x00, 0x00};
    std::memcpy(&code[0x10], first, 5);
    std::memcpy(&code[0x20], second, 5);
    const std::vector<CodeRange> ranges = {{0, 0x40, 0x1000}};
    FilterBranches(code.data(), code.size(), ranges, BranchDirection::ToAbsolute);
    EXPECT_TRUE(Slice(code, 0x10, 5) == Slice(code, 0x20, 5));
    EXPECT_EQ(code[0x11] | code[0x12] << 8 | code[0x13] << 16 | code[0x14] << 24, 0x1115);
}

TEST(PeCodeRanges, FindsExecutableSectionsOnly) {
    const Bytes code = Code(9, 3000), data = Random(10, 2000);
    const Bytes dll = Pe({{".text", kCode, code}, {".rdata", 0x40000040, data}, {".init", 0x20000020, data}});
    const Bytes amd64 = Pe({{".text", kCode, code}}, 0x8664);
    Bytes truncated = dll;
    truncated.resize(0x80 + 24 + 0xE0 + 40); // the section table cut after one of three
    Bytes beyond = dll;
    beyond[0x80 + 24 + 0xE0 + 20 + 1] = 0x7F; // .text's raw data far past the end of the file
    struct Case {
        const char* name;
        Bytes image;
        std::vector<CodeRange> expected;
    };
    const Case cases[] = {
        {"code and data sections", dll, {{0x400, 3000, 0x1000}, {0x400 + 5000, 2000, 0x21000}}},
        {"x64", amd64, {{0x400, 3000, 0x1000}}},
        {"other machine", Pe({{".text", kCode, code}}, 0x01C4), {}},
        {"not a PE image", Random(11, 5000), {}},
        {"section table cut short", truncated, {}},
        {"raw data outside the file", beyond, {{0x400 + 5000, 2000, 0x21000}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tools::PeCodeRanges(c.image.data(), c.image.size()), c.expected) << c.name;
}

} // namespace
} // namespace hotfix::engine
