#pragma once
// A snapshot of the running processes, each with the path of its executable where that can
// be read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/process_source.h"

namespace hotfix {

// Paths are held as in a zero-terminated buffer of 260 bytes: at most 259 characters.
constexpr std::size_t kProcessPathBufferSize = 260;

// One running process. A new entry has process id 0 and an empty path.
class ProcessEntry {
public:
    std::uint32_t ProcessId() const { return m_processId; }
    const std::string& Path() const { return m_path; }

    // True when Path() is the full path of the executable, as read from the process; false
    // when it is the snapshot's bare file name, the process's path not being readable.
    bool PathRead() const { return m_pathRead; }

    void SetProcessId(std::uint32_t processId) { m_processId = processId; }
    void SetPathRead(bool read) { m_pathRead = read; }

    // Stores `path` as the 260-byte buffer would hold it: up to its first zero byte, and cut
    // to 259 characters. SetPath("C:\\a.exe\0junk") stores "C:\\a.exe".
    void SetPath(const std::string& path);

private:
    std::uint32_t m_processId = 0;   // 0 is the system's idle pseudo-process
    std::string m_path;              // full path of the executable, or its bare file name
    bool m_pathRead = false;
};

// The processes in the order in which the walk yielded them. The list owns its entries and
// the process-status library it loaded: destroying the list frees the entries first, then
// unloads the library.
class ProcessList {
public:
    ProcessList() = default;
    virtual ~ProcessList();
    ProcessList(const ProcessList&) = delete;
    ProcessList& operator=(const ProcessList&) = delete;

    std::size_t Size() const { return m_entries.size(); }
    const ProcessEntry& At(std::size_t index) const { return *m_entries[index]; }

    void Append(std::unique_ptr<ProcessEntry> entry) { m_entries.push_back(std::move(entry)); }

    // Takes ownership of the loaded library (or none).
    void SetLibrary(std::unique_ptr<ProcessStatusLibrary> library) { m_library = std::move(library); }
    ProcessStatusLibrary* Library() const { return m_library.get(); }

private:
    std::unique_ptr<ProcessStatusLibrary> m_library;
    std::vector<std::unique_ptr<ProcessEntry>> m_entries;
};

// Builds the list of all running processes. Switches "SeDebugPrivilege" on in the own token
// for the walk and off after it, whatever it was before (a token that cannot be opened, or a
// privilege the token does not hold, only narrows what can be read). Every process the walk
// yields is listed, with the full path of its executable when the process-status library is
// there and the process can be read, and with the snapshot's bare file name otherwise.
// An empty list when no snapshot can be had; null only when the list itself cannot be made.
std::unique_ptr<ProcessList> BuildProcessList(ProcessSource& source);

} // namespace hotfix
