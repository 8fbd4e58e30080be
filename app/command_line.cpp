#include "app/command_line.h"

namespace hotfix {

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& ch : lower)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return lower;
}

// The switch name of `argument` in lower case without its "/" or "-", or empty when it is no switch.
std::string SwitchName(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::string();
    return Lower(argument.substr(1));
}

bool IsKnownSwitch(const std::string& argument) {
    const std::string name = SwitchName(argument);
    return name == "quiet" || name == "qn" || name == "log" || name == "wait" || name == "?" ||
           name == kUninstallSwitch + 1;
}

// A whole, non-negative number of seconds, cut to kMaxWaitSeconds; false when `text` is not one.
bool ParseSeconds(const std::string& text, unsigned& seconds) {
    if (text.empty()) return false;
    unsigned long long value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + static_cast<unsigned>(ch - '0');
        if (value > kMaxWaitSeconds) value = kMaxWaitSeconds + 1ULL;   // no overflow on long digit runs
    }
    seconds = value > kMaxWaitSeconds ? kMaxWaitSeconds : static_cast<unsigned>(value);
    return true;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine, const CodePage& codePage) {
    std::vector<std::string> arguments;
    const std::size_t size = commandLine.size();
    std::size_t i = 0;

    // The program name: no escapes; double quotes only switch quoting and are dropped.
    std::string program;
    bool quotedName = false;
    while (i < size && (quotedName || !IsBlank(commandLine[i]))) {
        const char ch = commandLine[i];
        if (ch == '"') {
            quotedName = !quotedName;
            ++i;
            continue;
        }
        if (codePage.IsLeadByte(static_cast<unsigned char>(ch)) && i + 1 < size) program += commandLine[i++];
        program += commandLine[i++];
    }
    arguments.push_back(program);

    for (;;) {
        while (i < size && IsBlank(commandLine[i])) ++i;
        if (i >= size) break;

        std::string argument;
        bool quoted = false;
        while (i < size) {
            const char ch = commandLine[i];
            if (!quoted && IsBlank(ch)) break;
            if (codePage.IsLeadByte(static_cast<unsigned char>(ch)) && i + 1 < size) {
                argument += ch;
                argument += commandLine[i + 1];
                i += 2;
            } else if (ch == '\\') {
                std::size_t count = 0;
                while (i < size && commandLine[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < size && commandLine[i] == '"') {
                    argument.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                    // An even run leaves the quote to the next turn, where it toggles quoting.
                } else {
                    argument.append(count, '\\');
                }
            } else if (ch == '"') {
                if (quoted && i + 1 < size && commandLine[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += ch;
                ++i;
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

RunOptions ParseRunOptions(const std::vector<std::string>& arguments) {
    RunOptions options;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string name = SwitchName(arguments[i]);
        const bool hasValue = i + 1 < arguments.size() && !IsKnownSwitch(arguments[i + 1]);
        if (name == "quiet" || name == "qn") {
            options.quiet = true;
        } else if (name == kUninstallSwitch + 1) {
            options.uninstall = true;
        } else if (name == "?") {
            options.showUsage = true;
        } else if (name == "log") {
            if (hasValue && !arguments[i + 1].empty()) options.logPath = arguments[++i];
        } else if (name == "wait") {
            unsigned seconds = 0;
            if (hasValue && ParseSeconds(arguments[i + 1], seconds)) {
                options.waitSeconds = seconds;
                ++i;
            }
        }
    }
    return options;
}

std::string UsageText() {
    return "Usage: setup [/uninstall] [/quiet] [/log <file>] [/wait <seconds>] [/?]\n"
           "\n"
           "/uninstall\tRemove the hotfix: the application goes back to the version it had\n"
           "\tbefore the hotfix.\n"
           "/quiet, /qn\tNo window and no message box. The outcome is the exit code:\n"
           "\t0 patched or already up to date, 1605 no product installed,\n"
           "\t1642 not applicable to the installed version, 1603 the hotfix failed,\n"
           "\t1618 the application is still running. With /uninstall: 0 removed or\n"
           "\tnothing to remove, 1647 the hotfix is not installed on this version,\n"
           "\t1605, 1618 and 1603 as above.\n"
           "/log <file>\tAppend a plain-text log of the run to <file>.\n"
           "/wait <seconds>\tWith /quiet: keep retrying every 2 seconds while the application\n"
           "\tis still running, for up to <seconds> (default 0).\n"
           "/?\tShow this text.\n"
           "\n"
           "Switches may start with / or - and ignore letter case.";
}

} // namespace hotfix
