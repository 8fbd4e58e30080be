#include "patch/command_runner.h"

#include "support/temp_files.h"

namespace hotfix {

bool TimeLimitPassed(int timeLimitSeconds, std::int64_t start, std::int64_t now) {
    return timeLimitSeconds > 0 && start + timeLimitSeconds < now;
}

CycleDecision DecideCycle(const CycleFacts& facts) {
    if (TimeLimitPassed(facts.timeLimitSeconds, facts.start, facts.now)) return CycleDecision::TimedOut;
    const bool running = facts.exitCode == kStillActive && !facts.ended;
    return running ? CycleDecision::KeepWaiting : CycleDecision::Finished;
}

std::string CapturedText(const std::string& bytes) {
    const std::string text = bytes.substr(0, bytes.find('\0'));
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        result += text[i];
    }
    return result;
}

std::string ChooseCapturePath(TempEnvironment& environment) {
    std::string path;
    do {
        path = TempDirectory(environment, nullptr) + RandomName(environment) + ".txt";
    } while (FileExists(environment, path));
    return path;
}

namespace {

// The polling cycles of one started child; the result code.
std::uint32_t WaitForChild(ChildProcessHost& host, TempEnvironment& environment, int timeLimitSeconds) {
    CycleFacts facts;
    facts.timeLimitSeconds = timeLimitSeconds;
    facts.start = environment.Now();
    for (;;) {
        host.ServeMessages();
        host.Sleep(kWaitCycleMilliseconds);
        facts.exitCode = host.ExitCode();
        // The exit code alone cannot tell a running child from one that exited with 259.
        facts.ended = facts.exitCode != kStillActive || host.HasEnded();
        if (timeLimitSeconds > 0) facts.now = environment.Now();
        switch (DecideCycle(facts)) {
        case CycleDecision::KeepWaiting:
            break;
        case CycleDecision::Finished:
            return 0;
        case CycleDecision::TimedOut:
            host.Terminate(kErrorTimeout);
            return kErrorTimeout;
        }
    }
}

} // namespace

std::uint32_t RunCommand(ChildProcessHost& host, TempEnvironment& environment,
                         const std::string& commandLine, int showMode, int timeLimitSeconds,
                         std::string* output, std::optional<std::uint32_t>* exitCode) {
    if (exitCode) exitCode->reset();
    std::string line = commandLine;
    std::string capturePath;
    if (output) {
        capturePath = ChooseCapturePath(environment);
        line += " > " + capturePath;
    }

    std::uint32_t result = host.Start(line, showMode);
    if (result == 0) {
        if (timeLimitSeconds != 0) {
            result = WaitForChild(host, environment, timeLimitSeconds);
            // The child has ended: its exit code is final now.
            if (result == 0 && exitCode) *exitCode = host.ExitCode();
        }
        host.Release();
    }

    // Also after a failed start or without waiting: the file holds whatever was written so far.
    if (output) {
        if (std::optional<std::string> bytes = host.TakeCaptureFile(capturePath)) *output = CapturedText(*bytes);
    }
    return result;
}

} // namespace hotfix
