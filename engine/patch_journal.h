#pragma once
// The journal of a transaction, written and flushed in the root of the update directory before
// the first new file is staged, and read back by the next run if this one did not finish.
//
// The update directory may be writable by people other than the one who runs the engine, so
// the journal is evidence, not authority: anyone can write one with a valid checksum. It names
// the patch file it belongs to (by that file's digest) and says which way an interrupted run
// was going; which files to touch, and which contents are acceptable, always come from the
// patch file itself and what is on disk (patch_settle.h).
#include "engine/engine_file_system.h"
#include "engine/sha256.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hotfix::engine {

enum class JournalState : std::uint32_t {
    Swapping = 1,  // files may be half swapped: an interrupted run is rolled back
    Committed = 2, // every swap is done: an interrupted run is finished
};

struct Journal {
    JournalState state = JournalState::Swapping;
    Sha256Digest patchDigest{};                  // the digest of the patch file being applied
    std::vector<std::string> createdDirectories; // made for added files, parents first
};

std::string StagedPathOf(const std::string& path);
std::string BackupPathOf(const std::string& path);

std::vector<std::uint8_t> SerializeJournal(const Journal& journal);
// False when the bytes are not a complete, intact journal whose paths pass IsSafePatchPath;
// `journal` is unspecified then.
bool ParseJournal(const std::uint8_t* data, std::size_t size, Journal& journal);

// Writes the journal durably under its final name: a temporary file, flushed, then renamed over
// the final name. Either the old journal (or none) or the new one exists afterwards, never a
// torn one.
IoStatus WriteJournal(EngineFileSystem& fs, const Journal& journal);

// What the root of the update directory holds under the journal's name.
enum class JournalFinding {
    None,     // no journal
    Damaged,  // something that is not an intact journal (truncated, garbage, a directory...)
    Foreign,  // an intact journal of another patch file
    Bound,    // an intact journal of this patch file
};

// Looks for a journal and reads it when there is one. Fails only when the question cannot be
// answered (the name cannot be looked at or read); a link under the journal's name is Damaged
// and never opened.
IoStatus FindJournal(EngineFileSystem& fs, const Sha256Digest& patchDigest, JournalFinding& finding,
                     Journal& journal);

} // namespace hotfix::engine
