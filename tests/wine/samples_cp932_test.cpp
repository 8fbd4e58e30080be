// The sample program under the double-byte ANSI code page 932 (ctest runs this program with a
// Japanese locale): it finds its core beside itself even when its directory and its own file
// name hold a character whose trail byte is the backslash's code, 0x95 0x5C.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "support/win32/unique_handle.h"

namespace {

using hotfix::testing::Installation;
using hotfix::testing::SampleDirectory;
using hotfix::win32::UniqueProcessInformation;

const std::string kTable = "\x95\x5C";

// True when a directory with the double-byte character in its name can be made.
bool CanSpellDoubleByteNames() {
    const std::string root = hotfix::testing::kSandboxRoot;
    if (!hotfix::testing::MakeDirectories(root)) return false;
    const std::string probe = root + "probe" + kTable + std::to_string(::GetCurrentProcessId());
    if (!::CreateDirectoryA(probe.c_str(), nullptr)) return false;
    ::RemoveDirectoryA(probe.c_str());
    return true;
}

// Starts `program`, closes its main window once it shows, and gives its exit code; the
// window's title is stored in `title` (empty when none appeared).
DWORD RunAndClose(const std::string& program, const std::string& expectedTitle, std::string& title) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    UniqueProcessInformation process;
    std::string commandLine = "\"" + program + "\"";
    if (!::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, process.put()))
        return ~0u;
    const HANDLE handle = process.get().hProcess;
    HWND window = nullptr;
    for (int i = 0; i < 300 && !window; ++i) {
        window = ::FindWindowA("VeltrixSampleMainWindow", expectedTitle.c_str());
        if (!window && ::WaitForSingleObject(handle, 50) == WAIT_OBJECT_0) break;
    }
    title.clear();
    if (window) {
        title = expectedTitle;
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    }
    DWORD exitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(handle, 10000) != WAIT_OBJECT_0) {
        ::TerminateProcess(handle, 99);
        ::WaitForSingleObject(handle, 10000);
    }
    ::GetExitCodeProcess(handle, &exitCode);
    return exitCode;
}

TEST(SampleProductCodePage932, ProgramFindsItsCoreInADoubleByteDirectoryUnderADoubleByteName) {
    if (::GetACP() != 932) {
        GTEST_SKIP() << "the ANSI code page is " << ::GetACP()
                     << ", not 932: run with LANG=ja_JP.UTF-8 and LC_ALL=ja_JP.UTF-8";
    }
    const std::string sample = SampleDirectory("Tarnovex", "7.22.24245.10");
    if (!CanSpellDoubleByteNames()) {
        GTEST_SKIP() << "no double-byte file names here: Wine spells them through the Unix "
                        "locale, and ja_JP.UTF-8 is not installed (locale-gen ja_JP.UTF-8)";
    }
    Installation install = Installation::Create(hotfix::testing::kSandboxRoot, "x" + kTable);
    ASSERT_TRUE(install.Valid());
    // The renamed program: a search for the last backslash byte would cut its name in two.
    const std::string program = "Tarnovex" + kTable + ".exe";
    ASSERT_TRUE(install.CopyFileFrom(sample + "Tarnovex.exe", program));
    ASSERT_TRUE(install.CopyFileFrom(sample + "TarnovexCore.dll", "TarnovexCore.dll"));
    ASSERT_TRUE(install.CopyFileFrom(sample + "templates.dat", "templates.dat"));

    std::string title;
    EXPECT_EQ(RunAndClose(install.Path() + program, "Tarnovex 7.22.24245.10", title), 0u);
    EXPECT_EQ(title, "Tarnovex 7.22.24245.10");
}

} // namespace
