#include "engine/patch_apply.h"

#include "engine/file_steps.h"
#include "engine/match_delta_rebuild.h"
#include "engine/patch_journal.h"
#include "engine/patch_path.h"
#include "engine/patch_plan.h"
#include "engine/patch_settle.h"
#include "engine/rtp_format.h"
#include "engine/vcdiff_decoder.h"
#include "engine/zlib_stream.h"

#include <algorithm>
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

// A byte buffer that is not zero-filled first: a delta's source is read straight into it.
class ByteBuffer {
public:
    std::uint8_t* data() { return m_bytes.get(); }
    std::size_t size() const { return m_size; }
    void Allocate(std::size_t size) {
        m_bytes.reset(new std::uint8_t[size == 0 ? 1 : size]);
        m_size = size;
    }

private:
    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::size_t m_size = 0;
};

// Reads a whole file of at most `maxSize` bytes.
IoStatus ReadWholeFile(EngineFileSystem& fs, const std::string& path, std::uint64_t maxSize, ByteBuffer& bytes) {
    std::unique_ptr<ReadableFile> file;
    IoStatus status = fs.OpenRead(path, file);
    if (!status.ok) return status;
    if (file->Size() > maxSize) return IoStatus::Failure(0, "file larger than expected");
    bytes.Allocate(static_cast<std::size_t>(file->Size()));
    return bytes.size() == 0 ? IoStatus::Success() : file->ReadAt(0, bytes.data(), bytes.size());
}

// What this run has done to one planned action, so that a roll-back undoes exactly that and
// never takes for its own a file someone else put under the engine's names meanwhile.
struct Progress {
    bool staged = false;     // its staged file was created by this run
    bool movedAside = false; // the old file became its backup
    bool putInPlace = false; // the staged file took the target's name
};

// Writes to the staged file, hashing and counting what passes, never more than expected. Small
// pieces (the match delta hands over 64 KiB at a time) are gathered into writes of kWriteChunk;
// large ones (a VCDIFF window) go straight through. Drain() writes what is gathered.
class StagedWriter : public VcdiffSink {
public:
    static constexpr std::size_t kWriteChunk = 1u << 20;

    StagedWriter(WritableFile& file, std::uint64_t expected) : m_file(file), m_expected(expected) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        if (size > m_expected - m_written) {
            m_tooLong = true;
            return false;
        }
        if (!m_status.ok) return false;
        m_hasher.Update(data, size);
        m_written += size;
        if (m_filled + size > kWriteChunk && !Drain()) return false;
        if (size >= kWriteChunk) return (m_status = m_file.Write(data, size)).ok;
        if (!m_buffer) m_buffer.reset(new std::uint8_t[kWriteChunk]);
        std::copy(data, data + size, m_buffer.get() + m_filled);
        m_filled += size;
        return true;
    }
    bool Drain() {
        if (m_status.ok && m_filled > 0) m_status = m_file.Write(m_buffer.get(), m_filled);
        m_filled = 0;
        return m_status.ok;
    }
    const IoStatus& status() const { return m_status; }
    bool tooLong() const { return m_tooLong; }
    bool Matches(const FileDigest& target) {
        return !m_tooLong && m_written == target.size && m_hasher.Ok() && m_hasher.Finish() == target.sha;
    }

private:
    WritableFile& m_file;
    std::uint64_t m_expected;
    std::uint64_t m_written = 0;
    bool m_tooLong = false;
    IoStatus m_status;
    Sha256 m_hasher;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_filled = 0;
};

// The end of staging: a new file that came out as the patch says is written out and flushed to
// disk; one that did not makes the patch corrupt.
bool FlushIfRebuilt(bool rebuilt, StagedWriter& writer, WritableFile& out, const PatchEntry& entry,
                    const std::string& staged, StepError& error) {
    if (!writer.Drain()) {
        error = IoError("cannot write", staged, writer.status());
        return false;
    }
    if (!rebuilt) {
        error = {ApplyOutcome::CorruptPatch, "the new " + entry.path + " does not come out as the patch says",
                 entry.path};
        return false;
    }
    const IoStatus status = out.Flush();
    if (!status.ok) {
        error = IoError("cannot flush", staged, status);
        return false;
    }
    return true;
}

// A delta whose result is wrong may have been given a changed source: then the file changed
// while the patch was being applied, rather than the patch being corrupt. The old file is read
// again only on this path (the match delta's decoder converts its copy in place).
bool OldFileChanged(EngineFileSystem& fs, const PlannedAction& action) {
    FileDigest now;
    return HashFile(fs, action.entry->path, now).ok && now != action.from->digest;
}

