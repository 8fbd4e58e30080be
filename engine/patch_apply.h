#pragma once
// Applying a patch file to an update directory, as one transaction:
//   1. a journal left by an interrupted run is settled first (rolled back, or its clean-up
//      finished when every swap had been done);
//   2. the patch file is read and checked in full (digest, bounds, safe paths);
//   3. every target is checked: already new (skipped), a known old version (patched), absent
//      and added by the entry, or anything else: the whole patch is refused, nothing changes;
//   4. the journal is written and flushed; each new file is built beside its target, its size
//      and SHA-256 verified while it is written, and flushed;
//   5. the swaps: old files become backups, new files take their names;
//   6. the journal is marked committed, backups and journal are deleted.
// Any failure in 4-6 rolls every file back. Portable: all file access goes through the port.
#include "engine/engine_file_system.h"

#include <cstddef>
#include <string>

namespace hotfix::engine {

// Also the exit codes of patch.exe (5 is the front end's own: usage or engine missing).
enum class ApplyOutcome : int {
    Applied = 0,
    AlreadyApplied = 1,
    NotApplicable = 2,           // a file is in no state the patch knows; nothing changed
    CorruptPatch = 3,            // nothing changed (or everything rolled back)
    IoFailureRolledBack = 4,     // nothing changed (or everything rolled back)
    IoFailureNotRolledBack = 6,  // a rollback failed too: the journal stays, the next run settles it
};

const char* OutcomeName(ApplyOutcome outcome);

// Hears what the engine does. Say() receives one line per step, for the console.
// AfterSwap() is called after each file's swap with the count so far; a test may stop the
// process there to play a crash.
class ApplyListener {
public:
    virtual ~ApplyListener() = default;
    virtual void Say(const std::string& line) { (void)line; }
    virtual void AfterSwap(std::size_t swapsDone) { (void)swapsDone; }
};

struct ApplyResult {
    ApplyOutcome outcome = ApplyOutcome::IoFailureRolledBack;
    std::string message; // one line for the user: what happened, naming the file concerned
    std::string file;    // the file concerned, when one is ("" otherwise)
};

ApplyResult ApplyPatch(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener);

// Step 1 alone: settles a journal left in the update directory, if any. ok when there was none
// or it was settled (the journal is gone then); on failure the journal stays.
IoStatus RecoverInterruptedRun(EngineFileSystem& fs, ApplyListener& listener);

} // namespace hotfix::engine
