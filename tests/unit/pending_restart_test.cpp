// Operations left for the next restart: how a value's bytes read as operations, and which of
// them name the application directory.
#include "app/pending_restart.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

using namespace std::string_literals;

// The operations as "source>destination", joined by "|".
std::string Describe(const std::vector<PendingRename>& renames) {
    std::string text;
    for (const PendingRename& rename : renames)
        text += (text.empty() ? "" : "|") + rename.source + ">" + rename.destination;
    return text;
}

TEST(PendingRenames, ReadAsTheRestartReadsThem) {
    const struct {
        std::string data;
        const char* operations;
    } cases[] = {
        {""s, ""},
        {"\0\0"s, ""},
        {"a\0b\0\0"s, "a>b"},
        {"a\0\0\0"s, "a>"},                        // a deletion last: its empty destination, then the end
        {"a\0\0b\0!c\0\0"s, "a>|b>!c"},            // a deletion first: the pairs stay aligned
        {"a\0b\0"s, "a>b"},                        // stored without the list's final zero
        {"a\0b"s, "a>b"},                          // nor the last string's
        {"a\0"s, "a>"},                            // a source without its destination
        {"a\0b\0\0c\0d\0\0"s, "a>b"},              // an empty source ends the list
    };
    for (const auto& c : cases) EXPECT_EQ(Describe(ParsePendingRenames(c.data)), c.operations) << c.operations;
}

enum class Page { Single, ShiftJis };

struct NamesCase {
    const char* name;
    Page page;
    std::string directory;
    std::string source;
    std::string destination;
    bool names;
};

class PendingRenameNamesDirectory : public ::testing::TestWithParam<NamesCase> {};

TEST_P(PendingRenameNamesDirectory, ByTheFileNameRule) {
    const NamesCase& c = GetParam();
    fakes::SingleByteCodePage single;
    fakes::ShiftJisCodePage shiftJis;
    const CodePage& page = c.page == Page::Single ? static_cast<const CodePage&>(single) : shiftJis;
    std::vector<PendingRenameValue> values(2);
    values[0] = {"First", {MultiStringRead::State::Read, 0, "\\??\\C:\\Temp\\a\0\0"s}};
    values[1] = {"Second", {MultiStringRead::State::Read, 0, c.source + '\0' + c.destination + '\0' + '\0'}};
    const PendingRestart found = DecidePendingRestart(values, c.directory, page);
    ASSERT_EQ(found.blocking.has_value(), c.names);
    if (c.names) {
        EXPECT_EQ(found.blockingValue, "Second");
        EXPECT_EQ(found.blocking->source, c.source) << "as read, prefixes included";
        EXPECT_EQ(found.blocking->destination, c.destination);
    }
}

// 0x95 0x5C is one character of code page 932 whose trail byte is the backslash's byte.
const std::string kTable = "\x95\x5C";

INSTANTIATE_TEST_SUITE_P(
    Rule, PendingRenameNamesDirectory,
    ::testing::Values(
        NamesCase{"Elsewhere", Page::Single, "C:\\App\\", "\\??\\C:\\Temp\\a.dll", "\\??\\C:\\Windows\\a.dll", false},
        NamesCase{"DeletionInside", Page::Single, "C:\\App\\", "\\??\\C:\\App\\Tarnovex.exe", "", true},
        NamesCase{"DestinationInsideReplacing", Page::Single, "C:\\App\\", "\\??\\C:\\Temp\\x.tmp",
                  "!\\??\\C:\\App\\Lib\\x.dll", true},
        NamesCase{"SourceInsideMovedOut", Page::Single, "C:\\App\\", "\\??\\C:\\App\\x.dll", "\\??\\C:\\Temp\\x", true},
        NamesCase{"WithoutPrefix", Page::Single, "C:\\App\\", "C:\\Temp\\x", "C:\\App\\x", true},
        NamesCase{"AsciiCase", Page::Single, "C:\\App\\", "\\??\\c:\\aPP\\TARNOVEX.EXE", "", true},
        NamesCase{"TheDirectoryItself", Page::Single, "C:\\App\\", "\\??\\C:\\App", "\\??\\C:\\Old", true},
        NamesCase{"TheDirectoryWithItsBackslash", Page::Single, "C:\\App\\", "\\??\\C:\\Temp\\x", "!\\??\\C:\\App\\",
                  true},
        NamesCase{"SiblingWithCommonPrefix", Page::Single, "C:\\App\\", "\\??\\C:\\App2\\x", "\\??\\C:\\Apps", false},
        NamesCase{"Parent", Page::Single, "C:\\App\\", "\\??\\C:\\", "\\??\\C:\\Ap", false},
        NamesCase{"Cp932Inside", Page::ShiftJis, "C:\\" + kTable + "\\", "\\??\\C:\\" + kTable + "\\Tarnovex.exe",
                  "", true},
        // Ends with the trail byte 0x5C: the directory itself, not a directory's backslash.
        NamesCase{"Cp932TheDirectoryItself", Page::ShiftJis, "C:\\" + kTable + "\\", "\\??\\C:\\Temp\\x",
                  "!\\??\\C:\\" + kTable, true},
        NamesCase{"Cp932Sibling", Page::ShiftJis, "C:\\" + kTable + "\\", "\\??\\C:\\" + kTable + kTable + "\\x",
                  "", false},
        NamesCase{"Cp932TrailByteLetterDoesNotFold", Page::ShiftJis, "C:\\\x88\x61\\", "\\??\\C:\\\x88\x41\\x", "",
                  false},
        NamesCase{"Cp932FullWidthCase", Page::ShiftJis, "C:\\\x82\x81\\", "\\??\\C:\\\x82\x60\\x", "", true}),
    [](const ::testing::TestParamInfo<NamesCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace hotfix
