// hotfix-uidriver.exe: runs a program and answers its message boxes, for scripts and people.
//
//   hotfix-uidriver.exe run [--answer A]... [--timeout S] [--cwd D] [--hold MS] [--clock] -- PROGRAM [ARGS...]
//       A = ok | cancel | retry | abort | ignore | yes | no | close; one --answer per expected
//       box, in order (default: one "ok"). Prints for each box its caption, icon, text, buttons
//       and the button pressed, then the program's exit code. Exit status 0 when every answer
//       was given and the program ended in time, 1 otherwise, 2 for a usage error.
//       --hold MS leaves each box on screen that long before answering it and prints its
//       position ("rect: left top width height"), so a script can take a picture of it.
//       --clock also prints the local time (as "YYYY-MM-DD HH:MM:SS.mmm", the installer's log
//       format) of the program's start ("started at: ..."), of each box being seen ("seen at:
//       ...") and of the program's end ("ended at: ..."), so a script can line them up with a log.
//   hotfix-uidriver.exe version FILE        prints the file's version label
//   hotfix-uidriver.exe register VALUE      writes the document type's open command (REG_SZ)
//   hotfix-uidriver.exe unregister          deletes the document type
//   hotfix-uidriver.exe shortpath PATH      prints the 8.3 form of an existing path
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/sandbox.h"
#include "harness/ui_driver.h"

using namespace hotfix::testing;

namespace {

int Usage() {
    std::fputs("usage: hotfix-uidriver run [--answer ok|cancel|retry|close]... [--timeout S] "
               "[--cwd DIR] [--hold MS] [--clock] -- PROGRAM [ARGS...]\n"
               "       hotfix-uidriver version FILE\n"
               "       hotfix-uidriver register VALUE\n"
               "       hotfix-uidriver unregister\n"
               "       hotfix-uidriver shortpath PATH\n",
               stderr);
    return 2;
}

// The box's text with every line after the first indented under its label.
std::string IndentLines(const std::string& text, const std::string& indent) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\n') out += indent;
    }
    return out;
}

// The local wall-clock time of `moment`, in the installer's log format.
std::string LocalTimeOf(std::chrono::steady_clock::time_point moment) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    const auto ago = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - moment);
    ticks.QuadPart -= static_cast<ULONGLONG>(ago.count()) * 10;
    FILETIME utc{ticks.LowPart, ticks.HighPart}, local;
    SYSTEMTIME t;
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

int Run(const std::vector<std::string>& args) {
    std::vector<BoxAnswer> answers;
    double timeoutSeconds = 30;
    std::string cwd;
    int holdMs = 0;
    bool clock = false;
    std::size_t at = 0;
    for (; at < args.size() && args[at] != "--"; ++at) {
        const std::string& option = args[at];
        if (option == "--clock") {
            clock = true;
            continue;
        }
        if (at + 1 >= args.size()) return Usage();
        const std::string& value = args[++at];
        if (option == "--answer") {
            const auto answer = ParseBoxAnswer(value);
            if (!answer) return Usage();
            answers.push_back(*answer);
        } else if (option == "--timeout") {
            timeoutSeconds = std::atof(value.c_str());
            if (timeoutSeconds <= 0) return Usage();
        } else if (option == "--cwd") {
            cwd = value;
        } else if (option == "--hold") {
            holdMs = std::atoi(value.c_str());
            if (holdMs < 0) return Usage();
        } else {
            return Usage();
        }
    }
    if (at + 1 >= args.size()) return Usage();
    if (answers.empty()) answers.push_back(BoxAnswer::Ok);

    std::string commandLine;
    for (std::size_t i = at + 1; i < args.size(); ++i) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += QuoteArgument(args[i]);
    }
    const auto timeout = std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000));

    DrivenProcess process = DrivenProcess::Start(commandLine, cwd);
    if (!process.Started()) {
        std::printf("cannot start: %s (error %lu)\n", commandLine.c_str(), process.StartError());
        return 1;
    }
    if (clock) std::printf("started at: %s\n", LocalTimeOf(process.StartedAt()).c_str());
    bool ok = true;
    for (BoxAnswer answer : answers) {
        const auto box = process.WaitForMessageBox(timeout);
        if (!box) {
            std::printf("no message box\n");
            ok = false;
            break;
        }
        const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(
            box->seenAt - process.StartedAt());
        std::string buttons;
        for (int id : box->buttons) buttons += (buttons.empty() ? "" : " ") + ButtonName(id);
        std::printf("appeared: %lld ms after start\n", static_cast<long long>(after.count()));
        if (clock) std::printf("seen at: %s\n", LocalTimeOf(box->seenAt).c_str());
        std::printf("caption: %s\n", box->caption.c_str());
        std::printf("icon: %s\n", BoxIconName(box->icon));
        std::printf("text: %s\n", IndentLines(box->text, "      ").c_str());
        std::printf("buttons: %s\n", buttons.c_str());
        if (holdMs > 0) {
            RECT rect{};
            ::GetWindowRect(box->window, &rect);
            std::printf("rect: %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top);
            std::fflush(stdout);
            ::Sleep(static_cast<DWORD>(holdMs));
        }
        const bool pressed = process.Answer(*box, answer, timeout);
        const std::string answerName =
            answer == BoxAnswer::Close ? "close" : ButtonName(ButtonIdOf(answer));
        std::printf("pressed: %s%s\n", answerName.c_str(), pressed ? "" : " (failed)");
        std::fflush(stdout);
        if (!pressed) {
            ok = false;
            break;
        }
    }
    const auto exitCode = process.WaitForExit(timeout);
    if (exitCode) {
        if (clock) std::printf("ended at: %s\n", LocalTimeOf(std::chrono::steady_clock::now()).c_str());
        std::printf("exit code: %lu\n", *exitCode);
    } else {
        std::printf("exit code: none, still running after %.0f s (terminated)\n", timeoutSeconds);
        process.Terminate();
        ok = false;
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    const std::string command = args.front();
    args.erase(args.begin());

    if (command == "run") return Run(args);
    if (command == "version" && args.size() == 1) {
        const auto label = VersionLabelOf(args[0]);
        if (!label) {
            std::printf("no version resource\n");
            return 1;
        }
        std::printf("%s\n", label->c_str());
        return 0;
    }
    if (command == "register" && args.size() == 1) return WriteOpenCommand(args[0]) ? 0 : 1;
    if (command == "unregister" && args.empty()) return DeleteDocumentType() ? 0 : 1;
    if (command == "shortpath" && args.size() == 1) {
        const std::string shortPath = ShortPath(args[0]);
        if (shortPath.empty()) return 1;
        std::printf("%s\n", shortPath.c_str());
        return 0;
    }
    return Usage();
}
