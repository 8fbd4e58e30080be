// Writing a payload out: 1 only when every byte reached a closed file; a failed write or close
// leaves no partial file behind.
#include <gtest/gtest.h>

#include <map>

#include "patch/payload_store.h"

namespace hotfix {
namespace {

class FakePayloadPlatform final : public PayloadPlatform {
public:
    std::map<std::string, std::string> payloads;   // exact names; tests ask in any case through Upper
    bool openWorks = true, writeWorks = true, closeWorks = true;
    std::vector<std::string> events;
    std::string written;

    std::optional<PayloadBytes> LockPayload(const std::string& name) override {
        std::string upper = name;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        auto it = payloads.find(upper);
        if (it == payloads.end()) return std::nullopt;
        return PayloadBytes{it->second.data(), static_cast<std::uint32_t>(it->second.size())};
    }
    bool OpenTarget(const std::string& path) override {
        events.push_back("open " + path);
        return openWorks;
    }
    bool WriteTarget(const void* data, std::uint32_t size) override {
        events.push_back("write " + std::to_string(size));
        if (writeWorks) written.assign(static_cast<const char*>(data), size);
        return writeWorks;
    }
    bool CloseTarget() override {
        events.push_back("close");
        return closeWorks;
    }
    void DeleteTarget(const std::string& path) override { events.push_back("delete " + path); }
};

class ExtractPayloadTest : public ::testing::Test {
protected:
    FakePayloadPlatform platform;
    void SetUp() override {
        platform.payloads["PATCH.EXE"] = "MZ engine";
        platform.payloads["EMPTY.RTP"] = "";
    }
};

TEST_F(ExtractPayloadTest, WritesUnderTheCallersSpellingInOneWrite) {
    EXPECT_EQ(ExtractPayload(platform, "C:\\App\\", "patch.exe"), 1);
    const std::vector<std::string> expected = {"open C:\\App\\patch.exe", "write 9", "close"};
    EXPECT_EQ(platform.events, expected);
    EXPECT_EQ(platform.written, "MZ engine");
}

TEST_F(ExtractPayloadTest, ZeroBytePayloadGivesAnEmptyFile) {
    EXPECT_EQ(ExtractPayload(platform, "C:\\App\\", "empty.rtp"), 1);
    EXPECT_EQ(platform.events.back(), "close");
}

TEST_F(ExtractPayloadTest, MissingPayloadOpensNothing) {
    EXPECT_EQ(ExtractPayload(platform, "C:\\App\\", "nothing.rtp"), 0);
    EXPECT_TRUE(platform.events.empty());
}

TEST_F(ExtractPayloadTest, UnopenableTargetIsNotDeleted) {
    platform.openWorks = false;
    EXPECT_EQ(ExtractPayload(platform, "C:\\App\\", "patch.exe"), 0);
    EXPECT_EQ(platform.events, std::vector<std::string>{"open C:\\App\\patch.exe"});
}

TEST_F(ExtractPayloadTest, FailedWriteOrCloseDeletesThePartialFile) {
    for (int failing = 0; failing < 2; ++failing) {
        FakePayloadPlatform p;
        p.payloads["PATCH.EXE"] = "MZ engine";
        (failing == 0 ? p.writeWorks : p.closeWorks) = false;
        EXPECT_EQ(ExtractPayload(p, "C:\\App\\", "patch.exe"), 0);
        const std::vector<std::string> expected = {"open C:\\App\\patch.exe", "write 9", "close",
                                                   "delete C:\\App\\patch.exe"};
        EXPECT_EQ(p.events, expected) << failing;
    }
}

} // namespace
} // namespace hotfix
