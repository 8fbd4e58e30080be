#pragma once
// The installer's command line: splitting it into arguments by the platform's rules, and
// reading the switches from them.
#include <string>
#include <vector>

#include "app/run_options.h"
#include "platform/code_page.h"

namespace hotfix {

// Splits a whole command line (as GetCommandLineA gives it, program name first) into
// arguments by the rules of the platform's C runtime:
// - the program name ends at the first blank or tab outside double quotes; the quotes are
//   dropped and backslashes in it are taken literally;
// - other arguments are separated by blanks and tabs outside double quotes; a double quote
//   switches quoting on or off and is dropped; inside quotes, two double quotes give one;
// - 2n backslashes before a double quote give n backslashes and the quote acts as above;
//   2n+1 backslashes before a double quote give n backslashes and a literal double quote;
//   backslashes anywhere else are literal.
// A trail byte of a double-byte character is never taken for a backslash or a quote.
// Example: SplitCommandLine("setup.exe /log \"C:\\a b\\x.log\" a\\\\\\\"b", cp) ==
//          {"setup.exe", "/log", "C:\\a b\\x.log", "a\\\"b"}.
std::vector<std::string> SplitCommandLine(const std::string& commandLine, const CodePage& codePage);

// Reads the switches from `arguments` (the program name first, as SplitCommandLine gives
// them). Switches start with "/" or "-" and ignore letter case: "/uninstall", "/quiet"
// (alias "/qn"), "/log <file>", "/wait <seconds>", "/?". Unknown arguments are ignored. A "/log" or "/wait"
// whose value is missing, is itself a switch, or (for "/wait") is not a whole number of
// seconds is ignored, and the argument after it is read as usual. A later switch overrides an
// earlier one of the same name; waits beyond kMaxWaitSeconds are cut to it.
// Example: ParseRunOptions({"setup.exe", "-QN", "/Wait", "30"}) -> quiet, 30 seconds.
RunOptions ParseRunOptions(const std::vector<std::string>& arguments);

// The longest wait "/wait" accepts: one day.
constexpr unsigned kMaxWaitSeconds = 86400;

// The text that "/?" shows.
std::string UsageText();

} // namespace hotfix
