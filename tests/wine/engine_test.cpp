// The real engine pair (patch.exe + Patchw32.dll) on real directories, run the way the
// installer runs it: `".\patch.exe" . NAME.RTP` with the application directory as current
// directory. Patch files are written by hotfix-engine-fixture.exe with the portable writer.
#include "harness/helpers.h"
#include "harness/links.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using Files = std::map<std::string, std::string>;
using namespace hotfix::engine; // the engine's contract: its file names, switch, traces and exit codes

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
        } else if (!(relative.empty() && (name == kFrontEndName || name == kLibraryName || name == kPatchName))) {
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

using hotfix::testing::Quoted, hotfix::testing::RemoveTree;

// The files a user sees: everything but the engine's own names.
Files UserFiles(const Files& files) {
    Files user;
    for (const auto& [name, bytes] : files)
        if (name.find("hfx~") == std::string::npos) user[name] = bytes;
    return user;
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
        for (const char* name : {kFrontEndName, kLibraryName})
            ASSERT_TRUE(::CopyFileA((hotfix::testing::TestProgramDirectory() + name).c_str(), (m_app + name).c_str(), FALSE));
        ProcessRun written = Fixture("write-patch " + Quoted(m_app + kPatchName) + " " + Quoted(m_work + "old") + " " +
                                     Quoted(m_work + "new"));
        ASSERT_EQ(written.exitCode, 0u) << written.output;
    }
    void TearDown() override { RemoveTree(m_work); }

    // The engine as the installer starts it, in `app` (m_app when empty); Settle with /settle.
    ProcessRun Engine(const std::string& app = "") { return PatchExe("", app); }
    ProcessRun Settle(const std::string& app = "") { return PatchExe(std::string(kSettleSwitch) + " ", app); }
    ProcessRun PatchExe(const std::string& mode, const std::string& app) {
        return Start("\".\\" + std::string(kFrontEndName) + "\" " + mode + ". " + kPatchName, app.empty() ? m_app : app);
    }
    // hotfix-engine-fixture.exe with `arguments`, run in the work directory.
    ProcessRun Fixture(const std::string& arguments, HANDLE* keepProcess = nullptr) {
        return Start(Quoted(hotfix::testing::TestProgramDirectory() + "hotfix-engine-fixture.exe") + " " + arguments,
                     m_work, keepProcess);
    }

    // Another update directory like m_app, with the engine pair and the patch file.
    std::string OtherApp(const std::string& name) {
        const std::string app = m_work + name + "\\";
        Lay(app, kOld);
        for (const char* file : {kFrontEndName, kLibraryName, kPatchName})
            ::CopyFileA((m_app + file).c_str(), (app + file).c_str(), FALSE);
        return app;
    }

    std::string m_work;
    std::string m_app;
};

TEST_F(EngineTest, AppliesFileByFileThenFindsItAlreadyApplied) {
    const DWORD marked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(::SetFileAttributesA((m_app + "Tarnovex.exe").c_str(), marked));
    ProcessRun first = Engine();
    EXPECT_EQ(first.exitCode, kExitApplied) << first.output;
    for (const char* name : {"Tarnovex.exe", "Tarnovex.dll", "doc\\added.txt", "obsolete.txt"})
        EXPECT_NE(first.output.find(name), std::string::npos) << name << "\n" << first.output;
    EXPECT_EQ(FilesOf(m_app), kNew);
    EXPECT_EQ(::GetFileAttributesA((m_app + "Tarnovex.exe").c_str()) & marked, marked); // kept

    ProcessRun second = Engine();
    EXPECT_EQ(second.exitCode, kExitAlreadyApplied) << second.output;
    EXPECT_NE(second.output.find("already"), std::string::npos) << second.output;
    EXPECT_EQ(FilesOf(m_app), kNew);
}

TEST_F(EngineTest, RefusesAChangedFileNamingIt) {
    WriteFileBytes(m_app + "Tarnovex.dll", "edited by the user");
    Files before = FilesOf(m_app);
    ProcessRun run = Engine();
    EXPECT_EQ(run.exitCode, kExitNotApplicable) << run.output;
    EXPECT_NE(run.output.find("Tarnovex.dll"), std::string::npos) << run.output;
    EXPECT_EQ(FilesOf(m_app), before);
}

TEST_F(EngineTest, RefusesACorruptPatchFile) {
    std::string patch = ReadFileBytes(m_app + kPatchName);
    patch[patch.size() / 2] ^= 0x20;
    WriteFileBytes(m_app + kPatchName, patch);
    ProcessRun run = Engine();
    EXPECT_EQ(run.exitCode, kExitCorruptPatch) << run.output;
    EXPECT_NE(run.output.find("corrupt"), std::string::npos) << run.output;
    EXPECT_EQ(FilesOf(m_app), kOld);
}

