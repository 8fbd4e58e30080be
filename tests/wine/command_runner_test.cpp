// The command runner with real children: start failures, waiting, the time limit, a child
// exiting with 259, a long command line, and output captured through the file named after ">".
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>

#include "harness/helpers.h"
#include "harness/test_paths.h"
#include "main/command_runner_win32.h"
#include "support/temp_files.h"

namespace hotfix::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::string Child(const std::string& name) { return Quoted(TestProgramDirectory() + name); }

std::string TempPath() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    return temp;
}

// Files of the form ????????.txt in `directory`.
int CaptureFilesIn(const std::string& directory) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((directory + "????????.txt").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count; while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return count;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class CommandRunnerTest : public ::testing::Test {
protected:
    win32::Win32CommandRunner runner;
};

TEST_F(CommandRunnerTest, MissingProgramReturnsFileNotFound) {
    EXPECT_EQ(runner.RunCommand("hotfix-no-such-program.exe", 1, -1, nullptr), 2u);
}

TEST_F(CommandRunnerTest, NegativeLimitWaitsForTheChildWhateverItsExitCode) {
    const auto start = Clock::now();
    EXPECT_EQ(runner.RunCommand(Child("hotfix-sleeper.exe") + " 1200 7", 1, -1, nullptr), 0u);
    EXPECT_GE(SecondsSince(start), 1.1);
}

TEST_F(CommandRunnerTest, ZeroLimitReturnsAtOnceWithTheChildRunning) {
    const std::string pidFile = TempPath() + "hotfix-sleeper-pid-zero.txt";
    ::DeleteFileA(pidFile.c_str());
    const auto start = Clock::now();
    EXPECT_EQ(runner.RunCommand(Child("hotfix-sleeper.exe") + " 3000 0 " + Quoted(pidFile), 1, 0, nullptr), 0u);
    EXPECT_LT(SecondsSince(start), 1.0);
    // The child runs on: it still writes its id and is still alive.
    DWORD pid = 0;
    for (int i = 0; i < 50 && !pid; ++i) {
        ::Sleep(100);
        pid = std::strtoul(ReadWholeFile(pidFile).c_str(), nullptr, 10);
    }
    ASSERT_NE(pid, 0u);
    HANDLE child = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(::WaitForSingleObject(child, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(::WaitForSingleObject(child, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    ::CloseHandle(child);
    ::DeleteFileA(pidFile.c_str());
}

TEST_F(CommandRunnerTest, ChildSleepingPastTheLimitIsTerminated) {
    const std::string pidFile = TempPath() + "hotfix-sleeper-pid-limit.txt";
    ::DeleteFileA(pidFile.c_str());
    const auto start = Clock::now();
    EXPECT_EQ(runner.RunCommand(Child("hotfix-sleeper.exe") + " 30000 0 " + Quoted(pidFile), 1, 1, nullptr), 1460u);
    const double elapsed = SecondsSince(start);
    EXPECT_GT(elapsed, 0.9);
    EXPECT_LT(elapsed, 4.0);   // a 1-second limit ends the wait within about two seconds

    const DWORD pid = std::strtoul(ReadWholeFile(pidFile).c_str(), nullptr, 10);
    ASSERT_NE(pid, 0u);
    // Terminated with 1460, or already gone once the runner closed its handles.
    if (HANDLE child = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid)) {
        EXPECT_EQ(::WaitForSingleObject(child, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD code = 0;
        ::GetExitCodeProcess(child, &code);
        EXPECT_EQ(code, 1460u);
        ::CloseHandle(child);
    }
    ::DeleteFileA(pidFile.c_str());
}

TEST_F(CommandRunnerTest, ChildExitingWith259EndsTheWait) {
    const auto start = Clock::now();
    EXPECT_EQ(runner.RunCommand(Child("hotfix-sleeper.exe") + " 0 259", 1, -1, nullptr), 0u);
    EXPECT_LT(SecondsSince(start), 3.0);
}

TEST_F(CommandRunnerTest, CommandLineLongerThanAPathIsPassedWhole) {
    const std::string pidFile = TempPath() + "hotfix-sleeper-pid-long.txt";
    ::DeleteFileA(pidFile.c_str());
    const std::string filler(600, 'x');
    EXPECT_EQ(runner.RunCommand(Child("hotfix-sleeper.exe") + " 0 0 " + Quoted(pidFile) + " " + filler, 1, -1,
                                nullptr), 0u);
    EXPECT_NE(ReadWholeFile(pidFile), "");
    ::DeleteFileA(pidFile.c_str());
}

TEST_F(CommandRunnerTest, CrLfOutputIsCapturedConvertedAndItsFileDeleted) {
    win32::Win32TempEnvironment environment;
    const std::string temp = TempDirectory(environment, nullptr);
    ASSERT_FALSE(temp.empty());
    const int before = CaptureFilesIn(temp);
    std::string output = "previous";
    EXPECT_EQ(runner.RunCommand(Child("hotfix-crlf-writer.exe"), 1, -1, &output), 0u);

    char cafe[] = "caf\x82";
    ::OemToCharA(cafe, cafe);
    EXPECT_EQ(output, std::string("first line\nsecond line\n") + cafe + "\n");
    EXPECT_EQ(CaptureFilesIn(temp), before);
}

TEST_F(CommandRunnerTest, CapturedZeroByteEndsTheText) {
    std::string output;
    EXPECT_EQ(runner.RunCommand(Child("hotfix-crlf-writer.exe") + " zero", 1, -1, &output), 0u);
    EXPECT_EQ(output, "before");
}

TEST_F(CommandRunnerTest, WithoutATemporaryDirectoryTheCaptureIsABareNameInTheCurrentDirectory) {
    const std::string savedTemp = std::getenv("TEMP") ? std::getenv("TEMP") : "";
    const std::string savedTmp = std::getenv("TMP") ? std::getenv("TMP") : "";
    char savedDirectory[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, savedDirectory);
    const std::string work = TempPath() + "hotfix-capture-cwd\\";
    ::CreateDirectoryA(work.c_str(), nullptr);
    ::SetCurrentDirectoryA(work.c_str());
    _putenv("TEMP=Z:\\hotfix-no-such-directory");
    _putenv("TMP=");

    std::string output;
    EXPECT_EQ(runner.RunCommand(Child("hotfix-crlf-writer.exe"), 1, -1, &output), 0u);
    const int left = CaptureFilesIn(work);

    ::SetCurrentDirectoryA(savedDirectory);
    _putenv(("TEMP=" + savedTemp).c_str());
    _putenv(("TMP=" + savedTmp).c_str());
    ::RemoveDirectoryA(work.c_str());

    EXPECT_EQ(output.substr(0, 11), "first line\n");
    EXPECT_EQ(left, 0);
}

TEST(TempFilesTest, RealDirectoriesAndFiles) {
    win32::Win32TempEnvironment environment;
    const std::string program = TestProgramDirectory() + "hotfix-sleeper.exe";
    EXPECT_TRUE(DirectoryExists(environment, TestProgramDirectory().c_str()));
    EXPECT_FALSE(DirectoryExists(environment, program.c_str()));
    EXPECT_TRUE(FileExists(environment, program));
    EXPECT_TRUE(FileExists(environment, TestProgramDirectory()));
    EXPECT_FALSE(FileExists(environment, TestProgramDirectory() + "hotfix-nothing-here"));
    const std::string name = RandomName(environment);
    EXPECT_EQ(name.size(), 8u);
    EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
}

} // namespace
} // namespace hotfix::testing
