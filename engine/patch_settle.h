#pragma once
// Settling what an interrupted run of a patch left in the update directory: a run killed by a
// task kill, a logoff or a power cut, or a roll-back that could not finish. Every file of the
// patch ends in its old state, or every file in its new state; never a mix.
//
// The directory may be writable by others, so nothing found there is trusted on its word. The
// patch file says which files may be touched (its entries) and which contents are acceptable
// (its old and new hashes); the disk says what each entry's name, backup name and staged name
// hold now. A journal of this patch only chooses between two states that are both reachable;
// a journal of another patch, or a name in a state the patch does not know, stops everything
// with nothing touched. Links and directories under the engine's names are never touched.
#include "engine/apply_listener.h"
#include "engine/engine_file_system.h"
#include "engine/patch_facts.h"
#include "engine/patch_journal.h"
#include "engine/rtp_format.h"

#include <cstddef>
#include <vector>

namespace hotfix::engine {

// What one name holds, as far as the patch knows it.
enum class Holds : std::uint8_t {
    Absent,    // nothing
    Old,       // a file with one of the entry's old versions
    New,       // a file with the entry's new version
    OtherFile, // a file with other content (a half-written staged file, a file of the user's)
    NotAFile,  // a directory or a link: never touched
};

// An entry's three names: the file itself, its backup (NAME.hfx~old), its staged file (NAME.hfx~new).
struct EntryFacts {
    EntryKind kind = EntryKind::Change;
    Holds target = Holds::Absent;
    Holds backup = Holds::Absent;
    Holds staged = Holds::Absent;
};

struct SettleFacts {
    JournalFinding journal = JournalFinding::None;
    JournalState journalState = JournalState::Swapping; // when the journal is Bound
    bool journalTemp = false;                           // hfx~journal.tmp stands in the root
    std::vector<EntryFacts> entries;                    // one per patch entry, in order
};

enum class Direction : std::uint8_t { Old, New };

enum class SettleStepKind : std::uint8_t {
    RestoreBackup, // backup -> name, replacing what stands there
    PutStaged,     // staged -> name, replacing what stands there
    DeleteTarget,  // the entry's name (an added file when going old, a removed one when going new)
    DeleteBackup,  // a backup holding a known version that is not needed
    DeleteStaged,  // a staged file, complete or not
};

struct SettleStep {
    SettleStepKind kind = SettleStepKind::DeleteStaged;
    std::size_t entry = 0;
    bool operator==(const SettleStep& other) const { return kind == other.kind && entry == other.entry; }
};

enum class SettleVerdict : std::uint8_t {
    Nothing,  // no sign of an interrupted run of this patch
    Settle,   // carry out the steps, then remove the journal
    Foreign,  // the journal belongs to another patch file: nothing is touched
    Conflict, // some entry can reach neither state: nothing is touched
};

struct SettlePlan {
    SettleVerdict verdict = SettleVerdict::Nothing;
    Direction direction = Direction::Old;
    std::vector<SettleStep> steps;      // in order
    std::vector<std::size_t> leftovers; // entries whose backup or staged name holds something left alone
    std::vector<std::size_t> conflicts; // entries that can reach neither state
};

// The decision, from the facts alone. A sign of an interrupted run is a journal (of this patch
// or damaged), a journal's temporary file, or anything under an entry's backup or staged name.
// Then the direction is the one every entry can reach: with a journal of this patch the one it
// names first (Swapping: old, Committed: new), otherwise new first (a run whose staging was
// complete is finished rather than undone, so a journal lost with its backups half deleted still
// ends all new). Per entry, going old: a backup with an old version goes back over a new or
// missing file, an added file with the new content is deleted; going new: a verified staged file
// goes over an old or missing file, a removed file's old version is deleted. Staged files are
// deleted either way; backups only when they hold a known version and are not needed.
// Example: a run killed after its first swap (entry 0: new + backup old; entry 1: old + staged
// new), journal Swapping -> Settle, Old, {RestoreBackup 0, DeleteStaged 1}.
SettlePlan DecideSettlement(const SettleFacts& facts);

// The settling facts of `model` in what was gathered (with contents): what each name holds,
// as far as the patch knows it. A file not yet hashed counts as OtherFile.
SettleFacts SettleFactsOf(const PatchModel& model, const DirectoryFacts& facts);

// True when the gathered names (without contents) show a sign of an interrupted run.
bool ShowsInterruptedRun(const DirectoryFacts& facts);

// Carries out a Settle plan, then removes the journal. ok when done; otherwise the first
// failure (what was not done stays, and settling again picks up from the disk). For a Foreign
// or Conflict plan: a failure saying why, nothing touched.
IoStatus CarrySettlement(EngineFileSystem& fs, const PatchModel& model, const SettlePlan& plan,
                         const DirectoryFacts& facts, ApplyListener& listener);

} // namespace hotfix::engine