TEST_F(EngineTest, TargetHeldOpenWithoutSharingChangesNothing) {
    HANDLE holder = nullptr;
    ProcessRun held = Fixture("hold " + Quoted(m_app + "Tarnovex.dll") + " 30000", &holder);
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(held.output.substr(0, 4), "held") << held.output;
    ProcessRun run = Engine();
    ::TerminateProcess(holder, 0);
    ::WaitForSingleObject(holder, 10000);
    ::CloseHandle(holder);
    EXPECT_TRUE(run.exitCode == kExitIoFailureRolledBack || run.exitCode == kExitNotApplicable)
        << run.exitCode << "\n" << run.output;
    EXPECT_NE(run.output.find("Tarnovex.dll"), std::string::npos) << run.output;
    EXPECT_EQ(FilesOf(m_app), kOld);
}

// Killed from outside the moment its first swap began, as a task kill or a power cut would:
// the directory is mixed. Whatever then becomes of the journal (kept, torn, lost, replaced by a
// journal of another patch), settling reaches all old or all new exactly, or touches nothing.
TEST_F(EngineTest, KilledFromOutsideAfterItsFirstSwapIsSettled) {
    const std::string bin = hotfix::testing::TestProgramDirectory();
    const std::string other = m_work + "other.rtp"; // the reverse patch: another patch file
    ProcessRun reverse = Fixture("write-patch " + Quoted(other) + " " + Quoted(m_work + "new") + " " + Quoted(m_work + "old"));
    ASSERT_EQ(reverse.exitCode, 0u) << reverse.output;
    enum class Journal { Kept, Torn, Lost, Foreign };
    struct Case {
        const char* name;
        Journal journal;
        DWORD settleExit;     // settled, or not settled (nothing touched)
        const Files* settled; // the files after settling; null: as the kill left them
        DWORD againExit;      // the next run: applied, already applied, or refused (not settled)
    };
    const Case cases[] = {
        {"journal kept", Journal::Kept, kExitApplied, &kOld, kExitApplied},
        {"journal torn", Journal::Torn, kExitApplied, &kNew, kExitAlreadyApplied},
        {"journal lost", Journal::Lost, kExitApplied, &kNew, kExitAlreadyApplied},
        {"a journal of another patch", Journal::Foreign, kExitNotSettled, nullptr, kExitNotSettled},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string app = OtherApp("killed " + std::to_string(++number));
        HANDLE killer = nullptr;
        ProcessRun ready = Start(Quoted(bin + "hotfix-killer.exe") + " " + kFrontEndName + " " +
                                     Quoted(app + "Tarnovex.dll" + kBackupSuffix), m_work, &killer);
        ASSERT_NE(killer, nullptr);
        ASSERT_EQ(ready.output.substr(0, 5), "ready") << ready.output;
        ProcessRun killed = Engine(app);
        ::WaitForSingleObject(killer, 30000);
        DWORD killerExit = 0;
        ::GetExitCodeProcess(killer, &killerExit);
        ::CloseHandle(killer);
        ASSERT_EQ(killerExit, 0u) << "the engine was not killed in time:\n" << killed.output;
        EXPECT_EQ(killed.exitCode, 0xDEADu) << killed.output;
        EXPECT_NE(UserFiles(FilesOf(app)), kOld);
        EXPECT_NE(UserFiles(FilesOf(app)), kNew);
        const std::string journal = app + kJournalName;
        ASSERT_EQ(FilesOf(app).count(kJournalName), 1u);
        if (c.journal == Journal::Torn) WriteFileBytes(journal, ReadFileBytes(journal).substr(0, 20));
        if (c.journal == Journal::Lost) {
            ASSERT_TRUE(::DeleteFileA(journal.c_str()));
        }
        if (c.journal == Journal::Foreign) {
            ProcessRun forged = Fixture("write-journal " + Quoted(journal) + " " + Quoted(other) + " swapping");
            ASSERT_EQ(forged.exitCode, 0u) << forged.output;
        }
        const Files left = FilesOf(app);

        ProcessRun settled = Settle(app);
        EXPECT_EQ(settled.exitCode, c.settleExit) << settled.output;
        EXPECT_EQ(FilesOf(app), c.settled ? *c.settled : left); // nothing of the engine's is left either
        ProcessRun again = Engine(app);
        EXPECT_EQ(again.exitCode, c.againExit) << again.output;
        if (c.settled) {
            EXPECT_EQ(FilesOf(app), kNew);
        }
    }
}

