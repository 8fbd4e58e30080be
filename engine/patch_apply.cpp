#include "engine/patch_apply.h"

#include "engine/background_work.h"
#include "engine/file_steps.h"
#include "engine/hashed_streams.h"
#include "engine/match_delta.h"
#include "engine/patch_journal.h"
#include "engine/patch_path.h"
#include "engine/patch_plan.h"
#include "engine/patch_settle.h"
#include "engine/rtp_format.h"
#include "engine/vcdiff_decoder.h"
#include "engine/zlib_stream.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>
#include <set>
#include <stdexcept>
#include <vector>

namespace hotfix::engine {

namespace {

// A failure of a step, already classified for the outcome.
struct StepError {
    ApplyOutcome outcome = ApplyOutcome::IoFailureRolledBack;
    std::string message;
    std::string file;
};

StepError IoError(const std::string& what, const std::string& file, const IoStatus& status) {
    std::string message = what + " " + file + ": " + status.message;
    if (status.code != 0) message += " (error " + std::to_string(status.code) + ")";
    return {ApplyOutcome::IoFailureRolledBack, message, file};
}

ApplyResult IoResult(ApplyOutcome outcome, const std::string& what, const std::string& file, const IoStatus& status) {
    const StepError error = IoError(what, file, status);
    return {outcome, error.message, error.file};
}

// What this run has done to one planned action, so that a roll-back undoes exactly that and
// never takes for its own a file someone else put under the engine's names meanwhile.
struct Progress {
    bool staged = false;     // its staged file was created by this run
    bool movedAside = false; // the old file became its backup
    bool putInPlace = false; // the staged file took the target's name
};

// Where staging hashes: old and new files on one thread beside the engine's, the new file's
// pieces first (the writer reuses its buffers once they are hashed), the old file's in the time
// left. (A thread each made three busy threads on two cores, and the engine's own slower.)
struct StagingHashes {
    std::unique_ptr<BackgroundWork> target; // the new file's: served first
    std::unique_ptr<BackgroundWork> source; // the old file's: the time the new file's leaves
};

StagingHashes StartStagingHashes() {
    SharedBackgroundWork shared = StartSharedBackgroundWork();
    StagingHashes hashing;
    hashing.target = std::move(shared.first);
    hashing.source = std::move(shared.second);
    return hashing;
}

// An old file that is not the version the plan took it for: it changed since the check, or (its
// version told by its size) it is one the patch does not know.
StepError NotTheSource(const PlannedAction& action) {
    const std::string& path = action.entry->path;
    if (action.bySize) return {ApplyOutcome::NotApplicable, path + NotAVersionItAppliesTo, path};
    return {ApplyOutcome::NotApplicable, path + " changed while the patch was being applied", path};
}

// What producing a staged file came to: done, or the problem met.
struct Produced {
    bool ok = false;
    bool ioFailed = false; // the patch file could not be read
    std::string problem;
};

// Decodes a delta, VCDIFF or match delta, against `source` (the old file, being hashed) into
// `writer`.
Produced DecodeDelta(ReadableFile& patch, const PlannedAction& action, DeltaSource& source, StagedWriter& writer) {
    const ContentRef& content = action.from->content;
    const std::uint64_t newSize = action.entry->target.size;
    Produced produced;
    if (content.method == ContentMethod::MatchDelta) {
        const MatchDeltaResult result =
            DecodeMatchDelta(patch, content.offset, content.storedSize, source.data(), source.size(), newSize, writer);
        produced.ok = result.ok;
        produced.ioFailed = result.ioFailed;
        produced.problem = result.error;
        return produced;
    }
    std::vector<std::uint8_t> delta;
    delta.reserve(static_cast<std::size_t>(content.rawSize));
    const bool inflated = InflateRange(
        patch, content,
        [&](const std::uint8_t* data, std::size_t size) {
            delta.insert(delta.end(), data, data + size);
            return true;
        },
        produced.problem, produced.ioFailed);
    if (inflated) {
        const VcdiffResult result = DecodeVcdiff(source.data(), source.size(), delta.data(), delta.size(), writer, newSize);
        produced.ok = result.ok;
        produced.problem = result.error;
    }
    return produced;
}

// Builds the new file of `action` beside its target, verified and flushed. A delta's old file is
// taken whole (hashed_streams.h) and hashed while it is decoded, the new file as it is written;
// the staged file goes to disk while the hashes finish, and is removed all the same when either
// then proves wrong.
bool Stage(EngineFileSystem& fs, ReadableFile& patch, const PlannedAction& action, Progress& progress,
           ApplyListener& listener, StagingHashes& hashing, StepError& error) {
    const PatchEntry& entry = *action.entry;
    const std::string staged = StagedPathOf(entry.path);
    const ContentRef& content = action.action == ChangeKind::Add ? entry.addContent : action.from->content;
    std::unique_ptr<WritableFile> out;
    IoStatus status = fs.CreateNew(staged, out);
    if (!status.ok) {
        error = IoError("cannot create", staged, status);
        return false;
    }
    progress.staged = true;
    StagedWriter writer(*out, entry.target.size, *hashing.target);
    std::unique_ptr<DeltaSource> source;
    Produced produced;
    if (content.method == ContentMethod::Whole) {
        listener.Say(entry.path + ": writing the new file");
        produced.ok = InflateRange(
            patch, content, [&](const std::uint8_t* data, std::size_t size) { return writer.Write(data, size); },
            produced.problem, produced.ioFailed);
    } else {
        const bool matchDelta = content.method == ContentMethod::MatchDelta;
        listener.Say(entry.path + (matchDelta ? ": applying the match delta" : ": applying the delta"));
        source.reset(new DeltaSource(*hashing.source));
        // The match delta's decoder converts the branch targets in its source's code in place.
        const bool changed = matchDelta && MatchDeltaChangesOld(patch, content.offset, content.storedSize);
        status = source->Read(fs, entry.path, action.from->digest.size,
                              changed ? DeltaSource::Use::ChangedInPlace : DeltaSource::Use::AsRead);
        if (!status.ok) {
            error = IoError("cannot read", entry.path, status);
            return false;
        }
        produced = DecodeDelta(patch, action, *source, writer);
    }
    const IoStatus flushed = produced.ok && writer.Drain() ? out->Flush() : IoStatus::Success();
    if (source) {
        // A wrong source explains any failure.
        const bool isVersion = source->IsVersion(action.from->digest);
        if (!source->hashStatus().ok) {
            error = IoError("cannot read", entry.path, source->hashStatus());
            return false;
        }
        if (!isVersion) {
            error = NotTheSource(action);
            return false;
        }
    }
    if (!writer.status().ok) {
        error = IoError("cannot write", staged, writer.status());
        return false;
    }
    if (!produced.ok) {
        const ApplyOutcome outcome = produced.ioFailed ? ApplyOutcome::IoFailureRolledBack : ApplyOutcome::CorruptPatch;
        // A delta's problem names its file; whole content names it unless the patch file could not be read.
        if (source) error = {outcome, "delta of " + entry.path + ": " + produced.problem, entry.path};
        else if (produced.ioFailed) error = {outcome, produced.problem, entry.path};
        else error = {outcome, "content of " + entry.path + ": " + produced.problem, entry.path};
        return false;
    }
    if (!writer.Matches(entry.target)) {
        error = {ApplyOutcome::CorruptPatch, "the new " + entry.path + " does not come out as the patch says",
                 entry.path};
        return false;
    }
    if (!flushed.ok) {
        error = IoError("cannot flush", staged, flushed);
        return false;
    }
    return true;
}

bool Swap(EngineFileSystem& fs, const PlannedAction& action, Progress& progress, ApplyListener& listener,
          StepError& error) {
    const std::string& path = action.entry->path;
    IoStatus status;
    if (action.action != ChangeKind::Add) {
        if (!(status = fs.Rename(path, BackupPathOf(path), false)).ok) {
            error = IoError("cannot move aside", path, status);
            return false;
        }
        progress.movedAside = true;
        // A file that is replaced by whole content or removed was last read at the check, or
        // only sized: make sure what was moved aside is that version, or a change made meanwhile
        // would be lost. (A delta's source, VCDIFF or match delta, was hashed as it was read to
        // build the new file.)
        const ContentMethod method = action.from->content.method;
        if (action.action == ChangeKind::Remove ||
            (method != ContentMethod::Delta && method != ContentMethod::MatchDelta)) {
            FileDigest moved;
            if (!(status = HashFile(fs, BackupPathOf(path), moved)).ok) {
                error = IoError("cannot read", BackupPathOf(path), status);
                return false;
            }
            if (moved != action.from->digest) {
                error = NotTheSource(action);
                return false;
            }
        }
    }
    if (action.action != ChangeKind::Remove) {
        if (!(status = fs.Rename(StagedPathOf(path), path, false)).ok) {
            error = IoError("cannot put in place", path, status);
            return false;
        }
        progress.putInPlace = true;
    }
    static const char* const kDone[] = {"", "patched", "added", "removed"};
    listener.Say(path + ": " + kDone[static_cast<int>(action.action)]);
    return true;
}


// Undoes this run's own changes, from what it knows it did (never from names it finds on
// disk: someone may have put a file under an engine's name meanwhile). Goes on after a failure,
// to restore as much as it can; the journal stays unless everything was undone, and the next
// run settles the rest.
IoStatus RollBack(EngineFileSystem& fs, const Plan& plan, const std::vector<Progress>& progress,
                  ApplyListener& listener) {
    IoStatus first;
    auto note = [&](const IoStatus& status) {
        if (!status.ok && first.ok) first = status;
    };
    for (std::size_t i = plan.actions.size(); i-- > 0;) {
        const PlannedAction& action = plan.actions[i];
        const Progress& done = progress[i];
        const std::string& path = action.entry->path;
        if (done.putInPlace && action.action == ChangeKind::Add) {
            // Undone only if it is still what we put there.
            FileDigest digest;
            IoStatus status = HashFile(fs, path, digest);
            if (status.ok && digest == action.entry->target) {
                status = fs.Delete(path);
                if (status.ok) listener.Say("removed added " + path);
            }
            note(status);
        }
        if (done.movedAside) {
            const IoStatus status = fs.Rename(BackupPathOf(path), path, done.putInPlace);
            if (status.ok) listener.Say("restored " + path);
            note(status);
        }
        if (done.staged && !done.putInPlace) note(DeleteIfPresent(fs, StagedPathOf(path)));
    }
    // Directories made for added files go too, if nothing else came to live in them.
    for (auto directory = plan.directories.rbegin(); directory != plan.directories.rend(); ++directory) {
        PathKind kind;
        if (QueryKind(fs, *directory, kind).ok && kind == PathKind::Directory) fs.RemoveEmptyDirectory(*directory);
    }
    note(DeleteIfPresent(fs, kJournalTempName));
    if (!first.ok) return first;
    return DeleteIfPresent(fs, kJournalName);
}

// Every swap was done: deletes what is left of the engine's own files, the journal last.
IoStatus FinishCommitted(EngineFileSystem& fs, const Plan& plan) {
    IoStatus first;
    for (const PlannedAction& action : plan.actions) {
        IoStatus status;
        if (action.action != ChangeKind::Add) status = DeleteIfPresent(fs, BackupPathOf(action.entry->path));
        if (!status.ok && first.ok) first = status;
    }
    IoStatus status = DeleteIfPresent(fs, kJournalTempName);
    if (!status.ok && first.ok) first = status;
    if (!first.ok) return first;
    return DeleteIfPresent(fs, kJournalName);
}

ApplyResult Failed(const StepError& error) { return {error.outcome, error.message, error.file}; }

// A transaction that failed with `failure` after it began: rolls it back and reports `failure`,
// as not rolled back if some of it could not be undone (the next run settles the rest).
ApplyResult RolledBack(EngineFileSystem& fs, const Plan& plan, const std::vector<Progress>& progress,
                       ApplyListener& listener, StepError failure) {
    listener.Say("failed: " + failure.message);
    listener.Say("rolling back");
    const IoStatus undone = RollBack(fs, plan, progress, listener);
    if (!undone.ok) {
        failure.outcome = ApplyOutcome::IoFailureNotRolledBack;
        failure.message += "; roll-back incomplete (" + undone.message + "), run the patch again to finish it";
    }
    return Failed(failure);
}

// A committed transaction whose clean-up stopped at `problem`: every file is new, and the next
// run removes what is left of the engine's own files.
ApplyResult AppliedWithLeftovers(const Plan& plan, const std::string& problem) {
    return {ApplyOutcome::Applied,
            std::to_string(plan.actions.size()) + " file(s) changed, but clean-up failed (" + problem +
                "); the next run removes the leftovers",
            ""};
}

// Reads the patch file, gathers the facts about the directory and settles an interrupted run
// of the patch. With `contents` the facts come back current and hashed for the check
// (Hashing::ForCheck); without, only what settling needed was hashed. False with `result` set when the
// run cannot go on.
bool ReadAndSettle(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener, bool contents,
                   PatchModel& model, DirectoryFacts& facts, ApplyResult& result) {
    std::string problem;
    bool ioFailed = false;
    if (!ReadPatch(patch, model, problem, ioFailed)) {
        result = {ioFailed ? ApplyOutcome::IoFailureRolledBack : ApplyOutcome::CorruptPatch, problem, ""};
        return false;
    }
    listener.Say("patch file checked: " + std::to_string(model.entries.size()) + " file(s)");
    GatherError gathering;
    auto cannotLook = [&](ApplyOutcome outcome) {
        result = IoResult(outcome, "cannot look at", gathering.path, gathering.status);
        return false;
    };
    const Hashing hashing = contents ? Hashing::ForCheck : Hashing::None;
    if (!GatherFacts(fs, model, hashing, facts, gathering)) return cannotLook(ApplyOutcome::IoFailureRolledBack);
    if (!ShowsInterruptedRun(facts)) return true;
    // An interrupted run: its state is worked out from the contents of every name.
    if (!HashContents(fs, model, Hashing::All, facts, gathering)) return cannotLook(ApplyOutcome::IoFailureNotRolledBack);
    const SettlePlan plan = DecideSettlement(SettleFactsOf(model, facts));
    const IoStatus settled = CarrySettlement(fs, model, plan, facts, listener);
    if (!settled.ok) {
        result = {ApplyOutcome::IoFailureNotRolledBack, settled.message, kJournalName};
        return false;
    }
    // The directory changed: look again.
    if (plan.verdict == SettleVerdict::Settle && !GatherFacts(fs, model, hashing, facts, gathering))
        return cannotLook(ApplyOutcome::IoFailureRolledBack);
    return true;
}

// The journal of this transaction, as first written.
Journal JournalOf(const PatchModel& model, const Plan& plan) {
    Journal journal;
    journal.state = JournalState::Swapping;
    journal.patchDigest = model.digest;
    journal.createdDirectories = plan.directories;
    return journal;
}

// What staging will take of the volume, known before the first byte is written: the new size of
// every file staged (patched or added; a removal only renames, a skipped file is not touched),
// and a margin:
// - 64 KiB per staged file and per directory made: a file takes whole clusters, and the last one
//   is rarely full; NTFS and FAT volumes use clusters of at most 64 KiB;
// - the journal twice, since its temporary file stands beside it while it is rewritten (a few
//   hundred bytes, more with many directories);
// - 1 MiB kept free: a volume filled to its last cluster leaves the file system no room for its
//   own records of the new files (and the system and other programs none either), so staging
//   could still fail on a disk full that the sizes alone do not show.
// Backups are renames and take nothing; all targets lie on the update directory's volume, since
// links and mount points below it are refused.
struct SpaceNeeded {
    std::uint64_t files = 0;  // the new files' own bytes
    std::uint64_t margin = 0; // the rest
    std::uint64_t Total() const { return files + margin; }
};

SpaceNeeded SpaceNeededBy(const Plan& plan, std::uint64_t journalBytes) {
    constexpr std::uint64_t kClusterAllowance = 64u << 10;
    constexpr std::uint64_t kReserve = 1u << 20;
    SpaceNeeded needed;
    std::uint64_t created = plan.directories.size();
    for (const PlannedAction& action : plan.actions) {
        if (action.action == ChangeKind::Remove) continue;
        needed.files += action.entry->target.size;
        ++created;
    }
    needed.margin = created * kClusterAllowance + 2 * journalBytes + kReserve;
    return needed;
}

// Refuses, with nothing written yet, a transaction the volume cannot hold. A free space that
// cannot be told does not stop the patch: staging's own failure on a full disk, rolled back,
// stays the safety net, as it is for space taken by others meanwhile.
bool CheckSpace(EngineFileSystem& fs, const Plan& plan, const Journal& journal, ApplyListener& listener,
                StepError& error) {
    std::uint64_t available = 0;
    const IoStatus status = fs.FreeSpace(available);
    if (!status.ok) {
        listener.Say("free space not known (" + status.message + "), going on");
        return true;
    }
    const SpaceNeeded needed = SpaceNeededBy(plan, SerializeJournal(journal).size());
    if (available >= needed.Total()) return true;
    const std::string volume = status.message.empty() ? std::string("the update directory's volume") : status.message;
    error = {ApplyOutcome::IoFailureRolledBack,
             "not enough space on " + volume + ": " + std::to_string(needed.Total()) + " bytes needed (" +
                 std::to_string(needed.files) + " for the new files, " + std::to_string(needed.margin) +
                 " in reserve), " + std::to_string(available) + " bytes free",
             ""};
    return false;
}

// How far the transaction got: from `begun` (the journal may have been written) a failure has to
// be rolled back; from `committed` (every swap done, the journal says so) only the clean-up is left.
struct Reached {
    bool begun = false;
    bool committed = false;
};

// Writes the journal and makes the directories added files need.
bool Begin(EngineFileSystem& fs, const Plan& plan, const Journal& journal, StepError& error) {
    IoStatus status = WriteJournal(fs, journal);
    if (!status.ok) {
        error = IoError("cannot write", kJournalName, status);
        return false;
    }
    for (const std::string& directory : plan.directories) {
        if (!(status = fs.MakeDirectory(directory)).ok) {
            error = IoError("cannot create the directory", directory, status);
            return false;
        }
    }
    return true;
}

// Stages the new file of every action but a removal; each keeps what its old file was marked
// as: read-only, hidden, system.
bool StageAll(EngineFileSystem& fs, ReadableFile& patch, const Plan& plan, std::vector<Progress>& progress,
              ApplyListener& listener, StagingHashes& hashing, StepError& error) {
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        const PlannedAction& action = plan.actions[i];
        if (action.action == ChangeKind::Remove) continue;
        if (!Stage(fs, patch, action, progress[i], listener, hashing, error)) return false;
        const std::string staged = StagedPathOf(action.entry->path);
        IoStatus status;
        if (action.attributes != 0 && !(status = fs.WriteAttributes(staged, action.attributes)).ok) {
            error = IoError("cannot set the attributes of", staged, status);
            return false;
        }
    }
    return true;
}

// Moves every old file aside and puts every staged file in its place (Swap), in plan order.
bool SwapAll(EngineFileSystem& fs, const Plan& plan, std::vector<Progress>& progress, ApplyListener& listener,
             StepError& error) {
    for (std::size_t i = 0; i < plan.actions.size(); ++i)
        if (!Swap(fs, plan.actions[i], progress[i], listener, error)) return false;
    return true;
}

// Marks the journal committed: from here on the transaction is done, and only cleaned up.
bool Commit(EngineFileSystem& fs, Journal& journal, StepError& error) {
    journal.state = JournalState::Committed;
    const IoStatus status = WriteJournal(fs, journal);
    if (!status.ok) error = IoError("cannot write", kJournalName, status);
    return status.ok;
}

// The transaction proper, from the journal to the clean-up; a failed step is rolled back.
ApplyResult Transact(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener, const PatchModel& model,
                     const Plan& plan, std::vector<Progress>& progress, Reached& reached) {
    Journal journal = JournalOf(model, plan);
    StagingHashes hashing = StartStagingHashes();
    reached.begun = true;
    StepError error;
    if (!Begin(fs, plan, journal, error) || !StageAll(fs, patch, plan, progress, listener, hashing, error) ||
        !SwapAll(fs, plan, progress, listener, error) || !Commit(fs, journal, error))
        return RolledBack(fs, plan, progress, listener, error);
    reached.committed = true;
    const IoStatus cleaned = FinishCommitted(fs, plan);
    if (!cleaned.ok) return AppliedWithLeftovers(plan, cleaned.message);
    return {ApplyOutcome::Applied, std::to_string(plan.actions.size()) + " file(s) changed", ""};
}

} // namespace

