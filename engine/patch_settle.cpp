#include "engine/patch_settle.h"

#include "engine/file_steps.h"
#include "engine/patch_path.h"

namespace hotfix::engine {

namespace {

bool CanReach(const EntryFacts& e, Direction direction) {
    const bool old = direction == Direction::Old;
    switch (e.kind) {
    case EntryKind::Change:
        return old ? e.target == Holds::Old || ((e.target == Holds::New || e.target == Holds::Absent) && e.backup == Holds::Old)
                   : e.target == Holds::New || ((e.target == Holds::Old || e.target == Holds::Absent) && e.staged == Holds::New);
    case EntryKind::Add:
        return old ? e.target == Holds::Absent || e.target == Holds::New
                   : e.target == Holds::New || (e.target == Holds::Absent && e.staged == Holds::New);
    case EntryKind::Remove:
        return old ? e.target == Holds::Old || (e.target == Holds::Absent && e.backup == Holds::Old)
                   : e.target == Holds::Absent || e.target == Holds::Old;
    }
    return false;
}

bool IsKnownVersion(Holds holds) { return holds == Holds::Old || holds == Holds::New; }

// The steps that take one entry, which can reach `direction`, there.
void StepsFor(const EntryFacts& e, std::size_t index, Direction direction, SettlePlan& plan) {
    auto add = [&](SettleStepKind kind) { plan.steps.push_back({kind, index}); };
    bool backupUsed = false;
    if (direction == Direction::Old) {
        if (e.kind == EntryKind::Add && e.target == Holds::New) add(SettleStepKind::DeleteTarget);
        if (e.kind != EntryKind::Add && e.target != Holds::Old) {
            add(SettleStepKind::RestoreBackup);
            backupUsed = true;
        }
    } else {
        if (e.kind == EntryKind::Remove && e.target == Holds::Old) add(SettleStepKind::DeleteTarget);
        if (e.kind != EntryKind::Remove && e.target != Holds::New) add(SettleStepKind::PutStaged);
    }
    const bool stagedUsed = direction == Direction::New && e.kind != EntryKind::Remove && e.target != Holds::New;
    if (!stagedUsed && e.staged != Holds::Absent && e.staged != Holds::NotAFile) add(SettleStepKind::DeleteStaged);
    if (!backupUsed && IsKnownVersion(e.backup)) add(SettleStepKind::DeleteBackup);
    const bool backupLeft = !backupUsed && (e.backup == Holds::OtherFile || e.backup == Holds::NotAFile);
    if (backupLeft || e.staged == Holds::NotAFile) plan.leftovers.push_back(index);
}

} // namespace

SettlePlan DecideSettlement(const SettleFacts& facts) {
    SettlePlan plan;
    if (facts.journal == JournalFinding::Foreign) {
        plan.verdict = SettleVerdict::Foreign;
        return plan;
    }
    bool interrupted = facts.journal != JournalFinding::None || facts.journalTemp;
    for (const EntryFacts& e : facts.entries)
        if (e.backup != Holds::Absent || e.staged != Holds::Absent) interrupted = true;
    if (!interrupted) return plan;

    const bool bound = facts.journal == JournalFinding::Bound;
    const Direction first = bound && facts.journalState == JournalState::Swapping ? Direction::Old : Direction::New;
    const Direction second = first == Direction::Old ? Direction::New : Direction::Old;
    for (Direction direction : {first, second}) {
        bool everyEntry = true;
        for (const EntryFacts& e : facts.entries) everyEntry = everyEntry && CanReach(e, direction);
        if (!everyEntry) continue;
        plan.verdict = SettleVerdict::Settle;
        plan.direction = direction;
        for (std::size_t i = 0; i < facts.entries.size(); ++i) StepsFor(facts.entries[i], i, direction, plan);
        return plan;
    }
    plan.verdict = SettleVerdict::Conflict;
    for (std::size_t i = 0; i < facts.entries.size(); ++i)
        if (!CanReach(facts.entries[i], Direction::Old) && !CanReach(facts.entries[i], Direction::New))
            plan.conflicts.push_back(i);
    if (plan.conflicts.empty())
        for (std::size_t i = 0; i < facts.entries.size(); ++i)
            if (!CanReach(facts.entries[i], first)) plan.conflicts.push_back(i);
    return plan;
}

namespace {

Holds Classify(const PatchEntry& entry, const NameFacts& name) {
    if (name.kind == PathKind::Missing) return Holds::Absent;
    if (name.kind != PathKind::File) return Holds::NotAFile;
    if (!name.hashed) return Holds::OtherFile;
    for (const OldVersion& old : entry.olds)
        if (old.digest == name.digest) return Holds::Old;
    if (entry.kind != EntryKind::Remove && name.digest == entry.target) return Holds::New;
    return Holds::OtherFile;
}

} // namespace

SettleFacts SettleFactsOf(const PatchModel& model, const DirectoryFacts& facts) {
    SettleFacts settle;
    settle.journal = facts.journal;
    settle.journalState = facts.bound.state;
    settle.journalTemp = facts.journalTemp;
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const PatchEntry& entry = model.entries[i];
        const EntryScene& scene = facts.entries.at(i);
        settle.entries.push_back(
            {entry.kind, Classify(entry, scene.target), Classify(entry, scene.backup), Classify(entry, scene.staged)});
    }
    return settle;
}

