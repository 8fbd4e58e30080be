// The application locator: reading the open command, canonical paths and the splitters.
#include <gtest/gtest.h>

#include "discovery/application_locator.h"
#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

class LocatorTest : public ::testing::Test {
protected:
    fakes::FakeRegistry registry;
    fakes::FakeFileLookup files;
    fakes::SingleByteCodePage codePage;

    LocatorTest() {
        files.Add("C:\\PROGRA~1", "Program Files");
        files.Add("C:\\Program Files\\VELTRI~1", "Veltrix Tarnovex");
        files.Add("C:\\Program Files\\Veltrix Tarnovex\\TARNOV~1.EXE", "Tarnovex.exe");
        files.Add("C:\\Program Files\\Veltrix Tarnovex\\tarnovex.exe", "Tarnovex.exe");
        files.Add("C:\\Program Files", "Program Files");
        files.Add("C:\\Program Files\\Veltrix Tarnovex", "Veltrix Tarnovex");
        files.Add("\\\\server\\share\\APPS", "Apps");
        files.Add("\\\\server\\share\\Apps\\T.EXE", "T.exe");
        files.Add("C:\\Windows\\.", ".");
    }
    std::string Canonical(const std::string& path) { return CanonicalPath(path, files, codePage); }
    std::string Found(const std::string& value) {
        registry.values[kDocumentOpenCommandKey] = value;
        return FindInstalledExecutable(registry, files, codePage);
    }
};

TEST_F(LocatorTest, OpenCommandIsReadWithA260ByteBufferAndTheDdeSwitchRemoved) {
    EXPECT_EQ(Found("C:\\PROGRA~1\\VELTRI~1\\TARNOV~1.EXE /dde"),
              "C:\\Program Files\\Veltrix Tarnovex\\Tarnovex.exe");
    EXPECT_EQ(registry.bufferSizes, std::vector<std::uint32_t>{260});
}

