#pragma once
// Port: the running processes of the system, as the running test reads them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/privilege_token.h"

namespace hotfix {

// What the process walk tells of one process.
struct SnapshotRecord {
    std::uint32_t processId = 0;
    std::string exeFile;   // the executable's bare file name, without a directory
};

// A picture of the running processes at one moment. Destroying it releases it.
class ProcessSnapshot {
public:
    virtual ~ProcessSnapshot() = default;
    // The first process of the walk into `record`; false when the walk yields none.
    virtual bool First(SnapshotRecord& record) = 0;
    // The next process into `record`; false at the end of the walk or on failure.
    virtual bool Next(SnapshotRecord& record) = 0;
};

// The process-status library, loaded. Destroying it unloads the library.
class ProcessStatusLibrary {
public:
    virtual ~ProcessStatusLibrary() = default;

    // Looks up the two entry points that read a process's module path; true when both exist.
    // ReadExecutablePath is asked only after this returned true.
    virtual bool FindEntryPoints() = 0;

    // The full path of process `processId`'s executable module, as much of it as fits a
    // 260-byte buffer. Where the library cannot read it (the process cannot be opened for
    // reading, or its modules cannot be listed, as a 32-bit process cannot list a 64-bit
    // one's), the platform's image name of the process is asked instead, with the least
    // access that query needs. nullopt when neither can be read. Any handle opened is closed
    // before returning.
    virtual std::optional<std::string> ReadExecutablePath(std::uint32_t processId) = 0;
};

class ProcessSource {
public:
    virtual ~ProcessSource() = default;

    // The process-status library, loaded only from the system directory; null when it
    // cannot be loaded.
    virtual std::unique_ptr<ProcessStatusLibrary> LoadStatusLibrary() = 0;

    // The installer's own access token, opened to adjust and query privileges; null when it
    // cannot be opened.
    virtual std::unique_ptr<PrivilegeToken> OpenOwnToken() = 0;

    // A snapshot of all processes; null when none can be had.
    virtual std::unique_ptr<ProcessSnapshot> TakeSnapshot() = 0;
};

} // namespace hotfix
