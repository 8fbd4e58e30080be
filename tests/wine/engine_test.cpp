// The real engine pair (patch.exe + Patchw32.dll) on real directories, run the way the
// installer runs it: `".\patch.exe" . NAME.RTP` with the application directory as current
// directory. Patch files are written by hotfix-engine-fixture.exe with the portable writer.
#include "harness/test_paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using Files = std::map<std::string, std::string>;

const char kPatchName[] = "HOTFIX_TEST.RTP";

struct ProcessRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Starts `commandLine` in `directory` and collects its standard output until it ends.
ProcessRun Start(const std::string& commandLine, const std::string& directory, HANDLE* keepProcess = nullptr) {
    ProcessRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string mutableLine = commandLine;
    // A relative program path is found from this process's current directory, as when the
    // installer starts the engine: make it the child's directory too.
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ::SetCurrentDirectoryA(directory.c_str());
    BOOL started = ::CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                    &process);
    ::SetCurrentDirectoryA(previous);
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        run.output = "CreateProcess failed: " + std::to_string(::GetLastError());
        return run;
    }
    if (keepProcess != nullptr) {
        // The caller reads the first line only and keeps the process running.
        char c = 0;
        DWORD got = 0;
        while (::ReadFile(readEnd, &c, 1, &got, nullptr) && got == 1 && c != '\n') run.output += c;
        ::CloseHandle(readEnd);
        ::CloseHandle(process.hThread);
        *keepProcess = process.hProcess;
        return run;
    }
    // Collect the output while waiting, for at most a minute: an engine that hangs (a crash
    // that started a debugger, say) fails the test instead of stopping the run.
    char buffer[4096];
    DWORD got = 0;
    const DWORD startTicks = ::GetTickCount();
    for (;;) {
        DWORD available = 0;
        while (::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
               ::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            run.output.append(buffer, got);
        if (::WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
        if (::GetTickCount() - startTicks > 60000) {
            ::TerminateProcess(process.hProcess, 0xDEAD);
            ::WaitForSingleObject(process.hProcess, 10000);
            run.output += "\n<killed after a minute>";
            break;
        }
    }
    DWORD available = 0;
    while (::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        run.output.append(buffer, got);
    ::CloseHandle(readEnd);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return run;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

// Every file under `root` (relative names), except the engine pair and the patch file.
void Collect(const std::string& root, const std::string& relative, Files& files) {
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((root + relative + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Collect(root, relative + name + "\\", files);
        } else if (!(relative.empty() && (name == "patch.exe" || name == "Patchw32.dll" || name == kPatchName))) {
            files[relative + name] = ReadFileBytes(root + relative + name);
        }
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
}

Files FilesOf(const std::string& root) {
    Files files;
    Collect(root, "", files);
    return files;
}

void Lay(const std::string& root, const Files& files) {
    ::CreateDirectoryA(root.c_str(), nullptr);
    for (const auto& [path, bytes] : files) {
        std::string::size_type slash = path.find('\\');
        while (slash != std::string::npos) {
            ::CreateDirectoryA((root + path.substr(0, slash)).c_str(), nullptr);
            slash = path.find('\\', slash + 1);
        }
        WriteFileBytes(root + path, bytes);
    }
}

void RemoveTree(const std::string& root) {
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((root + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(root + name + "\\");
            else ::DeleteFileA((root + name).c_str());
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(root.c_str());
}

class EngineTest : public ::testing::Test {
protected:
    const Files kOld = {{"Tarnovex.exe", std::string(70000, 'o') + "old program"},
                        {"Tarnovex.dll", "old library"},
                        {"doc\\readme.txt", "unchanged"},
                        {"obsolete.txt", "to be removed"}};
    const Files kNew = {{"Tarnovex.exe", std::string(70000, 'n') + "new program, longer"},
                        {"Tarnovex.dll", "new library"},
                        {"doc\\readme.txt", "unchanged"},
                        {"doc\\added.txt", "added by the patch"}};

    void SetUp() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        m_work = std::string(temp) + "hotfix engine test " + std::to_string(::GetCurrentProcessId()) + "\\";
        RemoveTree(m_work);
        ::CreateDirectoryA(m_work.c_str(), nullptr);
        m_app = m_work + "App Dir\\";
        Lay(m_work + "old\\", kOld);
        Lay(m_work + "new\\", kNew);
        Lay(m_app, kOld);
        const std::string bin = hotfix::testing::TestProgramDirectory();
        ASSERT_TRUE(::CopyFileA((bin + "patch.exe").c_str(), (m_app + "patch.exe").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileA((bin + "Patchw32.dll").c_str(), (m_app + "Patchw32.dll").c_str(), FALSE));
        ProcessRun written = Start("\"" + bin + "hotfix-engine-fixture.exe\" write-patch \"" + m_app + kPatchName + "\" \"" +
                                m_work + "old\" \"" + m_work + "new\"",
                            m_work);
        ASSERT_EQ(written.exitCode, 0u) << written.output;
    }
    void TearDown() override { RemoveTree(m_work); }

    ProcessRun Engine() { return Start(std::string("\".\\patch.exe\" . ") + kPatchName, m_app); }

    std::string m_work;
    std::string m_app;
};

TEST_F(EngineTest, AppliesFileByFileThenFindsItAlreadyApplied) {
    ProcessRun first = Engine();
    EXPECT_EQ(first.exitCode, 0u) << first.output;
    for (const char* name : {"Tarnovex.exe", "Tarnovex.dll", "doc\\added.txt", "obsolete.txt"})
        EXPECT_NE(first.output.find(name), std::string::npos) << name << "\n" << first.output;
    EXPECT_EQ(FilesOf(m_app), kNew);

    ProcessRun second = Engine();
    EXPECT_EQ(second.exitCode, 1u) << second.output;
    EXPECT_NE(second.output.find("already"), std::string::npos) << second.output;
    EXPECT_EQ(FilesOf(m_app), kNew);
}

TEST_F(EngineTest, RefusesAChangedFileNamingIt) {
    WriteFileBytes(m_app + "Tarnovex.dll", "edited by the user");
    Files before = FilesOf(m_app);
    ProcessRun run = Engine();
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_NE(run.output.find("Tarnovex.dll"), std::string::npos) << run.output;
    EXPECT_EQ(FilesOf(m_app), before);
}

TEST_F(EngineTest, RefusesACorruptPatchFile) {
    std::string patch = ReadFileBytes(m_app + kPatchName);
    patch[patch.size() / 2] ^= 0x20;
    WriteFileBytes(m_app + kPatchName, patch);
    ProcessRun run = Engine();
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    EXPECT_NE(run.output.find("corrupt"), std::string::npos) << run.output;
    EXPECT_EQ(FilesOf(m_app), kOld);
}

TEST_F(EngineTest, TargetHeldOpenWithoutSharingChangesNothing) {
    HANDLE holder = nullptr;
    ProcessRun held = Start("\"" + hotfix::testing::TestProgramDirectory() + "hotfix-engine-fixture.exe\" hold \"" + m_app +
                         "Tarnovex.dll\" 30000",
                     m_work, &holder);
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(held.output.substr(0, 4), "held") << held.output;
    ProcessRun run = Engine();
    ::TerminateProcess(holder, 0);
    ::WaitForSingleObject(holder, 10000);
    ::CloseHandle(holder);
    EXPECT_TRUE(run.exitCode == 4u || run.exitCode == 2u) << run.exitCode << "\n" << run.output;
    EXPECT_NE(run.output.find("Tarnovex.dll"), std::string::npos) << run.output;
    EXPECT_EQ(FilesOf(m_app), kOld);
}

TEST_F(EngineTest, KilledInTheMiddleOfTheSwapsIsRecoveredByTheNextRun) {
    ::SetEnvironmentVariableA("HOTFIX_ENGINE_TEST_EXIT_AFTER_SWAPS", "2");
    ProcessRun killed = Engine();
    ::SetEnvironmentVariableA("HOTFIX_ENGINE_TEST_EXIT_AFTER_SWAPS", nullptr);
    ASSERT_EQ(killed.exitCode, 99u) << killed.output;
    // Half done, and the journal says so.
    EXPECT_NE(FilesOf(m_app), kOld);
    EXPECT_NE(FilesOf(m_app), kNew);
    EXPECT_NE(::GetFileAttributesA((m_app + "hfx~journal").c_str()), INVALID_FILE_ATTRIBUTES);

    ProcessRun again = Engine();
    EXPECT_EQ(again.exitCode, 0u) << again.output;
    EXPECT_NE(again.output.find("interrupted"), std::string::npos) << again.output;
    EXPECT_EQ(FilesOf(m_app), kNew); // also: no journal, staged or backup file left
}

// Patches with real deltas, made at build time by the native hotfix-pack (when the build was
// given the native tools): VCDIFF and match delta of a synthetic pair, and a match delta of two
// MinGW builds of a program (the call transform on real code).
TEST_F(EngineTest, AppliesRealDeltasOfEachMethod) {
    const std::string fixture = hotfix::testing::TestProgramDirectory() + "engine-delta-fixture\\";
    if (::GetFileAttributesA((fixture + "delta.rtp").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no delta fixture (configure with -DHOTFIX_NATIVE_BIN=<native build>/bin)";
    const struct {
        const char* patch;
        const char* trees; // old and new directories: <trees>old, <trees>new
        const char* said;
    } cases[] = {{"delta.rtp", "", "applying the delta"},
                 {"match.rtp", "", "applying the match delta"},
                 {"pe-match.rtp", "pe-", "applying the match delta"}};
    for (const auto& c : cases) {
        const std::string app = m_work + "Delta App " + c.patch + "\\";
        ::CreateDirectoryA(app.c_str(), nullptr);
        for (const char* name : {"patch.exe", "Patchw32.dll"})
            ASSERT_TRUE(::CopyFileA((m_app + name).c_str(), (app + name).c_str(), FALSE));
        ASSERT_TRUE(::CopyFileA((fixture + c.patch).c_str(), (app + kPatchName).c_str(), FALSE)) << c.patch;
        ASSERT_TRUE(::CopyFileA((fixture + c.trees + "old\\Tarnovex.exe").c_str(), (app + "Tarnovex.exe").c_str(), FALSE));
        ProcessRun run = Start(std::string("\".\\patch.exe\" . ") + kPatchName, app);
        EXPECT_EQ(run.exitCode, 0u) << c.patch << "\n" << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << c.patch << "\n" << run.output;
        EXPECT_EQ(FilesOf(app), FilesOf(fixture + c.trees + "new\\")) << c.patch;
    }
}

TEST_F(EngineTest, UsageAndMissingLibrary) {
    ProcessRun usage = Start("\".\\patch.exe\" .", m_app);
    EXPECT_EQ(usage.exitCode, 5u);
    EXPECT_NE(usage.output.find("Usage"), std::string::npos) << usage.output;
    ASSERT_TRUE(::DeleteFileA((m_app + "Patchw32.dll").c_str()));
    ProcessRun missing = Engine();
    EXPECT_EQ(missing.exitCode, 5u) << missing.output;
    EXPECT_NE(missing.output.find("Patchw32.dll"), std::string::npos) << missing.output;
    EXPECT_EQ(FilesOf(m_app), kOld);
}

} // namespace
