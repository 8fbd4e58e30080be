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

IoStatus ClassifyName(EngineFileSystem& fs, const PatchEntry& entry, const std::string& path, Holds& holds) {
    PathKind kind;
    IoStatus status = QueryKind(fs, path, kind);
    if (!status.ok) return status;
    if (kind == PathKind::Missing) {
        holds = Holds::Absent;
        return status;
    }
    if (kind != PathKind::File) {
        holds = Holds::NotAFile;
        return status;
    }
    FileDigest digest;
    if (!(status = HashFile(fs, path, digest)).ok) return status;
    holds = Holds::OtherFile;
    if (entry.kind != EntryKind::Remove && digest == entry.target) holds = Holds::New;
    for (const OldVersion& old : entry.olds)
        if (old.digest == digest) holds = Holds::Old;
    return status;
}

namespace {

IoStatus Gather(EngineFileSystem& fs, const PatchModel& model, SettleFacts& facts, Journal& journal) {
    IoStatus status = FindJournal(fs, model.digest, facts.journal, journal);
    if (!status.ok) return status;
    facts.journalState = journal.state;
    PathKind kind;
    if (!(status = QueryKind(fs, kJournalTempName, kind)).ok) return status;
    facts.journalTemp = kind != PathKind::Missing;

    // A first look, by name only: hashing every file is for interrupted runs.
    bool interrupted = facts.journal != JournalFinding::None || facts.journalTemp;
    facts.entries.assign(model.entries.size(), EntryFacts{});
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const PatchEntry& entry = model.entries[i];
        facts.entries[i].kind = entry.kind;
        for (const std::string& own : {BackupPathOf(entry.path), StagedPathOf(entry.path)}) {
            if (!(status = QueryKind(fs, own, kind)).ok) return status;
            // A link is no trace of ours: it is never touched, and the check refuses the patch.
            if (kind == PathKind::File || kind == PathKind::Directory) interrupted = true;
        }
    }
    if (!interrupted || facts.journal == JournalFinding::Foreign) return IoStatus::Success();
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const PatchEntry& entry = model.entries[i];
        EntryFacts& e = facts.entries[i];
        if (!(status = ClassifyName(fs, entry, entry.path, e.target)).ok ||
            !(status = ClassifyName(fs, entry, BackupPathOf(entry.path), e.backup)).ok ||
            !(status = ClassifyName(fs, entry, StagedPathOf(entry.path), e.staged)).ok)
            return status;
    }
    return IoStatus::Success();
}

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

IoStatus SettleInterruptedRun(EngineFileSystem& fs, const PatchModel& model, ApplyListener& listener) {
    SettleFacts facts;
    Journal journal;
    IoStatus status = Gather(fs, model, facts, journal);
    if (!status.ok) return IoStatus::Failure(status.code, "cannot look at an interrupted run: " + status.message);
    const SettlePlan plan = DecideSettlement(facts);
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
    if (facts.journal == JournalFinding::Damaged)
        listener.Say(std::string("the journal ") + kJournalName + " is damaged: settling from the files themselves");
    listener.Say(plan.direction == Direction::Old ? "rolling back an interrupted run"
                                                  : "finishing an interrupted run");
    IoStatus first;
    for (const SettleStep& step : plan.steps) {
        status = Carry(fs, model.entries[step.entry], step, facts.entries[step.entry], listener);
        if (!status.ok && first.ok) first = status;
    }
    if (!first.ok) return IoStatus::Failure(first.code, "settling an interrupted run failed: " + first.message);
    if (plan.direction == Direction::Old && facts.journal == JournalFinding::Bound)
        RemoveCreatedDirectories(fs, model, journal, listener);
    if (!plan.leftovers.empty())
        listener.Say("left alone, not the engine's: what stands under the backup or staged names of " +
                     NamesOf(model, plan.leftovers));
    if (!(status = DeleteIfPresent(fs, kJournalTempName)).ok || !(status = DeleteIfPresent(fs, kJournalName)).ok)
        return IoStatus::Failure(status.code, "cannot remove the journal: " + status.message);
    return IoStatus::Success();
}

} // namespace hotfix::engine