// Links a hostile user planted in the update directory, pointing outside it: never followed,
// nothing outside changes, and the patch is refused with the name of what is in the way.
TEST_F(EngineTest, LinksPointingOutsideAreNeverFollowed) {
    using hotfix::testing::ScopedUnixLink;
    using hotfix::testing::TakeSnapshot;
    hotfix::testing::OutsideArea outside;
    ASSERT_FALSE(outside.Path().empty());
    Lay(outside.Path(), {{"Tarnovex.dll", "old library"}, {"doc\\readme.txt", "unchanged"}});
    const auto outsideBefore = TakeSnapshot(outside.Path());
    const std::string bin = hotfix::testing::TestProgramDirectory();
    struct Case {
        const char* name;
        const char* link;   // in the update directory
        const char* target; // below the outside area
        bool forgedJournal;
        DWORD exitCode;     // refused, or an "interrupted run" that cannot be settled
        const char* named;  // what the refusal names
    };
    const Case cases[] = {
        {"a file link", "Tarnovex.dll", "Tarnovex.dll", false, kExitNotApplicable, "Tarnovex.dll"},
        {"a directory link", "doc", "doc", false, kExitNotApplicable, "doc"},
        {"a directory link and a forged journal naming it", "doc", "doc", true, kExitNotSettled, "doc"},
    };
    int number = 0;
    for (const Case& c : cases) {
        const std::string app = OtherApp("links " + std::to_string(++number));
        RemoveTree(app + c.link);
        ::DeleteFileA((app + c.link).c_str());
        if (c.forgedJournal) {
            ProcessRun forged = Fixture("write-journal " + Quoted(app + kJournalName) + " " + Quoted(app + kPatchName) +
                                        " swapping doc");
            ASSERT_EQ(forged.exitCode, 0u) << forged.output;
        }
        ScopedUnixLink link(app + c.link, outside.UnixPath() + "/" + c.target);
        ASSERT_TRUE(link.Made()) << c.name << " " << hotfix::testing::UnixPathOf(app) << " -> " << outside.UnixPath();
        ProcessRun run = Engine(app);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find(c.named), std::string::npos) << c.name << "\n" << run.output;
        EXPECT_EQ(hotfix::testing::DescribeDifference(outsideBefore, TakeSnapshot(outside.Path())), "") << c.name;
    }
}

// Patches with real deltas, made at build time by the native hotfix-pack: VCDIFF and match
// delta of a synthetic pair, and a match delta of two MinGW builds of a program (the call
// transform on real code).
TEST_F(EngineTest, AppliesRealDeltasOfEachMethod) {
    const std::string fixture = hotfix::testing::TestProgramDirectory() + "engine-delta-fixture\\";
    ASSERT_NE(::GetFileAttributesA((fixture + "delta.rtp").c_str()), INVALID_FILE_ATTRIBUTES) << "no delta fixture";
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
        for (const char* name : {kFrontEndName, kLibraryName})
            ASSERT_TRUE(::CopyFileA((m_app + name).c_str(), (app + name).c_str(), FALSE));
        ASSERT_TRUE(::CopyFileA((fixture + c.patch).c_str(), (app + kPatchName).c_str(), FALSE)) << c.patch;
        ASSERT_TRUE(::CopyFileA((fixture + c.trees + "old\\Tarnovex.exe").c_str(), (app + "Tarnovex.exe").c_str(), FALSE));
        ProcessRun run = Start("\".\\" + std::string(kFrontEndName) + "\" . " + kPatchName, app);
        EXPECT_EQ(run.exitCode, kExitApplied) << c.patch << "\n" << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << c.patch << "\n" << run.output;
        EXPECT_EQ(FilesOf(app), FilesOf(fixture + c.trees + "new\\")) << c.patch;
    }
}

TEST_F(EngineTest, UsageAndMissingLibrary) {
    ProcessRun usage = Start("\".\\" + std::string(kFrontEndName) + "\" .", m_app);
    EXPECT_EQ(usage.exitCode, kExitUsage);
    EXPECT_NE(usage.output.find("Usage"), std::string::npos) << usage.output;
    ASSERT_TRUE(::DeleteFileA((m_app + kLibraryName).c_str()));
    ProcessRun missing = Engine();
    EXPECT_EQ(missing.exitCode, kExitUsage) << missing.output;
    EXPECT_NE(missing.output.find(kLibraryName), std::string::npos) << missing.output;
    EXPECT_EQ(FilesOf(m_app), kOld);
}

} // namespace
