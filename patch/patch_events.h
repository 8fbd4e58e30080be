#pragma once
// Port: what the patch sequence reports about each step, and how it runs the engine, for
// callers that log it. A sequence given no events behaves as if nobody listened.
#include <cstdint>
#include <string>

#include "platform/patch_ports.h"

namespace hotfix {

class PatchEvents {
public:
    virtual ~PatchEvents() = default;

    // A payload was written to `path`: `result` 1 when every byte reached it, else 0.
    virtual void PayloadWritten(const std::string& path, int result) = 0;

    // The engine ran as `commandLine` from `directory`. `runResult` is the command runner's
    // code (0 started and waited for, else the platform's error or 1460 on time-out);
    // `exitCode` is the engine's own exit code when it was read (`hasExitCode`); `output` is
    // its console output when it was captured.
    virtual void EngineRan(const std::string& directory, const std::string& commandLine,
                           std::uint32_t runResult, bool hasExitCode, std::uint32_t exitCode,
                           const std::string& output) = 0;

    // What became of `path` when the sequence removed it.
    virtual void FileDeleted(const std::string& path, Removal removal) = 0;

    // Placing or removing `path` waited `waitedMs` for another process that held it (platform
    // error `error`), and then went through or gave up; `holders` names who held it, as far as
    // the platform tells.
    virtual void FileWaitedFor(const std::string& path, std::uint32_t error, std::uint32_t waitedMs, bool wentThrough,
                               const std::string& holders) {
        (void)path, (void)error, (void)waitedMs, (void)wentThrough, (void)holders;
    }
};

// How the patch sequence starts the engine. The default is the interactive run: its console
// shown normally, its output left in that console.
struct EngineRunMode {
    int showMode = 1;             // SW_SHOWNORMAL; 0 is SW_HIDE
    bool captureOutput = false;   // capture the console output for PatchEvents::EngineRan
};

// Port: where the caller sets how the platform's patch sequence runs the engine and whom it
// reports its steps to. Set once, before the first run.
class EngineConfiguration {
public:
    virtual ~EngineConfiguration() = default;
    // `events` may be null (nobody listens); it must outlive every later patch sequence.
    virtual void Configure(const EngineRunMode& mode, PatchEvents* events) = 0;
};

} // namespace hotfix
