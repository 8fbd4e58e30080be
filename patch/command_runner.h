#pragma once
// Starting a child program, waiting for it while the thread's message queue is served, and
// optionally capturing its output through a temporary file named on its command line.
#include <cstdint>
#include <string>

#include "platform/patch_ports.h"

namespace hotfix {

constexpr std::uint32_t kStillActive = 259;      // STILL_ACTIVE: the exit code of a running process
constexpr std::uint32_t kErrorTimeout = 1460;    // ERROR_TIMEOUT: the result, and the child's exit code, on time-out
constexpr std::uint32_t kWaitCycleMilliseconds = 250;

// The strict whole-second limit test: only a positive limit can pass, and it has passed when
// start + limit < now. Example: limit 1 started at second 100 passes at second 102, not at 101.
bool TimeLimitPassed(int timeLimitSeconds, std::int64_t start, std::int64_t now);

// What one waiting cycle saw, after its sleep.
struct CycleFacts {
    std::uint32_t exitCode = kStillActive;   // as GetExitCodeProcess reported it
    bool ended = false;                      // the child has ended (its handle is signalled)
    int timeLimitSeconds = -1;
    std::int64_t start = 0;                  // calendar seconds when the wait began
    std::int64_t now = 0;                    // calendar seconds at this cycle
};

enum class CycleDecision {
    KeepWaiting,   // the child runs and the limit has not passed
    Finished,      // the child ended within the limit: result 0
    TimedOut,      // the limit passed, even if the child ended in this same cycle: terminate, 1460
};

// The decision of one cycle. A child counts as running only when its exit code is 259 and it
// has not ended, so a child that exits with 259 itself ends the wait.
CycleDecision DecideCycle(const CycleFacts& facts);

// The captured bytes (already in the ANSI code page) as text: cut at the first zero byte,
// then every "\r\n" replaced by "\n". Example: "a\r\nb\0c" gives "a\nb".
std::string CapturedText(const std::string& bytes);

// A capture path that names nothing yet: TempDirectory with no fallback, eight random letters,
// ".txt"; formed again while something of that name exists.
std::string ChooseCapturePath(TempEnvironment& environment);

// Runs `commandLine` with its window shown as `showMode` and returns a system error code:
// 0 when the child started and (where waited for) ended within the limit; the platform's code
// when it could not be started; 1460 when the limit passed and the child was terminated.
// timeLimitSeconds: 0 does not wait, negative waits without limit, positive waits that many
// whole seconds (strictly passed, see TimeLimitPassed). With `output`, " > " and a fresh capture
// path are appended to the command line (the child receives them as arguments) and afterwards
// the capture file, when it can be opened, replaces *output and is deleted.
// `exitCode`, when given, receives the child's own exit code when the call waited for it to
// end (result 0 and a non-zero limit), and is emptied otherwise.
std::uint32_t RunCommand(ChildProcessHost& host, TempEnvironment& environment,
                         const std::string& commandLine, int showMode, int timeLimitSeconds,
                         std::string* output, std::optional<std::uint32_t>* exitCode = nullptr);

} // namespace hotfix
