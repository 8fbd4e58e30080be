// Placing a payload: 1 only when the file was written fresh, is held and holds the payload's
// bytes; at each failing step nothing of the call's is left. Removing it: through the hold,
// retried a while.
#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "patch/fake_patch_ports.h"
#include "patch/payload_store.h"

namespace hotfix {
namespace {

class FakePayloadPlatform final : public PayloadPlatform {
public:
    std::map<std::string, std::string> payloads;   // upper-case names
    std::string failing;                           // "clear", "write" or "hold": that step fails
    std::deque<std::uint32_t> deleteErrors;        // given by DeleteHeld before it succeeds
    std::vector<std::string> events;
    std::map<std::string, std::string> held;       // path -> bytes

    std::optional<PayloadBytes> LockPayload(const std::string& name) override {
        std::string upper = name;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        auto it = payloads.find(upper);
        if (it == payloads.end()) return std::nullopt;
        return PayloadBytes{it->second.data(), static_cast<std::uint32_t>(it->second.size())};
    }
    bool ClearTarget(const std::string& directory, const std::string& name) override {
        events.push_back("clear " + directory + name);
        return failing != "clear";
    }
    bool WriteTarget(const std::string& directory, const std::string& name, const PayloadBytes& payload) override {
        events.push_back("write " + directory + name + " " + std::to_string(payload.size));
        return failing != "write";
    }
    bool HoldTarget(const std::string& directory, const std::string& name, const PayloadBytes& payload) override {
        events.push_back("hold " + directory + name);
        if (failing == "hold") return false;
        held[directory + name].assign(static_cast<const char*>(payload.data), payload.size);
        return true;
    }
    std::uint32_t DeleteHeld(const std::string& directory, const std::string& name) override {
        if (!deleteErrors.empty()) {
            const std::uint32_t error = deleteErrors.front();
            deleteErrors.pop_front();
            return error;
        }
        return held.erase(directory + name) ? 0 : 2;
    }
};

const char kDir[] = "C:\\App\\";

TEST(ExtractPayloadTest, EachStepMustSucceedAndAFailedOneLeavesNothingOfOurs) {
    struct Case {
        const char* name;
        const char* payload;   // asked for
        const char* failing;
        int result;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"placed and held, under the caller's spelling", "patch.exe", "", 1,
         {"clear C:\\App\\patch.exe", "write C:\\App\\patch.exe 9", "hold C:\\App\\patch.exe"}},
        {"a zero-byte payload", "empty.rtp", "", 1,
         {"clear C:\\App\\empty.rtp", "write C:\\App\\empty.rtp 0", "hold C:\\App\\empty.rtp"}},
        {"no such payload", "nothing.rtp", "", 0, {}},
        {"what stands there may not be removed", "patch.exe", "clear", 0, {"clear C:\\App\\patch.exe"}},
        {"the write fails", "patch.exe", "write", 0, {"clear C:\\App\\patch.exe", "write C:\\App\\patch.exe 9"}},
        {"not held, or not the payload's bytes", "patch.exe", "hold", 0,
         {"clear C:\\App\\patch.exe", "write C:\\App\\patch.exe 9", "hold C:\\App\\patch.exe", "clear C:\\App\\patch.exe"}},
    };
    for (const Case& c : cases) {
        FakePayloadPlatform platform;
        platform.payloads = {{"PATCH.EXE", "MZ engine"}, {"EMPTY.RTP", ""}};
        platform.failing = c.failing;
        EXPECT_EQ(ExtractPayload(platform, kDir, c.payload), c.result) << c.name;
        EXPECT_EQ(platform.events, c.events) << c.name;
        EXPECT_EQ(platform.held.size(), c.result == 1 ? 1u : 0u) << c.name;
    }
}

TEST(RemovePayloadTest, ThroughTheHoldRetriedAWhile) {
    struct Case {
        const char* name;
        bool placed;
        std::deque<std::uint32_t> errors;
        Removal expected;
        std::size_t pauses;
    };
    const Case cases[] = {
        {"at once", true, {}, Removal::Removed, 0},
        {"nothing held", false, {}, Removal::Absent, 0},
        {"refused three times", true, {5, 32, 5}, Removal::Removed, 3},
        {"refused throughout", true, std::deque<std::uint32_t>(kRemovalAttempts, 5), Removal::Left, kRemovalAttempts - 1},
    };
    for (const Case& c : cases) {
        FakePayloadPlatform platform;
        platform.payloads = {{"PATCH.EXE", "MZ engine"}};
        fakes::FakeDisk disk;
        fakes::FakeFileOperations files{disk};
        if (c.placed) {
            ASSERT_EQ(ExtractPayload(platform, kDir, "patch.exe"), 1);
        }
        platform.deleteErrors = c.errors;
        EXPECT_EQ(RemovePayload(platform, files, kDir, "patch.exe"), c.expected) << c.name;
        EXPECT_EQ(files.pauses, std::vector<std::uint32_t>(c.pauses, kRemovalRetryMilliseconds)) << c.name;
    }
}

} // namespace
} // namespace hotfix
