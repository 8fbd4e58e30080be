#include "process/file_name_compare.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

enum class Page { Single, ShiftJis };

struct CompareCase {
    const char* name;
    Page page;
    std::string a;
    std::string b;
    bool same;
};

class SameFileNameTable : public ::testing::TestWithParam<CompareCase> {};

TEST_P(SameFileNameTable, FoldsByTheCodePageRule) {
    const CompareCase& c = GetParam();
    fakes::SingleByteCodePage single;
    fakes::ShiftJisCodePage shiftJis;
    const CodePage& page = c.page == Page::Single ? static_cast<const CodePage&>(single) : shiftJis;
    EXPECT_EQ(SameFileName(c.a, c.b, page), c.same);
    EXPECT_EQ(SameFileName(c.b, c.a, page), c.same) << "the rule is symmetric";
}

const std::string kCut(259, 'x');

INSTANTIATE_TEST_SUITE_P(
    Rule, SameFileNameTable,
    ::testing::Values(
        // Single-byte code page: only ASCII letters fold.
        CompareCase{"Equal", Page::Single, "Tarnovex.exe", "Tarnovex.exe", true},
        CompareCase{"AsciiFold", Page::Single, "TARNOVEX.EXE", "tarnovex.exe", true},
        CompareCase{"AsciiFoldPath", Page::Single, "C:\\Apps\\X.EXE", "c:\\apps\\x.exe", true},
        CompareCase{"AccentCaseDiffers", Page::Single, "caf\xE9.exe", "caf\xC9.exe", false},
        CompareCase{"AccentSame", Page::Single, "CAF\xE9.exe", "caf\xE9.EXE", true},
        CompareCase{"BracketsAreNotLetters", Page::Single, "[a].exe", "{a}.exe", false},
        CompareCase{"AtIsNotBacktick", Page::Single, "@", "`", false},
        CompareCase{"Prefix", Page::Single, "Tarnovex.ex", "Tarnovex.exe", false},
        CompareCase{"TrailingSpace", Page::Single, "Tarnovex.exe ", "Tarnovex.exe", false},
        CompareCase{"TrailingDot", Page::Single, "Tarnovex.exe.", "Tarnovex.exe", false},
        CompareCase{"Empty", Page::Single, "", "", true},
        CompareCase{"EmptyAgainstText", Page::Single, "", "a", false},
        CompareCase{"CutAgainstLonger", Page::Single, kCut, kCut + "x", false},
        // In 1252, 0x82 0x81 are two characters; they fold only as ASCII would (not at all).
        CompareCase{"NoPairsInSingleByte", Page::Single, "\x82\x81", "\x82\x60", false},
        // Double-byte code page: a lead byte and its trail byte are one character.
        CompareCase{"DbcsEqual", Page::ShiftJis, "\x95\x5C.exe", "\x95\x5C.exe", true},
        CompareCase{"DbcsAsciiFold", Page::ShiftJis, "\x95\x5C.EXE", "\x95\x5C.exe", true},
        CompareCase{"DbcsFullWidthFold", Page::ShiftJis, "\x82\x81.exe", "\x82\x60.exe", true},
        // 0x61 ('a') as a trail byte is not folded.
        CompareCase{"TrailBytesDoNotFold", Page::ShiftJis, "\x88\x61", "\x88\x41", false},
        CompareCase{"DbcsPrefix", Page::ShiftJis, "\x95\x5C", "\x95\x5C\x95\x5C", false},
        CompareCase{"DbcsTrailing", Page::ShiftJis, "\x95\x5C ", "\x95\x5C", false},
        // A lead byte at the end has no trail byte; it is compared as a single byte.
        CompareCase{"DanglingLead", Page::ShiftJis, "a\x95", "A\x95", true},
        CompareCase{"DanglingLeadAgainstPair", Page::ShiftJis, "a\x95", "a\x95\x40", false}),
    [](const ::testing::TestParamInfo<CompareCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace hotfix
