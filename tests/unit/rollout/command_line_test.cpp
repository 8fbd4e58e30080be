// Splitting the installer's command line by the platform's rules, and reading its switches.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

using Args = std::vector<std::string>;

struct SplitCase {
    const char* commandLine;
    Args expected;
};

TEST(SplitCommandLineTest, FollowsTheRuntimeRules) {
    const SplitCase cases[] = {
        {"setup.exe", {"setup.exe"}},
        {"", {""}},
        {"\"C:\\Program Files\\setup.exe\" /quiet", {"C:\\Program Files\\setup.exe", "/quiet"}},
        {"C:\\dl\\setup.exe\t/qn   /log  x.log  ", {"C:\\dl\\setup.exe", "/qn", "/log", "x.log"}},
        // Backslashes in the program name are literal, even before its closing quote.
        {"\"C:\\dir\\\" next", {"C:\\dir\\", "next"}},
        {"p /log \"C:\\My Logs\\hotfix.log\"", {"p", "/log", "C:\\My Logs\\hotfix.log"}},
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p \"\" x", {"p", "", "x"}},
        {"p \"a \"\" b\"", {"p", "a \" b"}},
        {"p a\\\\b", {"p", "a\\\\b"}},                 // backslashes not before a quote: literal
        {"p a\\\"b", {"p", "a\"b"}},                   // odd run: literal quote
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},           // even run: halved, quote toggles
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},             // three: one backslash, literal quote
        {"p \"C:\\logs\\\\\" /quiet", {"p", "C:\\logs\\", "/quiet"}},
        {"p \"unterminated arg", {"p", "unterminated arg"}},
    };
    const fakes::SingleByteCodePage codePage;
    for (const SplitCase& c : cases)
        EXPECT_EQ(SplitCommandLine(c.commandLine, codePage), c.expected) << c.commandLine;
}

TEST(SplitCommandLineTest, TrailBytesAreNeverBackslashesOrQuotes) {
    // 0x95 0x5C is one character in code page 932: its trail byte must not escape the quote.
    const std::string table = "\x95\x5C";
    const fakes::ShiftJisCodePage codePage;
    EXPECT_EQ(SplitCommandLine("p /log \"C:\\" + table + "\" /quiet", codePage),
              (Args{"p", "/log", "C:\\" + table, "/quiet"}));
    EXPECT_EQ(SplitCommandLine("\"C:\\" + table + "\\setup.exe\" /qn", codePage),
              (Args{"C:\\" + table + "\\setup.exe", "/qn"}));
    // A lead byte at the very end keeps its byte and does not read beyond the text.
    EXPECT_EQ(SplitCommandLine("p x\x95", codePage), (Args{"p", "x\x95"}));
}

struct ParseCase {
    Args arguments;
    bool quiet;
    std::string logPath;
    unsigned waitSeconds;
    bool showUsage;
    bool uninstall = false;
};

TEST(ParseRunOptionsTest, ReadsSwitchesAndIgnoresTheRest) {
    const ParseCase cases[] = {
        {{"p"}, false, "", 0, false},
        {{"p", "/quiet"}, true, "", 0, false},
        {{"p", "-QUIET"}, true, "", 0, false},
        {{"p", "/Qn"}, true, "", 0, false},
        {{"p", "-qn", "/log", "C:\\a b.log"}, true, "C:\\a b.log", 0, false},
        {{"p", "/LOG", "x.log", "/WAIT", "30", "/q"}, false, "x.log", 30, false},
        {{"p", "/?"}, false, "", 0, true},
        {{"p", "-?", "/quiet"}, true, "", 0, true},
        {{"p", "/UNINSTALL", "-qn"}, true, "", 0, false, true},
        {{"p", "/log", "/uninstall"}, false, "", 0, false, true},
        // Unknown arguments and bare words are ignored.
        {{"p", "/norestart", "hello", "/quiet2", "quiet", "/"}, false, "", 0, false},
        // A value that is missing or is itself a switch leaves the switch unset.
        {{"p", "/log"}, false, "", 0, false},
        {{"p", "/log", "/quiet"}, true, "", 0, false},
        {{"p", "/log", ""}, false, "", 0, false},
        {{"p", "/wait"}, false, "", 0, false},
        {{"p", "/wait", "/quiet"}, true, "", 0, false},
        {{"p", "/wait", "soon", "/quiet"}, true, "", 0, false},
        {{"p", "/wait", "-5", "/quiet"}, true, "", 0, false},
        {{"p", "/wait", "2.5"}, false, "", 0, false},
        {{"p", "/quiet", "/wait", "0"}, true, "", 0, false},
        // Later switches win; long waits are cut to a day without overflowing.
        {{"p", "/wait", "10", "/wait", "20"}, false, "", 20, false},
        {{"p", "/wait", "99999999999999999999999"}, false, "", kMaxWaitSeconds, false},
        // A log file whose name starts with a dash is still a file when it is no switch.
        {{"p", "/log", "-x.log"}, false, "-x.log", 0, false},
    };
    for (const ParseCase& c : cases) {
        const RunOptions options = ParseRunOptions(c.arguments);
        std::string where;
        for (const std::string& a : c.arguments) where += "[" + a + "]";
        EXPECT_EQ(options.quiet, c.quiet) << where;
        EXPECT_EQ(options.logPath, c.logPath) << where;
        EXPECT_EQ(options.waitSeconds, c.waitSeconds) << where;
        EXPECT_EQ(options.showUsage, c.showUsage) << where;
        EXPECT_EQ(options.uninstall, c.uninstall) << where;
    }
}

TEST(ParseRunOptionsTest, TheProgramNameIsNeverASwitch) {
    EXPECT_FALSE(ParseRunOptions({"/quiet"}).quiet);
    EXPECT_FALSE(ParseRunOptions({}).quiet);
}

} // namespace
} // namespace hotfix
