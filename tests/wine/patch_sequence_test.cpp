// The Win32 patch sequence end to end: a carrier executable whose payloads are a recording
// stand-in for the engine, any library and two small patch files runs ApplyPatches on a real
// directory; the stand-in logs how it was run to a file outside that directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "harness/test_paths.h"

namespace hotfix::testing {
namespace {

struct EngineRun {
    std::string commandLine;
    std::string currentDirectory;
    std::vector<std::string> files;
};

std::vector<EngineRun> ReadRuns(const std::string& logPath) {
    std::ifstream in(logPath, std::ios::binary);
    std::vector<EngineRun> runs;
    std::string line;
    while (std::getline(in, line)) {
        if (line == "run") runs.emplace_back();
        else if (runs.empty() || line == "end") continue;
        else if (line.rfind("cmd ", 0) == 0) runs.back().commandLine = line.substr(4);
        else if (line.rfind("cwd ", 0) == 0) runs.back().currentDirectory = line.substr(4);
        else if (line.rfind("file ", 0) == 0) runs.back().files.push_back(line.substr(5));
    }
    return runs;
}

std::vector<std::string> EntriesOf(const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((directory + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
}

// Runs the carrier on `directory` for `productCode`, with the log in the environment; its exit code.
DWORD RunCarrier(const std::string& directory, int productCode, const std::string& logPath) {
    ::SetEnvironmentVariableA("HOTFIX_ENGINE_LOG", logPath.c_str());
    std::string commandLine = "\"" + TestProgramDirectory() + "hotfix-payload-carrier.exe\" \"" + directory +
                              "\" " + std::to_string(productCode);
    // A quoted argument may not end in a backslash before its closing quote: double it.
    commandLine.insert(commandLine.rfind("\\\""), "\\");
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    if (!::CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 0xFFFFFFFF;
    ::WaitForSingleObject(info.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    ::GetExitCodeProcess(info.hProcess, &code);
    ::CloseHandle(info.hProcess);
    ::CloseHandle(info.hThread);
    return code;
}

class PatchSequenceTest : public ::testing::Test {
protected:
    std::string root, application, logPath;

    void SetUp() override {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, temp);
        root = std::string(temp) + "hotfix-sequence-" + std::to_string(::GetCurrentProcessId()) + "\\";
        application = root + "Application\\";
        logPath = root + "engine.log";
        ::CreateDirectoryA(root.c_str(), nullptr);
        ::CreateDirectoryA(application.c_str(), nullptr);
        ::DeleteFileA(logPath.c_str());
    }
    void TearDown() override {
        for (const std::string& name : EntriesOf(application)) ::DeleteFileA((application + name).c_str());
        ::RemoveDirectoryA(application.c_str());
        ::DeleteFileA(logPath.c_str());
        ::RemoveDirectoryA(root.c_str());
    }
};

TEST_F(PatchSequenceTest, EngineRunsOncePerPatchFileInOrderAloneAndNothingIsLeft) {
    ASSERT_EQ(RunCarrier(application, 1, logPath), 1u);
    const std::vector<EngineRun> runs = ReadRuns(logPath);
    ASSERT_EQ(runs.size(), 2u);
    const char* patchFiles[] = {"HOTFIX_KTV410_722_HOTFIX1.RTP", "HOTFIX_KTV410_722_HOTFIX2.RTP"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(runs[i].commandLine, "\".\\" + std::string(engine::kFrontEndName) + "\" . " + patchFiles[i]);
        EXPECT_EQ(runs[i].currentDirectory + "\\", application);
        std::vector<std::string> files = runs[i].files;
        std::sort(files.begin(), files.end());
        const std::vector<std::string> expected = {patchFiles[i], engine::kLibraryName, engine::kFrontEndName};
        EXPECT_EQ(files, expected);
    }
    EXPECT_TRUE(EntriesOf(application).empty());
}

TEST_F(PatchSequenceTest, FilesAlreadyStandingAreOverwrittenThenRemoved) {
    for (const char* name : {engine::kFrontEndName, engine::kLibraryName, "HOTFIX_KTV410_722_HOTFIX2.RTP"})
        std::ofstream(application + name, std::ios::binary) << "stale";
    ASSERT_EQ(RunCarrier(application, 1, logPath), 1u);
    EXPECT_EQ(ReadRuns(logPath).size(), 2u);   // the stale "patch.exe" would log nothing
    EXPECT_TRUE(EntriesOf(application).empty());
}

TEST_F(PatchSequenceTest, PatchFileMissingFromThePayloadFailsWithoutARun) {
    // Product 3's only patch file is not carried.
    EXPECT_EQ(RunCarrier(application, 3, logPath), 0u);
    EXPECT_TRUE(ReadRuns(logPath).empty());
    EXPECT_TRUE(EntriesOf(application).empty());
}

TEST_F(PatchSequenceTest, UnknownProductWritesAndRemovesTheEngineOnly) {
    EXPECT_EQ(RunCarrier(application, 9, logPath), 1u);
    EXPECT_TRUE(ReadRuns(logPath).empty());
    EXPECT_TRUE(EntriesOf(application).empty());
}

TEST_F(PatchSequenceTest, MissingApplicationDirectoryWritesNothing) {
    EXPECT_EQ(RunCarrier(root + "Missing\\", 1, logPath), 0u);
    EXPECT_TRUE(ReadRuns(logPath).empty());
}

} // namespace
} // namespace hotfix::testing
