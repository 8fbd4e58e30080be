#include "engine/patch_path.h"
#include "engine/rtp_format.h"
#include "rtp_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace hotfix::engine {
namespace {

using testing::BuildWholePatch;
using testing::DigestOf;
using testing::FileSpec;

std::vector<std::uint8_t> Sample() {
    return BuildWholePatch({{"app.exe", {"old one", "old two"}, true, "new app"},
                            {"data\\added.txt", {}, true, "added"},
                            {"gone.dll", {"to remove"}, false, ""}});
}

void Redigest(std::vector<std::uint8_t>& bytes) {
    Sha256Digest digest = Sha256Of(bytes.data(), bytes.size() - 32);
    std::memcpy(bytes.data() + bytes.size() - 32, digest.data(), 32);
}

TEST(RtpFormat, RoundTripKeepsEveryField) {
    std::vector<std::uint8_t> bytes = Sample();
    PatchModel model;
    std::string error;
    ASSERT_TRUE(ParsePatchBytes(bytes.data(), bytes.size(), model, error)) << error;
    ASSERT_EQ(model.entries.size(), 3u);
    const PatchEntry& change = model.entries[0];
    EXPECT_EQ(change.kind, EntryKind::Change);
    EXPECT_EQ(change.path, "app.exe");
    EXPECT_EQ(change.target, DigestOf("new app"));
    ASSERT_EQ(change.olds.size(), 2u);
    EXPECT_EQ(change.olds[1].digest, DigestOf("old two"));
    EXPECT_EQ(change.olds[0].content.method, ContentMethod::Whole);
    EXPECT_EQ(change.olds[0].content.rawSize, 7u);
    EXPECT_EQ(model.entries[1].kind, EntryKind::Add);
    EXPECT_EQ(model.entries[1].addContent.rawSize, 5u);
    EXPECT_EQ(model.entries[2].kind, EntryKind::Remove);
    EXPECT_EQ(model.entries[2].olds[0].digest, DigestOf("to remove"));
    EXPECT_EQ(model.fileSize, bytes.size());
    // Same input, same bytes.
    EXPECT_EQ(Sample(), bytes);
}

struct Corruption {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    bool redigest; // fix the digest afterwards, so the check behind it is reached
    const char* expected; // part of the error
};

TEST(RtpFormat, RejectsEveryDamage) {
    const std::size_t pathOffset = kRtpHeaderSize + 8; // first entry's path
    const Corruption cases[] = {
        {"magic", [](auto& b) { b[0] = 'X'; }, false, "magic"},
        {"version", [](auto& b) { b[8] = 2; }, false, "version"},
        {"flags", [](auto& b) { b[10] = 1; }, false, "flags"},
        {"truncated", [](auto& b) { b.pop_back(); }, false, "truncated"},
        {"extra byte", [](auto& b) { b.push_back(0); }, false, "truncated"},
        {"content byte", [](auto& b) { b[b.size() - 40] ^= 1; }, false, "digest"},
        {"digest byte", [](auto& b) { b.back() ^= 1; }, false, "digest"},
        {"zero entries", [](auto& b) { b[12] = 0; }, true, "entry count"},
        {"more entries than table", [](auto& b) { b[12] = 200; }, true, "entry count"},
        {"table past the end", [](auto& b) { b[26] = 0x7F; }, true, "table size"},
        {"table shorter", [](auto& b) { b[24] -= 1; }, true, ""},
        {"entry kind", [](auto& b) { b[kRtpHeaderSize] = 9; }, true, "kind"},
        {"path length zero", [](auto& b) { b[kRtpHeaderSize + 2] = 0; }, true, "path length"},
        {"absolute path", [=](auto& b) { b[pathOffset] = '\\'; }, true, "unsafe path"},
        {"stream path", [=](auto& b) { b[pathOffset + 3] = ':'; }, true, "unsafe path"},
        {"device path", [=](auto& b) { std::memcpy(&b[pathOffset], "nul.exe", 7); }, true, "unsafe path"},
        {"climbing path", [=](auto& b) { std::memcpy(&b[pathOffset], "..\\x.ex", 7); }, true, "unsafe path"},
        {"new size", [=](auto& b) { b[pathOffset + 7] = 0xFF; }, true, "size"},
        {"method", [=](auto& b) { b[pathOffset + 7 + 40 + 40] = 7; }, true, "content method"},
        {"content offset", [=](auto& b) { b[pathOffset + 7 + 40 + 40 + 1 + 3] = 0x10; }, true, "content area"},
        {"raw size", [=](auto& b) { b[pathOffset + 7 + 40 + 40 + 1 + 16] = 9; }, true, "size"},
    };
    for (const Corruption& c : cases) {
        std::vector<std::uint8_t> bytes = Sample();
        c.damage(bytes);
        if (c.redigest) Redigest(bytes);
        PatchModel model;
        std::string error;
        EXPECT_FALSE(ParsePatchBytes(bytes.data(), bytes.size(), model, error)) << c.name;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.name << ": " << error;
    }
}

TEST(RtpFormat, RejectsInconsistentEntries) {
    struct Case {
        const char* name;
        std::vector<FileSpec> fileSpecs;
        const char* expected;
    };
    const Case cases[] = {
        {"same file twice, other case", {{"a.dll", {"x"}, true, "y"}, {"A.DLL", {"x"}, true, "z"}}, "same file"},
        {"file and its directory", {{"lib", {"x"}, true, "y"}, {"lib\\a.dll", {}, true, "z"}}, "directory"},
        {"old version twice", {{"a.dll", {"x", "x"}, true, "y"}}, "twice"},
        {"unsafe path", {{"a\\..\\b", {"x"}, true, "y"}}, "unsafe"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = BuildWholePatch(c.fileSpecs);
        PatchModel model;
        std::string error;
        EXPECT_FALSE(ParsePatchBytes(bytes.data(), bytes.size(), model, error)) << c.name;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.name << ": " << error;
    }
}

TEST(RtpFormat, EveryTruncationIsRejected) {
    std::vector<std::uint8_t> bytes = Sample();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        PatchModel model;
        std::string error;
        EXPECT_FALSE(ParsePatchBytes(bytes.data(), size, model, error)) << size;
    }
}

TEST(PatchPath, SafeAndUnsafePaths) {
    const std::string safe[] = {"a", "app.exe", "bin\\lib\\x.dll", "cone\\x", "CONSOLE", "COM10", "a b.txt", "LPT", "x.nul",
                                ".hidden", "bin\\" + std::string(kFrontEndName), kFrontEndName + std::string(".txt")};
    for (const std::string& path : safe) {
        std::string why;
        EXPECT_TRUE(IsSafePatchPath(path, why)) << path << ": " << why;
    }
    const std::string unsafe[] = {"", "\\a", "\\\\server\\share\\a", "C:\\a", "C:a", "a:stream", "..\\a",
                                  "a\\..\\b", "a\\.\\b", ".", "a\\\\b", "a\\", "CON", "nul.txt", "Com1",
                                  "lpt9.log", "a\\aux", "prn .txt", "con.d\\x", "CONIN$", "a.", "a ", " a", "a/b", "a\tb",
                                  "a*b", "a?b", "a<b", "a>b", "a|b", "a\"b", "PROGRA~1", "x" + std::string(kStagedSuffix),
                                  kFrontEndName, PathKey(kLibraryName), "\xe9t\xe9", "a\x7f"};
    for (const std::string& path : unsafe) {
        std::string why;
        EXPECT_FALSE(IsSafePatchPath(path, why)) << "accepted: " << path;
    }
    EXPECT_FALSE([] {
        std::string why;
        return IsSafePatchPath(std::string(kMaxPatchPathLength + 1, 'a'), why);
    }());
}

} // namespace
} // namespace hotfix::engine
