#pragma once
// What the update directory holds for one patch, gathered once before anything is decided:
// the journal, and for each entry what its name, its backup name and its staged name hold.
// The decisions (patch_settle.h, patch_plan.h) are pure functions of these facts.
#include "engine/engine_file_system.h"
#include "engine/patch_journal.h"
#include "engine/rtp_format.h"

#include <string>
#include <utility>
#include <vector>

namespace hotfix::engine {

// One name, as found. `digest` is set for files once their contents were looked at (only its
// `size` when `sized`: see Hashing::ForCheck); `attributes` (kKeptAttributes bits) for an
// entry's own file.
struct NameFacts {
    PathKind kind = PathKind::Missing;
    bool hashed = false;
    FileDigest digest;
    std::uint32_t attributes = 0;
    bool sized = false;
};

struct EntryScene {
    NameFacts target; // the entry's own name
    NameFacts backup; // NAME.hfx~old
    NameFacts staged; // NAME.hfx~new
    // For a missing target: its parent directories, nearest first, up to and including the first
    // that is not missing (a directory, a file or a link), or the root.
    std::vector<std::pair<std::string, PathKind>> parents;
};

struct DirectoryFacts {
    JournalFinding journal = JournalFinding::None;
    Journal bound;            // the journal, when it is Bound
    bool journalTemp = false; // hfx~journal.tmp stands in the root
    std::vector<EntryScene> entries; // one per patch entry, in order
};

// A failure while gathering, with the name that could not be looked at or read.
struct GatherError {
    IoStatus status;
    std::string path;
};

enum class Hashing {
    None,     // only the journal is read
    All,      // every file found is hashed
    // Every file, except an entry's own file whose size alone names the old version it is
    // (OldVersionBySize): only its size is taken, and the transaction proves it, hashing it as
    // the delta's source or, replaced by whole content, once it is moved aside.
    ForCheck,
};

// The one old version of a change entry that a file of `size` can be, when no other version,
// the new one included, has that size; nullptr otherwise.
const OldVersion* OldVersionBySize(const PatchEntry& entry, std::uint64_t size);

// Looks at every name (kinds, parents, attributes), changing nothing, and hashes as `hashing`
// says. False with `error` when a name could not be looked at or read.
bool GatherFacts(EngineFileSystem& fs, const PatchModel& model, Hashing hashing, DirectoryFacts& facts,
                 GatherError& error);

// Hashes the files found by a gathering, as `hashing` says, those already hashed excepted.
bool HashContents(EngineFileSystem& fs, const PatchModel& model, Hashing hashing, DirectoryFacts& facts,
                  GatherError& error);

} // namespace hotfix::engine