TEST_F(LocatorTest, OpenCommandEdgeCases) {
    struct Case {
        const char* value;
        const char* expected;
    } cases[] = {
        // Without the switch the whole value is canonicalised.
        {"c:\\program files\\veltrix tarnovex\\tarnovex.exe",
         "c:\\Program Files\\Veltrix Tarnovex\\Tarnovex.exe"},
        // " /DDE" is not the switch: the last component keeps it and is not found.
        {"C:\\Program Files\\Veltrix Tarnovex\\Tarnovex.exe /DDE",
         "C:\\Program Files\\Veltrix Tarnovex\\Tarnovex.exe /DDE"},
        {" /dde", ""},
        {"", ""},
        // Only one trailing switch is removed.
        {"C:\\x.exe /dde /dde", "C:\\x.exe /dde"},
        // Quotes stay; nothing is found under a prefix that begins with a quote.
        {"\"C:\\PROGRA~1\\VELTRI~1\\TARNOV~1.EXE\" /dde", "\"C:\\PROGRA~1\\VELTRI~1\\TARNOV~1.EXE\""},
        // Variables are not expanded.
        {"%ProgramFiles%\\Veltrix\\Tarnovex.exe", "%ProgramFiles%\\Veltrix\\Tarnovex.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(Found(c.value), c.expected) << c.value;
}

TEST_F(LocatorTest, MissingKeyOrTooLongValueGivesEmptyText) {
    EXPECT_EQ(FindInstalledExecutable(registry, files, codePage), "");
    EXPECT_EQ(Found(std::string(259, 'a')), std::string(259, 'a'));
    EXPECT_EQ(Found(std::string(260, 'a')), "");
    EXPECT_TRUE(files.lookups.size() == 1);   // the 259-byte value only
}

TEST_F(LocatorTest, CanonicalPathTable) {
    struct Case {
        const char* input;
        const char* expected;
        int lookups;
    } cases[] = {
        {"C:\\PROGRA~1\\VELTRI~1\\TARNOV~1.EXE", "C:\\Program Files\\Veltrix Tarnovex\\Tarnovex.exe", 3},
        // The drive prefix is copied as written, never looked up.
        {"c:\\PROGRA~1", "c:\\Program Files", 1},
        {"C:", "C:", 0},
        {"C:\\", "C:\\", 0},
        // A trailing backslash and doubled backslashes stay.
        {"C:\\PROGRA~1\\", "C:\\Program Files\\", 1},
        {"C:\\PROGRA~1\\\\VELTRI~1", "C:\\Program Files\\\\VELTRI~1", 2},
        // A missing component stays, and so does everything after it.
        {"C:\\Missing\\PROGRA~1", "C:\\Missing\\PROGRA~1", 2},
        // UNC: two leading backslashes; server and share are not found and stay as written.
        {"\\\\server\\share\\APPS\\T.EXE", "\\\\server\\share\\Apps\\T.exe", 4},
        // An entry reported as "." keeps the component as written.
        {"C:\\Windows\\.", "C:\\Windows\\.", 2},
        // No drive and no leading backslash: relative, looked up as it stands.
        {"relative\\x", "relative\\x", 2},
        {"", "", 0},
        // Wildcards are never looked up: the look-up would report some other entry.
        {"C:\\PROGRA~1\\T*.exe", "C:\\Program Files\\T*.exe", 1},
        {"C:\\PROGRA?~1\\x", "C:\\PROGRA?~1\\x", 1},
        {"C:\\PROGRA~1\\a<b\\c>d\\e\"", "C:\\Program Files\\a<b\\c>d\\e\"", 1},
    };
    for (const Case& c : cases) {
        files.lookups.clear();
        EXPECT_EQ(Canonical(c.input), c.expected) << c.input;
        EXPECT_EQ(static_cast<int>(files.lookups.size()), c.lookups) << c.input;
    }
}

TEST_F(LocatorTest, EachComponentIsLookedUpInsideTheResolvedDirectory) {
    Canonical("C:\\PROGRA~1\\VELTRI~1\\TARNOV~1.EXE");
    EXPECT_EQ(files.lookups, (std::vector<std::string>{"C:\\PROGRA~1", "C:\\Program Files\\VELTRI~1",
                                                        "C:\\Program Files\\Veltrix Tarnovex\\TARNOV~1.EXE"}));
}

TEST_F(LocatorTest, OnlyTheFirstColonEndsTheDrivePrefix) {
    files.lookups.clear();
    EXPECT_EQ(Canonical("C:\\a:b"), "C:\\a:b");
    EXPECT_EQ(files.lookups, std::vector<std::string>{"C:\\a:b"});
}

TEST(PathSplitters, Table) {
    fakes::SingleByteCodePage cp;
    struct Case {
        const char* path;
        const char* directory;
        const char* fileName;
    } cases[] = {
        {"C:\\A\\b.exe", "C:\\A\\", "b.exe"},
        {"C:\\A\\", "C:\\A\\", ""},
        {"b.exe", "b.exe", "b.exe"},
        {"", "", ""},
        {"\\\\srv\\share\\x", "\\\\srv\\share\\", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DirectoryOf(std::string(c.path), cp), c.directory) << c.path;
        EXPECT_EQ(FileNameOf(std::string(c.path), cp), c.fileName) << c.path;
    }
    EXPECT_EQ(DirectoryOf(static_cast<const char*>(nullptr), cp), "");
    EXPECT_EQ(FileNameOf(static_cast<const char*>(nullptr), cp), "");
}

TEST(PathSplitters, TrailByteBackslashNeverSplitsInDoubleByteCodePage) {
    fakes::ShiftJisCodePage sjis;
    fakes::SingleByteCodePage latin;
    // "C:\<0x95 0x5C>\" then a file name: the 0x5C of the character is its trail byte.
    const std::string dir = std::string("C:\\") + "\x95\x5C" + "\\";
    const std::string path = dir + "Tarnovex.exe";
    EXPECT_EQ(DirectoryOf(path, sjis), dir);
    EXPECT_EQ(FileNameOf(path, sjis), "Tarnovex.exe");
    // A file name ending in such a character is not cut.
    const std::string name = std::string("a") + "\x95\x5C";
    EXPECT_EQ(FileNameOf("C:\\" + name, sjis), name);
    EXPECT_EQ(FileNameOf("C:\\" + name, latin), "");

    fakes::FakeFileLookup files;
    files.Add(std::string("C:\\") + "\x95\x5C", std::string("\x95\x5C"));
    EXPECT_EQ(CanonicalPath(std::string("C:\\") + "\x95\x5C" + "\\x.exe", files, sjis),
              std::string("C:\\") + "\x95\x5C" + "\\x.exe");
    EXPECT_EQ(files.lookups.front(), std::string("C:\\") + "\x95\x5C");
}

} // namespace
} // namespace hotfix
