#include "app/pending_restart.h"

#include <algorithm>

#include "process/file_name_compare.h"

namespace hotfix {

const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char* const kPendingRenameValues[2] = {"PendingFileRenameOperations", "PendingFileRenameOperations2"};

namespace {

// The zero-ended string at `pos` (the rest of the bytes when no zero follows); moves past it.
std::string NextString(const std::string& data, std::size_t& pos) {
    const std::size_t end = std::min(data.find('\0', pos), data.size());
    std::string text = data.substr(pos, end - pos);
    pos = end + 1;
    return text;
}

// Removes `prefix` from the start of `text` when it is there. Comparing bytes from the start is
// safe in a double-byte code page: the first byte always begins a character.
bool StripPrefix(std::string& text, const std::string& prefix) {
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    text.erase(0, prefix.size());
    return true;
}

} // namespace

std::vector<PendingRename> ParsePendingRenames(const std::string& data) {
    std::vector<PendingRename> renames;
    std::size_t pos = 0;
    while (pos < data.size()) {
        PendingRename rename;
        rename.source = NextString(data, pos);
        if (rename.source.empty()) break;
        if (pos < data.size()) rename.destination = NextString(data, pos);
        renames.push_back(std::move(rename));
    }
    return renames;
}

std::string Win32PathOfPending(const std::string& path) {
    std::string text = path;
    const bool replace = StripPrefix(text, "!");
    StripPrefix(text, "\\??\\");
    if (!replace) StripPrefix(text, "!");
    return text;
}

bool NamesDirectory(const PendingRename& rename, const std::string& directory, const CodePage& codePage) {
    auto names = [&](const std::string& path) {
        return !path.empty() && IsInDirectory(Win32PathOfPending(path), directory, codePage);
    };
    return names(rename.source) || names(rename.destination);
}

PendingRestart DecidePendingRestart(std::vector<PendingRenameValue> values, const std::string& directory,
                                    const CodePage& codePage) {
    PendingRestart decision;
    decision.values = std::move(values);
    for (const PendingRenameValue& value : decision.values) {
        if (value.read.state != MultiStringRead::State::Read) continue;
        for (const PendingRename& rename : ParsePendingRenames(value.read.data)) {
            if (!NamesDirectory(rename, directory, codePage)) continue;
            decision.blocking = rename;
            decision.blockingValue = value.name;
            return decision;
        }
    }
    return decision;
}

} // namespace hotfix
