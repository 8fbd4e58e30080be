// The real running test against real processes: paths as Wine reports them, the privilege
// switch on the real token, and libraries planted where the installer must not look.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "harness/helpers.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "harness/ui_driver.h"
#include "harness/process_planting.h"
#include "adapters/code_page_win32.h"
#include "adapters/process_source_win32.h"
#include "process/running_test.h"
#include "support/win32/unique_handle.h"

namespace hotfix::testing {
namespace {

const char kTargetName[] = "Running Target.exe";

std::string ProbePath() { return TestProgramDirectory() + "hotfix-process-probe.exe"; }
std::string PlantedDllPath() { return TestProgramDirectory() + "hotfix_planted.dll"; }

bool RealIsApplicationStopped(const std::string& path) {
    win32::Win32ProcessSource source;
    win32::Win32CodePage codePage;
    return IsApplicationStopped(path, source, codePage);
}

// A freshly started process becomes readable once its loader has run: wait for the running
// test to see it.
bool WaitUntilSeenRunning(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!RealIsApplicationStopped(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Two copies of one program under the same file name in two directories; the first runs.
class RunningTarget : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_running.Valid());
        ASSERT_TRUE(m_other.Valid());
        ASSERT_TRUE(m_running.CopyFileFrom(ProbePath(), kTargetName));
        ASSERT_TRUE(m_other.CopyFileFrom(ProbePath(), kTargetName));
        m_process = DrivenProcess::Start(QuoteArgument(RunningPath()) + " wait");
        ASSERT_TRUE(m_process.Started()) << "error " << m_process.StartError();
        ASSERT_TRUE(WaitUntilSeenRunning(RunningPath())) << RunningPath();
    }

    std::string RunningPath() const { return m_running.Path() + kTargetName; }
    std::string OtherPath() const { return m_other.Path() + kTargetName; }

    Installation m_running = Installation::Create(kSandboxRoot, "running-");
    Installation m_other = Installation::Create(kSandboxRoot, "copy-");
    DrivenProcess m_process;
};

TEST_F(RunningTarget, ItsOwnPathInAnyAsciiCaseIsRunning) {
    EXPECT_FALSE(RealIsApplicationStopped(RunningPath()));
    EXPECT_FALSE(RealIsApplicationStopped(Upper(RunningPath())));
    EXPECT_FALSE(RealIsApplicationStopped(Lower(RunningPath())));
}

TEST_F(RunningTarget, AnotherCopyOfTheSameFileNameIsNotRunning) {
    EXPECT_TRUE(RealIsApplicationStopped(OtherPath()));
}

TEST_F(RunningTarget, OnlyTheWholePathMatches) {
    const std::string path = RunningPath();
    EXPECT_TRUE(RealIsApplicationStopped(path.substr(0, path.size() - 4)));
    EXPECT_TRUE(RealIsApplicationStopped(path + " "));
    EXPECT_TRUE(RealIsApplicationStopped(kTargetName));
    // The process was started by its long path, and that is the path the system reports.
    const std::string shortPath = ShortPath(path);
    if (!shortPath.empty() && shortPath != path) {
        EXPECT_TRUE(RealIsApplicationStopped(shortPath)) << shortPath;
    }
}

TEST_F(RunningTarget, EndedProcessIsStopped) {
    m_process.Terminate();
    EXPECT_TRUE(RealIsApplicationStopped(RunningPath()));
}

TEST(RunningTest, OwnProcessIsListedLikeAnyOther) {
    char self[MAX_PATH] = {};
    ASSERT_NE(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    EXPECT_FALSE(RealIsApplicationStopped(self));
}

// The debug privilege of this process's token: nullopt when the token does not hold it.
std::optional<bool> DebugPrivilegeEnabled() {
    win32::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::nullopt;
    LUID luid{};
    if (!::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid)) return std::nullopt;
    DWORD needed = 0;
    ::GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &needed);
    std::string buffer(needed, '\0');
    if (!::GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), needed, &needed))
        return std::nullopt;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart)
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return std::nullopt;
}

bool SetDebugPrivilege(bool enable) {
    win32::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return false;
    TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = 1;
    if (!::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &state.Privileges[0].Luid)) return false;
    state.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    return ::AdjustTokenPrivileges(token.get(), FALSE, &state, 0, nullptr, nullptr) &&
           ::GetLastError() == ERROR_SUCCESS;
}

TEST(RunningTest, DebugPrivilegeIsOffAfterwardsWhateverItWasBefore) {
    if (!DebugPrivilegeEnabled().has_value()) GTEST_SKIP() << "the token does not hold SeDebugPrivilege";
    for (bool before : {true, false}) {
        ASSERT_TRUE(SetDebugPrivilege(before));
        ASSERT_EQ(DebugPrivilegeEnabled(), std::optional<bool>(before));
        RealIsApplicationStopped("C:\\nowhere\\nothing.exe");
        EXPECT_EQ(DebugPrivilegeEnabled(), std::optional<bool>(false)) << "on before: " << before;
    }
}

// Libraries named like the process-status library, planted beside the program and in its
// current directory, and a marker directory in which a loaded one leaves its trace.
class PlantedLibraries : public RunningTarget {
protected:
    void SetUp() override {
        RunningTarget::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(m_programDir.Valid() && m_currentDir.Valid() && m_markers.Valid());
        ASSERT_TRUE(m_programDir.CopyFileFrom(ProbePath(), "probe.exe"));
        for (const char* name : {"psapi.dll", "PSAPIXP.DLL"}) {
            ASSERT_TRUE(m_programDir.CopyFileFrom(PlantedDllPath(), name));
            ASSERT_TRUE(m_currentDir.CopyFileFrom(PlantedDllPath(), name));
        }
        ASSERT_TRUE(m_nativeFirst.Prefer({"psapi", "psapixp"}));
    }

    // Runs the probe copy from its planted directory; its exit code.
    std::optional<unsigned long> RunProbe(const std::string& arguments) {
        DrivenProcess probe =
            DrivenProcess::Start(QuoteArgument(m_programDir.Path() + "probe.exe") + " " + arguments,
                                 m_currentDir.Path());
        if (!probe.Started()) return std::nullopt;
        return probe.WaitForExit();
    }

    bool Loaded(const char* name) const { return m_markerVariable.Loaded(name); }

    Installation m_programDir = Installation::Create(kSandboxRoot, "planted-program-");
    Installation m_currentDir = Installation::Create(kSandboxRoot, "planted-current-");
    Installation m_markers = Installation::Create(kSandboxRoot, "markers-");
    ScopedMarkerDirectory m_markerVariable{m_markers.Path()};
    ScopedNativeFirst m_nativeFirst{"probe.exe"};
};

TEST_F(PlantedLibraries, OrdinarySearchWouldTakeThem) {
    // The control: the plant works, so its absence below means something.
    EXPECT_EQ(RunProbe("load psapi.dll"), std::optional<unsigned long>(0));
    EXPECT_TRUE(Loaded("psapi.dll"));
    EXPECT_EQ(RunProbe("load PSAPIXP.DLL"), std::optional<unsigned long>(0));
    EXPECT_TRUE(Loaded("PSAPIXP.DLL"));
}

TEST_F(PlantedLibraries, RunningTestTakesTheSystemLibraryOnly) {
    // Reading the running target's full path needs the real process-status library.
    EXPECT_EQ(RunProbe("check " + QuoteArgument(RunningPath())), std::optional<unsigned long>(10));
    EXPECT_FALSE(Loaded("psapi.dll"));
    EXPECT_FALSE(Loaded("PSAPIXP.DLL"));
}

} // namespace
} // namespace hotfix::testing
