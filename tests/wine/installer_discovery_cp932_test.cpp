// The locator and the installer under the double-byte ANSI code page 932 (ctest runs this
// program with a Japanese locale). The character 0x95 0x5C has the backslash's code as its
// trail byte: the splitters, CanonicalPath, the installer and the engine it runs must keep it
// whole.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "discovery/application_locator.h"
#include "harness/installer_run.h"
#include "harness/sandbox.h"
#include "harness/test_paths.h"
#include "adapters/code_page_win32.h"
#include "adapters/file_lookup_win32.h"

namespace hotfix::testing {
namespace {

// Two double-byte characters whose trail byte is 0x5C.
const std::string kTable = "\x95\x5C";
const std::string kSo = "\x83\x5C";

// ASCII letters in upper case; a double-byte character is kept as it is.
std::string UpperAscii(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (::IsDBCSLeadByteEx(CP_ACP, c) && i + 1 < text.size()) {
            out += text.substr(i, 2);
            ++i;
        } else {
            out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
        }
    }
    return out;
}

class CodePage932 : public ::testing::Test {
protected:
    void SetUp() override {
        if (::GetACP() != 932) {
            GTEST_SKIP() << "the ANSI code page is " << ::GetACP()
                         << ", not 932: run with LANG=ja_JP.UTF-8 and LC_ALL=ja_JP.UTF-8";
        }
        ASSERT_TRUE(m_codePage.IsDoubleByte());
        ASSERT_TRUE(m_codePage.IsLeadByte(0x95));
        // Wine converts file names with the C library's charset: without the generated Unix
        // locale it is ASCII, and no file name can hold the character.
        if (!Installation::Create(kSandboxRoot, kTable + "probe-").Valid()) {
            GTEST_SKIP() << "no file name can hold a double-byte character: the Unix locale "
                            "ja_JP.UTF-8 is not generated (Debian package `locales`; the build "
                            "makes it with localedef in <build>/locale, used through LOCPATH)";
        }
    }

    const win32::Win32CodePage m_codePage;
};

struct SplitCase {
    std::string path;
    std::string directory;
    std::string fileName;
};

TEST_F(CodePage932, SplittersNeverSplitADoubleByteCharacter) {
    const SplitCase cases[] = {
        {"C:\\" + kTable + "\\Tarnovex.exe", "C:\\" + kTable + "\\", "Tarnovex.exe"},
        {"C:\\a\\x" + kTable, "C:\\a\\", "x" + kTable},
        {kTable, kTable, kTable},
        {kTable + kTable, kTable + kTable, kTable + kTable},
        {"C:\\a\\" + kTable + "\\", "C:\\a\\" + kTable + "\\", ""},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(DirectoryOf(c.path, m_codePage), c.directory);
        EXPECT_EQ(FileNameOf(c.path, m_codePage), c.fileName);
    }
}

TEST_F(CodePage932, CanonicalPathKeepsTheCharacterAndRebuildsTheNamesAroundIt) {
    // One directory that starts with the character, one that ends with it.
    Installation install = Installation::Create(kSandboxRoot, kTable + "inst-");
    ASSERT_TRUE(install.Valid());
    const std::string relative = "sub" + kTable + "\\Tarnovex.exe";
    ASSERT_TRUE(install.CopyFileFrom(VersionedTestProgram("7.22.24245.10"), relative));
    const std::string stored = install.Path() + relative;

    win32::Win32FileLookup files;
    EXPECT_EQ(CanonicalPath(UpperAscii(stored), files, m_codePage), stored);
    EXPECT_EQ(CanonicalPath(stored, files, m_codePage), stored);
}

TEST_F(CodePage932, InstallerFindsAProductInstalledUnderTheCharacter) {
    ScopedDocumentType registration;
    Installation install = Installation::Create(kSandboxRoot, kTable + "inst-");
    ASSERT_TRUE(install.Valid());
    ASSERT_TRUE(install.CopyFileFrom(VersionedTestProgram("7.22.24245.10"),
                                     "sub" + kTable + "\\Tarnovex.exe"));
    // Written in capitals: only a path rebuilt around the whole character finds the file and
    // reads its version; a split character would lose it and give message 3.
    ASSERT_TRUE(WriteOpenCommand(UpperAscii(install.Path() + "sub" + kTable + "\\Tarnovex.exe") +
                                 " /dde"));
    const DirectorySnapshot before = TakeSnapshot(install.Path());

    const InstallerRun run = RunInstaller();
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, UpToDateMessage("Tarnovex"));
    EXPECT_EQ(run.boxes[0].caption, kInstallerCaption);
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
    EXPECT_EQ(DescribeDifference(before, TakeSnapshot(install.Path())), "");
}

// The whole hotfix in a folder whose name and whose parent's name end in such a character
// (`表\ソ`): the placed engine and patch files, held and checked where they really lie, and the
// engine's own paths, all inside it. Patched, and nothing of the installer's left behind.
TEST_F(CodePage932, HotfixPatchesAnInstallationInAFolderEndingInTheCharacter) {
    ScopedDocumentType registration;
    Installation outer = Installation::Create(kSandboxRoot, "e2e-");
    ASSERT_TRUE(outer.Valid());
    const std::string folder = outer.Path() + kTable + "\\" + kSo + "\\";
    ASSERT_TRUE(CopyTree(SampleDirectory("Tarnovex", "7.22.24188.12"), folder));
    ASSERT_TRUE(WriteOpenCommand(folder + "Tarnovex.exe /dde"));

    InstallerRunOptions options;
    options.timeout = std::chrono::seconds(90);
    const InstallerRun run = RunInstaller({BoxAnswer::Ok}, options);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, AppliedMessage("Tarnovex"));
    EXPECT_EQ(run.exitCode, std::optional<unsigned long>(0));
    EXPECT_EQ(DescribeDifference(TakeSnapshot(SampleDirectory("Tarnovex", "7.22.24245.10")), TakeSnapshot(folder)),
              "");
}

} // namespace
} // namespace hotfix::testing