StepError ChangedMeanwhile(const PatchEntry& entry) {
    return {ApplyOutcome::NotApplicable, entry.path + " changed while the patch was being applied", entry.path};
}

// Builds the new file of `action` beside its target, verified and flushed.
bool Stage(EngineFileSystem& fs, ReadableFile& patch, const PlannedAction& action, Progress& progress,
           ApplyListener& listener, StepError& error) {
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
    StagedWriter writer(*out, entry.target.size);
    std::string problem;
    bool ioFailed = false;
    if (content.method == ContentMethod::Whole) {
        listener.Say(entry.path + ": writing the new file");
        bool done = InflateRange(
            patch, content, [&](const std::uint8_t* data, std::size_t size) { return writer.Write(data, size); },
            problem, ioFailed);
        if (!done) {
            if (!writer.status().ok) error = IoError("cannot write", staged, writer.status());
            else if (ioFailed) error = {ApplyOutcome::IoFailureRolledBack, problem, entry.path};
            else error = {ApplyOutcome::CorruptPatch, "content of " + entry.path + ": " + problem, entry.path};
            return false;
        }
    } else if (content.method == ContentMethod::MatchDelta) {
        listener.Say(entry.path + ": applying the match delta");
        const RebuildResult made = RebuildFromMatchDelta(fs, patch, entry, *action.from, writer);
        const bool rebuilt = made.ok && writer.Matches(entry.target);
        if (!rebuilt && writer.status().ok && made.outcome != ApplyOutcome::IoFailureRolledBack &&
            OldFileChanged(fs, action)) {
            error = ChangedMeanwhile(entry);
            return false;
        }
        if (!made.ok) {
            error = writer.status().ok ? StepError{made.outcome, made.message, entry.path}
                                       : IoError("cannot write", staged, writer.status());
            return false;
        }
        return FlushIfRebuilt(rebuilt, writer, *out, entry, staged, error);
    } else {
        listener.Say(entry.path + ": applying the delta");
        // The source of the delta. It was checked moments ago; if it changed since, the new
        // file cannot come out right, and the check of the result below catches it.
        ByteBuffer source;
        if (!(status = ReadWholeFile(fs, entry.path, action.from->digest.size, source)).ok) {
            error = IoError("cannot read", entry.path, status);
            return false;
        }
        auto sourceChanged = [&] {
            return source.size() != action.from->digest.size ||
                   Sha256Of(source.data(), source.size()) != action.from->digest.sha;
        };
        std::vector<std::uint8_t> delta;
        delta.reserve(static_cast<std::size_t>(content.rawSize));
        bool inflated = InflateRange(
            patch, content,
            [&](const std::uint8_t* data, std::size_t size) {
                delta.insert(delta.end(), data, data + size);
                return true;
            },
            problem, ioFailed);
        if (!inflated) {
            error = {ioFailed ? ApplyOutcome::IoFailureRolledBack : ApplyOutcome::CorruptPatch,
                     "delta of " + entry.path + ": " + problem, entry.path};
            return false;
        }
        VcdiffResult decoded =
            DecodeVcdiff(source.data(), source.size(), delta.data(), delta.size(), writer, entry.target.size);
        bool rebuilt = decoded.ok && writer.Matches(entry.target);
        if (!rebuilt && writer.status().ok && sourceChanged()) {
            error = ChangedMeanwhile(entry);
            return false;
        }
        if (!decoded.ok) {
            if (!writer.status().ok) error = IoError("cannot write", staged, writer.status());
            else error = {ApplyOutcome::CorruptPatch, "delta of " + entry.path + ": " + decoded.error, entry.path};
            return false;
        }
        return FlushIfRebuilt(rebuilt, writer, *out, entry, staged, error);
    }
    return FlushIfRebuilt(writer.Matches(entry.target), writer, *out, entry, staged, error);
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
        // A file that is replaced by whole content or removed was last read at the check: make
        // sure what was moved aside is still that version, or a change made meanwhile would be
        // lost. (A delta's source, VCDIFF or match delta, was read again when the new file was
        // built, and the new file's hash proved it.)
        const ContentMethod method = action.from->content.method;
        if (action.action == ChangeKind::Remove ||
            (method != ContentMethod::Delta && method != ContentMethod::MatchDelta)) {
            FileDigest moved;
            if (!(status = HashFile(fs, BackupPathOf(path), moved)).ok) {
                error = IoError("cannot read", BackupPathOf(path), status);
                return false;
            }
            if (moved != action.from->digest) {
                error = {ApplyOutcome::NotApplicable, path + " changed while the patch was being applied", path};
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

// Reads the patch file, gathers the facts about the directory and settles an interrupted run
// of the patch. With `contents` the facts come back complete (files hashed) and current, for
// the check; without, only what settling needed was hashed. False with `result` set when the
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
    if (!GatherFacts(fs, model, contents, facts, gathering)) return cannotLook(ApplyOutcome::IoFailureRolledBack);
    if (!ShowsInterruptedRun(facts)) return true;
    // An interrupted run: its state is worked out from the contents of every name.
    if (!contents && !HashContents(fs, model, facts, gathering)) return cannotLook(ApplyOutcome::IoFailureNotRolledBack);
    const SettlePlan plan = DecideSettlement(SettleFactsOf(model, facts));
    const IoStatus settled = CarrySettlement(fs, model, plan, facts, listener);
    if (!settled.ok) {
        result = {ApplyOutcome::IoFailureNotRolledBack, settled.message, kJournalName};
        return false;
    }
    // The directory changed: look again.
    if (plan.verdict == SettleVerdict::Settle && !GatherFacts(fs, model, contents, facts, gathering))
        return cannotLook(ApplyOutcome::IoFailureRolledBack);
    return true;
}

// How far the transaction got: from `begun` (the journal may have been written) a failure has to
// be rolled back; from `committed` (every swap done, the journal says so) only the clean-up is left.
struct Reached {
    bool begun = false;
    bool committed = false;
};

// The transaction proper, from the journal to the clean-up.
ApplyResult Transact(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener, const PatchModel& model,
                     const Plan& plan, std::vector<Progress>& progress, Reached& reached) {
    Journal journal;
    journal.state = JournalState::Swapping;
    journal.patchDigest = model.digest;
    journal.createdDirectories = plan.directories;

    auto rollBack = [&](StepError failure) {
        listener.Say("failed: " + failure.message);
        listener.Say("rolling back");
        IoStatus undone = RollBack(fs, plan, progress, listener);
        if (!undone.ok) {
            failure.outcome = ApplyOutcome::IoFailureNotRolledBack;
            failure.message += "; roll-back incomplete (" + undone.message + "), run the patch again to finish it";
        }
        return Failed(failure);
    };

    StepError error;
    reached.begun = true;
    IoStatus status = WriteJournal(fs, journal);
    if (!status.ok) return rollBack(IoError("cannot write", kJournalName, status));
    for (const std::string& directory : plan.directories)
        if (!(status = fs.MakeDirectory(directory)).ok)
            return rollBack(IoError("cannot create the directory", directory, status));
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        const PlannedAction& action = plan.actions[i];
        if (action.action == ChangeKind::Remove) continue;
        if (!Stage(fs, patch, action, progress[i], listener, error)) return rollBack(error);
        // The new file keeps what the old one was marked as: read-only, hidden, system.
        const std::string staged = StagedPathOf(action.entry->path);
        if (action.attributes != 0 && !(status = fs.WriteAttributes(staged, action.attributes)).ok)
            return rollBack(IoError("cannot set the attributes of", staged, status));
    }

    for (std::size_t i = 0; i < plan.actions.size(); ++i)
        if (!Swap(fs, plan.actions[i], progress[i], listener, error)) return rollBack(error);

    journal.state = JournalState::Committed;
    if (!(status = WriteJournal(fs, journal)).ok) return rollBack(IoError("cannot write", kJournalName, status));
    reached.committed = true;
    if (!(status = FinishCommitted(fs, plan)).ok) {
        return {ApplyOutcome::Applied,
                std::to_string(plan.actions.size()) + " file(s) changed, but clean-up failed (" + status.message +
                    "); the next run removes the leftovers",
                ""};
    }
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
        if (reached.committed)
            return {ApplyOutcome::Applied,
                    std::to_string(plan.actions.size()) + " file(s) changed, but clean-up failed (" + error.message +
                        "); the next run removes the leftovers",
                    ""};
        listener.Say("failed: " + error.message);
        listener.Say("rolling back");
        const IoStatus undone = RollBack(fs, plan, progress, listener);
        if (!undone.ok) {
            error.outcome = ApplyOutcome::IoFailureNotRolledBack;
            error.message += "; roll-back incomplete (" + undone.message + "), run the patch again to finish it";
        }
        return Failed(error);
    }
}

} // namespace hotfix::engine
