// Writing payloads out of a real executable's "PATCH" resources: by any letter case, over an
// existing file, a zero-byte one, and the cases that must write nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include "harness/helpers.h"
#include "harness/test_paths.h"
#include "patch/payload_store.h"
#include "adapters/payload_win32.h"

namespace hotfix::testing {
namespace {

// The name under which `path` is stored in its directory.
std::string StoredName(const std::string& path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = ::FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return "";
    ::FindClose(find);
    return data.cFileName;
}

class PayloadTest : public ::testing::Test {
protected:
    HMODULE carrier = nullptr;
    std::string directory;

    void SetUp() override {
        carrier = ::LoadLibraryExA((TestProgramDirectory() + "hotfix-payload-carrier.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(carrier, nullptr);
        char temp[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, temp);
        directory = std::string(temp) + "hotfix-payload-" + std::to_string(::GetCurrentProcessId()) + "\\";
        ::CreateDirectoryA(directory.c_str(), nullptr);
    }
    void TearDown() override {
        for (const char* name : {"patch.exe", "Patchw32.dll", "empty.bin", "HOTFIX_KTV410_722_HOTFIX1.RTP"})
            ::DeleteFileA((directory + name).c_str());
        ::RemoveDirectoryA(directory.c_str());
        if (carrier) ::FreeLibrary(carrier);
    }
    int Extract(const std::string& dir, const std::string& name) {
        win32::Win32PayloadPlatform platform(carrier);
        return ExtractPayload(platform, dir, name);
    }
};

TEST_F(PayloadTest, AnyLetterCaseFindsThePayloadAndTheFileBearsTheCallersSpelling) {
    const std::string engine = ReadWholeFile(TestProgramDirectory() + "hotfix-recording-engine.exe");
    ASSERT_FALSE(engine.empty());
    for (const std::string name : {"patch.exe", "PATCH.EXE", "Patch.Exe"}) {
        ::DeleteFileA((directory + "patch.exe").c_str());
        EXPECT_EQ(Extract(directory, name), 1) << name;
        EXPECT_EQ(StoredName(directory + name), name);
        EXPECT_EQ(ReadWholeFile(directory + name), engine) << name;
    }
    EXPECT_EQ(Extract(directory, "Patchw32.dll"), 1);
    EXPECT_EQ(ReadWholeFile(directory + "Patchw32.dll"), ReadWholeFile(TestProgramDirectory() + "hotfix_stand_in_library.dll"));
}

TEST_F(PayloadTest, ExistingFileIsReplacedWhole) {
    const std::string path = directory + "HOTFIX_KTV410_722_HOTFIX1.RTP";
    WriteWholeFile(path, std::string(100000, 'x'));
    EXPECT_EQ(Extract(directory, "hotfix_ktv410_722_hotfix1.rtp"), 1);
    EXPECT_EQ(ReadWholeFile(path), "first patch file of the carrier\n");
}

TEST_F(PayloadTest, ZeroBytePayloadGivesAnEmptyFile) {
    EXPECT_EQ(Extract(directory, "empty.bin"), 1);
    ASSERT_TRUE(FileExists(directory + "empty.bin"));
    EXPECT_EQ(ReadWholeFile(directory + "empty.bin"), "");
}

TEST_F(PayloadTest, UnknownNameWritesNothing) {
    EXPECT_EQ(Extract(directory, "HOTFIX_KTV430_722_HOTFIX1.RTP"), 0);
    EXPECT_FALSE(FileExists(directory + "HOTFIX_KTV430_722_HOTFIX1.RTP"));
}

TEST_F(PayloadTest, MissingDirectoryGivesZero) {
    EXPECT_EQ(Extract(directory + "missing\\", "patch.exe"), 0);
}

TEST_F(PayloadTest, TargetHeldOpenIsLeftAsItWas) {
    const std::string path = directory + "patch.exe";
    WriteWholeFile(path, "held");
    HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Extract(directory, "patch.exe"), 0);
    ::CloseHandle(held);
    EXPECT_EQ(ReadWholeFile(path), "held");
}

TEST_F(PayloadTest, DirectoryWithoutBackslashIsJoinedAsItStands) {
    const std::string bare = directory.substr(0, directory.size() - 1);   // ...\hotfix-payload-N
    EXPECT_EQ(Extract(bare, "empty.bin"), 1);
    EXPECT_TRUE(FileExists(bare + "empty.bin"));
    ::DeleteFileA((bare + "empty.bin").c_str());
}

TEST_F(PayloadTest, ExecutableItselfIsTheDefaultModule) {
    // This test program carries no payloads at all.
    win32::Win32PayloadPlatform own;
    EXPECT_EQ(ExtractPayload(own, directory, "patch.exe"), 0);
    EXPECT_FALSE(FileExists(directory + "patch.exe"));
}

} // namespace
} // namespace hotfix::testing
