#pragma once
// The check of a transaction, as a pure decision: from the patch and the facts gathered about
// the update directory (patch_facts.h), what happens to each entry, or why the whole patch is
// refused. Nothing is read or changed here.
#include "engine/patch_apply.h"
#include "engine/patch_facts.h"
#include "engine/rtp_format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hotfix::engine {

enum class ChangeKind : std::uint8_t {
    Replace = 1, // target -> backup, staged -> target
    Add = 2,     // staged -> target (target was absent)
    Remove = 3,  // target -> backup (deleted when committed)
};

// One change the transaction makes.
struct PlannedAction {
    ChangeKind action = ChangeKind::Replace;
    const PatchEntry* entry = nullptr;
    const OldVersion* from = nullptr; // the version found on disk (Replace, Remove)
    std::uint32_t attributes = 0;     // the old file's, which the new one keeps (Replace)
    // `from` was told by the file's size alone (Hashing::ForCheck): staging hashes the delta's
    // source, and a file that is not `from` after all refuses the patch as the check would have.
    bool bySize = false;
};

// The end of the refusal of a file that is in no state the patch knows.
extern const char* const NotAVersionItAppliesTo;

struct Plan {
    std::vector<PlannedAction> actions;    // in entry order
    std::vector<std::string> directories;  // to create for added files, parents first
    std::vector<std::string> notes;        // one line per entry, for the console
};

struct Refusal {
    ApplyOutcome outcome = ApplyOutcome::NotApplicable;
    std::string message;
    std::string file;
};

// Per entry, from what its name holds: the new version (skipped), one of its old versions
// (replaced, or removed), missing (added with the directories it lacks, or skipped for a
// removal). Anything else refuses the whole patch, naming the file: a changed or other version,
// a missing file the patch changes, a directory or a link at the name, a file or a link where a
// directory must be made, anything under the engine's own names beside a file it changes, an
// entry naming the patch file itself (`patchName`, "" when the patch lies elsewhere). Facts must
// have been gathered with Hashing::ForCheck or All. True with `plan`, or false with `refusal`.
// Example: {app.exe: old version 1} -> Replace app.exe from version 1, note "app.exe: will be patched".
bool PlanPatch(const PatchModel& model, const DirectoryFacts& facts, const std::string& patchName, Plan& plan,
               Refusal& refusal);

} // namespace hotfix::engine