const char* OutcomeName(ApplyOutcome outcome) {
    switch (outcome) {
    case ApplyOutcome::Applied: return "applied";
    case ApplyOutcome::AlreadyApplied: return "already applied";
    case ApplyOutcome::NotApplicable: return "not applicable to these files";
    case ApplyOutcome::CorruptPatch: return "corrupt patch file";
    case ApplyOutcome::IoFailureRolledBack: return "input/output failure, nothing changed";
    case ApplyOutcome::IoFailureNotRolledBack: return "input/output failure, an interrupted run is not settled";
    }
    return "unknown";
}

ApplyResult SettlePatch(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener) {
    try {
        PatchModel model;
        DirectoryFacts facts;
        ApplyResult result;
        if (!ReadAndSettle(fs, patch, listener, false, model, facts, result)) return result;
        return {ApplyOutcome::Applied, "no interrupted run of this patch file is left", ""};
    } catch (const std::exception& failure) {
        return {ApplyOutcome::IoFailureNotRolledBack, std::string("settling stopped: ") + failure.what(), ""};
    }
}

ApplyResult ApplyPatch(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener, const std::string& patchName) {
    PatchModel model;
    Plan plan;
    std::vector<Progress> progress;
    Reached reached;
    try {
        ApplyResult result;
        DirectoryFacts facts;
        if (!ReadAndSettle(fs, patch, listener, true, model, facts, result)) return result;
        Refusal refusal;
        const bool planned = PlanPatch(model, facts, patchName, plan, refusal);
        for (const std::string& note : plan.notes) listener.Say(note);
        if (!planned) return {refusal.outcome, refusal.message, refusal.file};
        if (plan.actions.empty()) return {ApplyOutcome::AlreadyApplied, "every file is already up to date", ""};
        StepError noRoom;
        if (!CheckSpace(fs, plan, JournalOf(model, plan), listener, noRoom)) return Failed(noRoom);
        progress.assign(plan.actions.size(), Progress{});
        return Transact(fs, patch, listener, model, plan, progress, reached);
    } catch (const std::exception& failure) {
        // Exhausted memory (a 32-bit process may not find room for a large file, or a patch may
        // declare more than it can hold) or any other failure of the library: undo what was done.
        const bool memory = dynamic_cast<const std::bad_alloc*>(&failure) != nullptr ||
                            dynamic_cast<const std::length_error*>(&failure) != nullptr;
        StepError error{ApplyOutcome::IoFailureRolledBack,
                        memory ? std::string("not enough memory to apply the patch")
                               : std::string("internal failure: ") + failure.what(),
                        ""};
        if (!reached.begun) return Failed(error);
        if (reached.committed) return AppliedWithLeftovers(plan, error.message);
        return RolledBack(fs, plan, progress, listener, error);
    }
}

} // namespace hotfix::engine
