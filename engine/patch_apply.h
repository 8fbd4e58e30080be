#pragma once
// Applying a patch file to an update directory, as one transaction:
//   1. the patch file is read and checked in full (digest, bounds, safe paths);
//   2. whatever an interrupted run of this patch left is settled first (patch_settle.h);
//   3. every target is checked: already new (skipped), a known old version (patched), absent
//      and added by the entry, or anything else (changed, a link, under a link): the whole patch
//      is refused, nothing changes; then the volume must have room for every file to be staged,
//      with a margin, or the patch is refused (IoFailureRolledBack) before anything is written;
//   4. the journal is written and flushed; each new file is built beside its target, its size
//      and SHA-256 verified while it is written, flushed, and given the old file's attributes
//      (a delta's source, the old file, is hashed while it is used: hashing runs on a thread
//      of its own, background_work.h);
//   5. the swaps: old files become backups, new files take their names;
//   6. the journal is marked committed, backups and journal are deleted.
// Any failure in 4-6, exhausted memory included, rolls every file back. Portable: all file
// access goes through the port.
#include "engine/apply_listener.h"
#include "engine/contract/engine_contract.h"
#include "engine/engine_file_system.h"

#include <cstddef>
#include <string>

namespace hotfix::engine {

// What a run ended with. Its value is the exit code of patch.exe for that outcome, and what the
// library's exports return (the contract's EngineExitCode; kExitUsage is the front end's own).
enum class ApplyOutcome : int {
    Applied = kExitApplied,                         // also: settled, or nothing to settle
    AlreadyApplied = kExitAlreadyApplied,
    NotApplicable = kExitNotApplicable,             // a file is in no state the patch knows; nothing changed
    CorruptPatch = kExitCorruptPatch,               // nothing changed (or everything rolled back)
    IoFailureRolledBack = kExitIoFailureRolledBack, // nothing changed (or everything rolled back); memory too
    IoFailureNotRolledBack = kExitNotSettled,       // an interrupted run stays unsettled: its journal stays
};

const char* OutcomeName(ApplyOutcome outcome);

struct ApplyResult {
    ApplyOutcome outcome = ApplyOutcome::IoFailureRolledBack;
    std::string message; // one line for the user: what happened, naming the file concerned
    std::string file;    // the file concerned, when one is ("" otherwise)
};

// `patchName` is the patch file's path relative to the update directory when it lies there
// ("" otherwise): no entry may name it.
ApplyResult ApplyPatch(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener,
                       const std::string& patchName = std::string());

// Steps 1 and 2 alone: settles an interrupted run of this patch, if any, and changes nothing
// else. Applied when none remains, CorruptPatch for a bad patch file, IoFailureNotRolledBack
// when it could not be settled.
ApplyResult SettlePatch(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener);

} // namespace hotfix::engine
