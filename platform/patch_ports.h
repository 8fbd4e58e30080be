#pragma once
// Ports of the patch application: the payload carried in the executable, the few file
// operations of the patch sequence, starting and watching a child program, and the
// environment that temporary files are chosen from.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/code_page.h"

namespace hotfix {

// A payload resource as the platform holds it in memory: valid for the life of the process.
struct PayloadBytes {
    const void* data = nullptr;
    std::uint32_t size = 0;
};

// What became of a file the patch sequence placed, when it removed it.
enum class Removal {
    Removed, // deleted
    Absent,  // there was nothing to delete
    Left,    // it could not be deleted and stays
};

// The resources of type "PATCH" of one module, and the files placed from them. The directory a
// file is placed in may be writable by others: a placed file is held from the moment it is
// written until it is deleted, so that others may read, load and run it but nobody may write,
// rename or delete it, and no operation ever goes through a link.
class PayloadPlatform {
public:
    virtual ~PayloadPlatform() = default;

    // The payload named `name` (the lookup ignores letter case): found, loaded and locked.
    // Empty optional when any of the three steps fails.
    virtual std::optional<PayloadBytes> LockPayload(const std::string& name) = 0;

    // Each call names the file as `directory` (ending with a backslash) and `name` (a bare
    // file name): the file is `directory + name`.

    // Removes whatever entry stands there as the entry itself: a file, a link (never what it
    // points to), a hard link's own name. True when nothing stands there afterwards. False, and
    // nothing touched, for what may not be removed: a directory, or an entry whose name leads
    // out of the directory (a link that cannot be opened as itself).
    virtual bool ClearTarget(const std::string& directory, const std::string& name) = 0;

    // Creates the file, which must not exist, and writes `payload` to it in one write, unshared,
    // then closes it. False when any step failed; a file this call created is deleted again.
    virtual bool WriteTarget(const std::string& directory, const std::string& name, const PayloadBytes& payload) = 0;

    // Opens the file and holds it: shared for reading, loading and running only. True when it
    // is held and, checked through the held handle, is a plain file of the directory (its final
    // path is the directory's own followed by `name`), has no other hard link, and holds exactly
    // `payload`. False when not held (nothing is held then).
    virtual bool HoldTarget(const std::string& directory, const std::string& name, const PayloadBytes& payload) = 0;

    // Deletes the held file through its handle and lets it go. 0 when deleted, 2 when nothing of
    // that name is held; otherwise the platform's error, and it stays held.
    virtual std::uint32_t DeleteHeld(const std::string& directory, const std::string& name) = 0;
};

// What the patch sequence calls to place one payload and to remove it again.
class PayloadStore {
public:
    virtual ~PayloadStore() = default;
    // 1 when payload `name` stands at `directory + name`, checked byte for byte and held until
    // RemovePayload; 0 otherwise, and then nothing of this call's is left at that name.
    virtual int ExtractPayload(const std::string& directory, const std::string& name) = 0;
    // Deletes a payload ExtractPayload placed, retrying a while if the platform refuses.
    virtual Removal RemovePayload(const std::string& directory, const std::string& name) = 0;
};

// File operations of the patch sequence.
class FileOperations {
public:
    virtual ~FileOperations() = default;

    // Calls `visit` with the path, relative to `directory` ("bin\\x.dll"), of every entry below
    // it, without descending into links or reparse points, until `visit` returns false.
    virtual void VisitEntries(const std::string& directory,
                              const std::function<bool(const std::string& relative)>& visit) = 0;

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

    // The ANSI code page the variables' values are in.
    virtual const CodePage& AnsiCodePage() const = 0;
};

} // namespace hotfix
