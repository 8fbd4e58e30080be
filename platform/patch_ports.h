#pragma once
// Ports of the patch application: the payload carried in the executable, the few file
// operations of the patch sequence, starting and watching a child program, and the
// environment that temporary files are chosen from.
#include <cstdint>
#include <optional>
#include <string>

namespace hotfix {

// A payload resource as the platform holds it in memory: valid for the life of the process.
struct PayloadBytes {
    const void* data = nullptr;
    std::uint32_t size = 0;
};

// The resources of type "PATCH" of one module, and the one target file being written.
class PayloadPlatform {
public:
    virtual ~PayloadPlatform() = default;

    // The payload named `name` (the lookup ignores letter case): found, loaded and locked.
    // Empty optional when any of the three steps fails.
    virtual std::optional<PayloadBytes> LockPayload(const std::string& name) = 0;

    // Creates or truncates `path` for writing, unshared, normal attributes. False when it cannot
    // be opened; nothing was created or changed then.
    virtual bool OpenTarget(const std::string& path) = 0;

    // One write of `size` bytes at `data` to the open target. True only when the write
    // succeeded and every byte reached the file.
    virtual bool WriteTarget(const void* data, std::uint32_t size) = 0;

    // Closes the open target. False when the close failed (data may not have reached the disk).
    virtual bool CloseTarget() = 0;

    // Deletes `path` (a target that was opened); failures are not reported.
    virtual void DeleteTarget(const std::string& path) = 0;
};

// What the patch sequence calls to write one payload out.
class PayloadStore {
public:
    virtual ~PayloadStore() = default;
    // 1 when every byte of payload `name` reached `directory + name` and the file was closed;
    // 0 otherwise, and then nothing of that name is left by this call.
    virtual int ExtractPayload(const std::string& directory, const std::string& name) = 0;
};

// File operations of the patch sequence.
class FileOperations {
public:
    virtual ~FileOperations() = default;

    // Deletes the file at `path`. 0 when it was deleted; otherwise the platform's error code
    // (2 or 3 when there was nothing to delete).
    virtual std::uint32_t RemoveFile(const std::string& path) = 0;

    // Asks the platform to delete `path` when the machine next starts. True when recorded.
    virtual bool RemoveAtRestart(const std::string& path) = 0;

    // Makes `directory` the process's current directory. False when it could not.
    virtual bool ChangeDirectory(const std::string& directory) = 0;

    // Blocks the thread for `milliseconds`.
    virtual void Pause(std::uint32_t milliseconds) = 0;
};

// Starting a child program and answering about it, one child at a time.
class ChildProcessHost {
public:
    virtual ~ChildProcessHost() = default;

    // Starts `commandLine` (no separate program name, nothing inherited, the caller's
    // environment and current directory) with its window shown as `showMode`.
    // 0 when started; otherwise the platform's error code, and nothing is held.
    virtual std::uint32_t Start(const std::string& commandLine, int showMode) = 0;

    // Takes every message waiting in the thread's queue and dispatches it.
    virtual void ServeMessages() = 0;

    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // The child's exit code as the platform reports it: 259 while it runs.
    virtual std::uint32_t ExitCode() = 0;

    // True when the child has ended, told by its handle rather than by its exit code.
    virtual bool HasEnded() = 0;

    // Ends the child with `exitCode`.
    virtual void Terminate(std::uint32_t exitCode) = 0;

    // Closes what Start obtained (process handle, then thread handle).
    virtual void Release() = 0;

    // Opens the capture file at `path` (existing only, unshared), reads all of it, converts it
    // from the OEM to the ANSI code page, closes and deletes it. The bytes read, or an empty
    // optional when it could not be opened or read (a file that was opened is deleted all the same).
    virtual std::optional<std::string> TakeCaptureFile(const std::string& path) = 0;
};

// What the patch sequence calls to run the engine.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // See RunCommand in patch/command_runner.h.
    virtual std::uint32_t RunCommand(const std::string& commandLine, int showMode,
                                     int timeLimitSeconds, std::string* output) = 0;

    // The child's own exit code after the last RunCommand that waited for it to end; empty
    // when that call did not (not started, not waited for, timed out) or the runner cannot tell.
    virtual std::optional<std::uint32_t> LastExitCode() const { return std::nullopt; }
};

// What temporary files are chosen from: the process environment, file attributes, the clock.
class TempEnvironment {
public:
    virtual ~TempEnvironment() = default;

    // The value of environment variable `name` (getenv), or empty optional when unset.
    virtual std::optional<std::string> Variable(const std::string& name) = 0;

    // GetFileAttributesA of `path`, or empty optional when the call fails.
    virtual std::optional<std::uint32_t> Attributes(const std::string& path) = 0;

    // The calendar time in whole seconds (time(NULL)).
    virtual std::int64_t Now() = 0;
};

} // namespace hotfix
