#pragma once
// The journal of a transaction: what the engine is about to swap, written and flushed in the
// root of the update directory before the first swap, and read back by the next run if this one
// did not finish. The names of the engine's own files (staged new file, backup of the old file)
// follow from each target's path, so the journal alone says what to undo.
#include "engine/engine_file_system.h"
#include "engine/rtp_format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hotfix::engine {

enum class JournalAction : std::uint8_t {
    Replace = 1, // target -> backup, staged -> target
    Add = 2,     // staged -> target (target was absent)
    Remove = 3,  // target -> backup (deleted when committed)
};

enum class JournalState : std::uint32_t {
    Swapping = 1,  // swaps may be under way: roll back
    Committed = 2, // every swap is done: only the backups are left to delete
};

struct JournalRecord {
    JournalAction action = JournalAction::Replace;
    std::string path;
    FileDigest newFile; // what an Add put in place (checked before undoing it)
};

struct Journal {
    JournalState state = JournalState::Swapping;
    std::vector<JournalRecord> records;
    std::vector<std::string> createdDirectories; // parents first
};

std::string StagedPathOf(const std::string& path);
std::string BackupPathOf(const std::string& path);

std::vector<std::uint8_t> SerializeJournal(const Journal& journal);
// False when the bytes are not a complete, intact journal with safe paths.
bool ParseJournal(const std::vector<std::uint8_t>& bytes, Journal& journal);

// Writes the journal durably under its final name: a temporary file, flushed, then renamed over
// the final name. Either the old journal (or none) or the new one exists afterwards, never a
// torn one.
IoStatus WriteJournal(EngineFileSystem& fs, const Journal& journal);

} // namespace hotfix::engine
