#include "process/process_list.h"

#include <new>

#include "process/privilege_switch.h"

namespace hotfix {

void ProcessEntry::SetPath(const std::string& path) {
    std::size_t length = path.find('\0');
    if (length == std::string::npos) length = path.size();
    if (length > kProcessPathBufferSize - 1) length = kProcessPathBufferSize - 1;
    m_path.assign(path, 0, length);
}

ProcessList::~ProcessList() {
    m_entries.clear();
    m_library.reset();
}

namespace {

// The entry for one walked process: the full path when it can be read, the bare name otherwise.
std::unique_ptr<ProcessEntry> MakeEntry(const SnapshotRecord& record, ProcessStatusLibrary* reader) {
    std::unique_ptr<ProcessEntry> entry(new (std::nothrow) ProcessEntry);
    if (!entry) return entry;
    entry->SetProcessId(record.processId);
    entry->SetPath(record.exeFile);
    if (reader) {
        if (const std::optional<std::string> path = reader->ReadExecutablePath(record.processId)) {
            entry->SetPath(*path);
            entry->SetPathRead(true);
        }
    }
    return entry;
}

} // namespace

std::unique_ptr<ProcessList> BuildProcessList(ProcessSource& source) {
    std::unique_ptr<ProcessList> list(new (std::nothrow) ProcessList);
    if (!list) return list;
    list->SetLibrary(source.LoadStatusLibrary());

    // The privilege lets the walk open processes of other users; without it the walk reads
    // what the current rights allow.
    std::unique_ptr<PrivilegeToken> token = source.OpenOwnToken();
    if (token) SwitchPrivilege(*token, kDebugPrivilege, true);

    ProcessStatusLibrary* reader = list->Library();
    if (reader && !reader->FindEntryPoints()) reader = nullptr;

    if (std::unique_ptr<ProcessSnapshot> snapshot = source.TakeSnapshot()) {
        SnapshotRecord record;
        bool more = snapshot->First(record);
        while (more) {
            if (std::unique_ptr<ProcessEntry> entry = MakeEntry(record, reader)) list->Append(std::move(entry));
            record = SnapshotRecord();
            more = snapshot->Next(record);
        }
    }

    if (token) SwitchPrivilege(*token, kDebugPrivilege, false);
    return list;
}

} // namespace hotfix