bool ShowsInterruptedRun(const DirectoryFacts& facts) {
    if (facts.journal != JournalFinding::None || facts.journalTemp) return true;
    // A link is no trace of ours: it is never touched, and the check refuses the patch.
    auto trace = [](const NameFacts& name) { return name.kind == PathKind::File || name.kind == PathKind::Directory; };
    for (const EntryScene& scene : facts.entries)
        if (trace(scene.backup) || trace(scene.staged)) return true;
    return false;
}

namespace {

IoStatus Carry(EngineFileSystem& fs, const PatchEntry& entry, const SettleStep& step, const EntryFacts& facts,
               ApplyListener& listener) {
    const std::string& path = entry.path;
    IoStatus status;
    switch (step.kind) {
    case SettleStepKind::RestoreBackup:
        status = fs.Rename(BackupPathOf(path), path, facts.target != Holds::Absent);
        if (status.ok) listener.Say("restored " + path);
        break;
    case SettleStepKind::PutStaged:
        status = fs.Rename(StagedPathOf(path), path, facts.target != Holds::Absent);
        if (status.ok) listener.Say("put in place " + path);
        break;
    case SettleStepKind::DeleteTarget:
        status = fs.Delete(path);
        if (status.ok) listener.Say((entry.kind == EntryKind::Add ? "removed added " : "removed ") + path);
        break;
    case SettleStepKind::DeleteBackup: status = fs.Delete(BackupPathOf(path)); break;
    case SettleStepKind::DeleteStaged: status = fs.Delete(StagedPathOf(path)); break;
    }
    return status;
}

// Directories the journal says the run made: only those that hold an added file of this patch,
// and only when empty.
void RemoveCreatedDirectories(EngineFileSystem& fs, const PatchModel& model, const Journal& journal,
                              ApplyListener& listener) {
    for (auto directory = journal.createdDirectories.rbegin(); directory != journal.createdDirectories.rend();
         ++directory) {
        const std::string prefix = PathKey(*directory) + "\\";
        bool backed = false;
        for (const PatchEntry& entry : model.entries)
            if (entry.kind == EntryKind::Add && PathKey(entry.path).compare(0, prefix.size(), prefix) == 0) backed = true;
        PathKind kind;
        if (!backed) {
            listener.Say("the journal names the directory " + *directory + ", which this patch never makes: left alone");
            continue;
        }
        if (QueryKind(fs, *directory, kind).ok && kind == PathKind::Directory) fs.RemoveEmptyDirectory(*directory);
    }
}

std::string NamesOf(const PatchModel& model, const std::vector<std::size_t>& indexes) {
    std::string names;
    for (std::size_t index : indexes) names += (names.empty() ? "" : ", ") + model.entries[index].path;
    return names;
}

} // namespace

IoStatus CarrySettlement(EngineFileSystem& fs, const PatchModel& model, const SettlePlan& plan,
                         const DirectoryFacts& facts, ApplyListener& listener) {
    switch (plan.verdict) {
    case SettleVerdict::Nothing: return IoStatus::Success();
    case SettleVerdict::Foreign:
        return IoStatus::Failure(0, std::string("the journal ") + kJournalName +
                                        " belongs to another patch file; apply that one to settle it (nothing was touched)");
    case SettleVerdict::Conflict:
        return IoStatus::Failure(0, "an interrupted run left files in no state this patch knows (" +
                                        NamesOf(model, plan.conflicts) + "); nothing was touched");
    case SettleVerdict::Settle: break;
    }
    const SettleFacts settle = SettleFactsOf(model, facts);
    if (facts.journal == JournalFinding::Damaged)
        listener.Say(std::string("the journal ") + kJournalName + " is damaged: settling from the files themselves");
    listener.Say(plan.direction == Direction::Old ? "rolling back an interrupted run"
                                                  : "finishing an interrupted run");
    IoStatus first, status;
    for (const SettleStep& step : plan.steps) {
        status = Carry(fs, model.entries[step.entry], step, settle.entries[step.entry], listener);
        if (!status.ok && first.ok) first = status;
    }
    if (!first.ok) return IoStatus::Failure(first.code, "settling an interrupted run failed: " + first.message);
    if (plan.direction == Direction::Old && facts.journal == JournalFinding::Bound)
        RemoveCreatedDirectories(fs, model, facts.bound, listener);
    if (!plan.leftovers.empty())
        listener.Say("left alone, not the engine's: what stands under the backup or staged names of " +
                     NamesOf(model, plan.leftovers));
    if (!(status = DeleteIfPresent(fs, kJournalTempName)).ok || !(status = DeleteIfPresent(fs, kJournalName)).ok)
        return IoStatus::Failure(status.code, "cannot remove the journal: " + status.message);
    return IoStatus::Success();
}

} // namespace hotfix::engine
