#include "engine/patch_apply.h"

#include "engine/match_delta_rebuild.h"
#include "engine/patch_journal.h"
#include "engine/patch_path.h"
#include "engine/rtp_format.h"
#include "engine/vcdiff_decoder.h"
#include "engine/zlib_stream.h"

#include <algorithm>
#include <new>
#include <set>
#include <vector>

namespace hotfix::engine {

namespace {

constexpr std::size_t kReadChunk = 1u << 20;

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

IoStatus HashFile(EngineFileSystem& fs, const std::string& path, FileDigest& digest) {
    std::unique_ptr<ReadableFile> file;
    IoStatus status = fs.OpenRead(path, file);
    if (!status.ok) return status;
    digest.size = file->Size();
    Sha256 hasher;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, digest.size)));
    for (std::uint64_t offset = 0; offset < digest.size;) {
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), digest.size - offset));
        if (!(status = file->ReadAt(offset, chunk.data(), count)).ok) return status;
        hasher.Update(chunk.data(), count);
        offset += count;
    }
    if (!hasher.Ok()) return IoStatus::Failure(0, "hashing failed");
    digest.sha = hasher.Finish();
    return IoStatus::Success();
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

// Reads a whole file of at most `maxSize` bytes.
IoStatus ReadWholeFile(EngineFileSystem& fs, const std::string& path, std::uint64_t maxSize,
                       std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<ReadableFile> file;
    IoStatus status = fs.OpenRead(path, file);
    if (!status.ok) return status;
    if (file->Size() > maxSize) return IoStatus::Failure(0, "file larger than expected");
    bytes.resize(static_cast<std::size_t>(file->Size()));
    return bytes.empty() ? IoStatus::Success() : file->ReadAt(0, bytes.data(), bytes.size());
}

IoStatus QueryKind(EngineFileSystem& fs, const std::string& path, PathKind& kind) {
    kind = PathKind::Missing;
    return fs.Query(path, kind);
}

// Deletes `path` when it is a file; ok when nothing is there.
IoStatus DeleteIfPresent(EngineFileSystem& fs, const std::string& path) {
    PathKind kind;
    IoStatus status = QueryKind(fs, path, kind);
    if (status.ok && kind == PathKind::File) status = fs.Delete(path);
    return status;
}

// Undoes whatever part of the journal's swaps happened. Every step looks at what is on disk, so
// running it again after an interruption is safe. Goes on after a failure (to restore as much
// as it can) and keeps the journal unless everything was undone.
IoStatus RollBack(EngineFileSystem& fs, const Journal& journal, ApplyListener& listener) {
    IoStatus first;
    auto note = [&](const IoStatus& status) {
        if (!status.ok && first.ok) first = status;
    };
    for (auto record = journal.records.rbegin(); record != journal.records.rend(); ++record) {
        const std::string& path = record->path;
        const std::string backup = BackupPathOf(path);
        const std::string staged = StagedPathOf(path);
        PathKind kind;
        IoStatus status;
        switch (record->action) {
        case JournalAction::Replace:
        case JournalAction::Remove:
            // The backup exists only once the old file was moved aside: put it back.
            status = QueryKind(fs, backup, kind);
            if (status.ok && kind == PathKind::File) {
                status = fs.Rename(backup, path, record->action == JournalAction::Replace);
                if (status.ok) listener.Say("restored " + path);
            }
            note(status);
            if (record->action == JournalAction::Replace) note(DeleteIfPresent(fs, staged));
            break;
        case JournalAction::Add:
            status = QueryKind(fs, staged, kind);
            if (status.ok && kind == PathKind::File) {
                note(fs.Delete(staged));
                break;
            }
            note(status);
            // The staged file is gone: it was swapped in. Undo it only if it is what we put there.
            status = QueryKind(fs, path, kind);
            if (status.ok && kind == PathKind::File) {
                FileDigest digest;
                status = HashFile(fs, path, digest);
                if (status.ok && digest == record->newFile) {
                    status = fs.Delete(path);
                    if (status.ok) listener.Say("removed added " + path);
                }
            }
            note(status);
            break;
        }
    }
    // Directories made for added files go too, if nothing else came to live in them.
    for (auto directory = journal.createdDirectories.rbegin(); directory != journal.createdDirectories.rend();
         ++directory) {
        PathKind kind;
        if (QueryKind(fs, *directory, kind).ok && kind == PathKind::Directory) fs.RemoveEmptyDirectory(*directory);
    }
    note(DeleteIfPresent(fs, kJournalTempName));
    if (!first.ok) return first;
    return DeleteIfPresent(fs, kJournalName);
}

// Every swap was done: deletes what is left of the engine's own files, the journal last.
IoStatus FinishCommitted(EngineFileSystem& fs, const Journal& journal) {
    IoStatus first;
    for (const JournalRecord& record : journal.records) {
        IoStatus status;
        if (record.action != JournalAction::Add) status = DeleteIfPresent(fs, BackupPathOf(record.path));
        if (status.ok && record.action != JournalAction::Remove) status = DeleteIfPresent(fs, StagedPathOf(record.path));
        if (!status.ok && first.ok) first = status;
    }
    IoStatus status = DeleteIfPresent(fs, kJournalTempName);
    if (!status.ok && first.ok) first = status;
    if (!first.ok) return first;
    return DeleteIfPresent(fs, kJournalName);
}

// One change the transaction makes.
struct PlannedAction {
    JournalAction action = JournalAction::Replace;
    const PatchEntry* entry = nullptr;
    const OldVersion* from = nullptr; // the version found on disk (Replace, Remove)
};

struct Plan {
    std::vector<PlannedAction> actions;
    std::vector<std::string> directories; // to create, parents first
};

// Decides what to do with every entry, changing nothing.
bool MakePlan(EngineFileSystem& fs, const PatchModel& model, ApplyListener& listener, Plan& plan, StepError& error) {
    std::set<std::string> plannedDirectories;
    for (const PatchEntry& entry : model.entries) {
        const std::string& path = entry.path;
        PathKind kind;
        IoStatus status = QueryKind(fs, path, kind);
        if (!status.ok) {
            error = IoError("cannot look at", path, status);
            return false;
        }
        if (kind == PathKind::Directory) {
            error = {ApplyOutcome::NotApplicable, path + " is a directory, the patch expects a file", path};
            return false;
        }
        if (kind == PathKind::Missing) {
            if (entry.kind == EntryKind::Remove) {
                listener.Say(path + ": already removed");
                continue;
            }
            if (entry.kind == EntryKind::Change) {
                error = {ApplyOutcome::NotApplicable, path + " is missing; the patch changes it", path};
                return false;
            }
            // An added file: its directories may have to be made.
            std::vector<std::string> missing;
            for (std::string parent = ParentOf(path); !parent.empty(); parent = ParentOf(parent)) {
                if (plannedDirectories.count(PathKey(parent)) != 0) break;
                PathKind parentKind;
                if (!(status = QueryKind(fs, parent, parentKind)).ok) {
                    error = IoError("cannot look at", parent, status);
                    return false;
                }
                if (parentKind == PathKind::Directory) break;
                if (parentKind == PathKind::File) {
                    error = {ApplyOutcome::NotApplicable, parent + " is a file, the patch needs a directory there", path};
                    return false;
                }
                missing.push_back(parent);
            }
            for (auto directory = missing.rbegin(); directory != missing.rend(); ++directory) {
                plannedDirectories.insert(PathKey(*directory));
                plan.directories.push_back(*directory);
            }
            plan.actions.push_back({JournalAction::Add, &entry, nullptr});
            listener.Say(path + ": will be added");
            continue;
        }
        FileDigest found;
        if (!(status = HashFile(fs, path, found)).ok) {
            error = IoError("cannot read", path, status);
            return false;
        }
        if (entry.kind != EntryKind::Remove && found == entry.target) {
            listener.Say(path + ": already up to date");
            continue;
        }
        const OldVersion* match = nullptr;
        for (const OldVersion& old : entry.olds)
            if (old.digest == found) match = &old;
        if (match == nullptr) {
            const char* what = entry.kind == EntryKind::Add
                                   ? " exists and differs from the file the patch adds"
                                   : " is not a version this patch applies to (changed or different version)";
            error = {ApplyOutcome::NotApplicable, path + what, path};
            return false;
        }
        if (entry.kind == EntryKind::Remove) {
            plan.actions.push_back({JournalAction::Remove, &entry, match});
            listener.Say(path + ": will be removed");
        } else {
            plan.actions.push_back({JournalAction::Replace, &entry, match});
            listener.Say(path + ": will be patched");
        }
    }
    // The engine's own names beside each target must be free: they are never a user's file
    // ('~' is refused in patch paths), but a stray one is not overwritten either.
    for (const PlannedAction& action : plan.actions) {
        for (const std::string& own : {StagedPathOf(action.entry->path), BackupPathOf(action.entry->path)}) {
            PathKind kind;
            IoStatus status = QueryKind(fs, own, kind);
            if (!status.ok) {
                error = IoError("cannot look at", own, status);
                return false;
            }
            if (kind != PathKind::Missing) {
                error = {ApplyOutcome::NotApplicable, own + " is in the way of the patch", action.entry->path};
                return false;
            }
        }
    }
    return true;
}

// Writes to the staged file, hashing and counting what passes, never more than expected.
class StagedWriter : public VcdiffSink {
public:
    StagedWriter(WritableFile& file, std::uint64_t expected) : m_file(file), m_expected(expected) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        if (size > m_expected - m_written) {
            m_tooLong = true;
            return false;
        }
        m_status = m_file.Write(data, size);
        if (!m_status.ok) return false;
        m_hasher.Update(data, size);
        m_written += size;
        return true;
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
};

// The end of staging: a new file that came out as the patch says is flushed to disk; one that
// did not makes the patch corrupt.
bool FlushIfRebuilt(bool rebuilt, WritableFile& out, const PatchEntry& entry, const std::string& staged,
                    StepError& error) {
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

// Builds the new file of `action` beside its target, verified and flushed.
bool Stage(EngineFileSystem& fs, ReadableFile& patch, const PlannedAction& action, ApplyListener& listener,
           StepError& error) {
    const PatchEntry& entry = *action.entry;
    const std::string staged = StagedPathOf(entry.path);
    const ContentRef& content = action.action == JournalAction::Add ? entry.addContent : action.from->content;
    std::unique_ptr<WritableFile> out;
    IoStatus status = fs.CreateNew(staged, out);
    if (!status.ok) {
        error = IoError("cannot create", staged, status);
        return false;
    }
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
        if (!made.ok) {
            error = writer.status().ok ? StepError{made.outcome, made.message, entry.path}
                                       : IoError("cannot write", staged, writer.status());
            return false;
        }
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
            error = {ApplyOutcome::NotApplicable, entry.path + " changed while the patch was being applied",
                     entry.path};
            return false;
        }
        if (!decoded.ok) {
            if (!writer.status().ok) error = IoError("cannot write", staged, writer.status());
            else error = {ApplyOutcome::CorruptPatch, "delta of " + entry.path + ": " + decoded.error, entry.path};
            return false;
        }
        return FlushIfRebuilt(rebuilt, *out, entry, staged, error);
    }
    return FlushIfRebuilt(writer.Matches(entry.target), *out, entry, staged, error);
}

bool Swap(EngineFileSystem& fs, const PlannedAction& action, ApplyListener& listener, StepError& error) {
    const std::string& path = action.entry->path;
    IoStatus status;
    if (action.action != JournalAction::Add) {
        if (!(status = fs.Rename(path, BackupPathOf(path), false)).ok) {
            error = IoError("cannot move aside", path, status);
            return false;
        }
        // A file that is replaced by whole content or removed was last read at the check: make
        // sure what was moved aside is still that version, or a change made meanwhile would be
        // lost. (A delta's source was read again when the new file was built, and the new
        // file's hash proved it.)
        if (action.action == JournalAction::Remove || action.from->content.method != ContentMethod::Delta) {
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
    if (action.action != JournalAction::Remove && !(status = fs.Rename(StagedPathOf(path), path, false)).ok) {
        error = IoError("cannot put in place", path, status);
        return false;
    }
    static const char* const kDone[] = {"", "patched", "added", "removed"};
    listener.Say(path + ": " + kDone[static_cast<int>(action.action)]);
    return true;
}

ApplyResult Failed(const StepError& error) { return {error.outcome, error.message, error.file}; }

} // namespace

const char* OutcomeName(ApplyOutcome outcome) {
    switch (outcome) {
    case ApplyOutcome::Applied: return "applied";
    case ApplyOutcome::AlreadyApplied: return "already applied";
    case ApplyOutcome::NotApplicable: return "not applicable to these files";
    case ApplyOutcome::CorruptPatch: return "corrupt patch file";
    case ApplyOutcome::IoFailureRolledBack: return "input/output failure, nothing changed";
    case ApplyOutcome::IoFailureNotRolledBack: return "input/output failure, roll-back incomplete";
    }
    return "unknown";
}

IoStatus RecoverInterruptedRun(EngineFileSystem& fs, ApplyListener& listener) {
    PathKind kind;
    IoStatus status = QueryKind(fs, kJournalName, kind);
    if (!status.ok) return status;
    if (kind == PathKind::Missing) {
        // A journal that never got its final name: nothing was staged or swapped after it.
        return DeleteIfPresent(fs, kJournalTempName);
    }
    if (kind != PathKind::File) return IoStatus::Failure(0, std::string(kJournalName) + " is not a file");
    std::vector<std::uint8_t> bytes;
    if (!(status = ReadWholeFile(fs, kJournalName, 64u << 20, bytes)).ok) return status;
    Journal journal;
    if (!ParseJournal(bytes, journal))
        return IoStatus::Failure(0, std::string("the journal ") + kJournalName +
                                        " of an interrupted run is damaged; nothing was touched");
    if (journal.state == JournalState::Committed) {
        listener.Say("finishing an interrupted run (all files were already in place)");
        return FinishCommitted(fs, journal);
    }
    listener.Say("rolling back an interrupted run");
    return RollBack(fs, journal, listener);
}

ApplyResult ApplyPatch(EngineFileSystem& fs, ReadableFile& patch, ApplyListener& listener) {
    IoStatus status = RecoverInterruptedRun(fs, listener);
    if (!status.ok)
        return {ApplyOutcome::IoFailureNotRolledBack, "cannot settle an interrupted run: " + status.message,
                kJournalName};

    PatchModel model;
    std::string problem;
    bool ioFailed = false;
    if (!ReadPatch(patch, model, problem, ioFailed))
        return {ioFailed ? ApplyOutcome::IoFailureRolledBack : ApplyOutcome::CorruptPatch, problem, ""};
    listener.Say("patch file checked: " + std::to_string(model.entries.size()) + " file(s)");

    Plan plan;
    StepError error;
    if (!MakePlan(fs, model, listener, plan, error)) return Failed(error);
    if (plan.actions.empty()) return {ApplyOutcome::AlreadyApplied, "every file is already up to date", ""};

    Journal journal;
    journal.state = JournalState::Swapping;
    journal.createdDirectories = plan.directories;
    for (const PlannedAction& action : plan.actions)
        journal.records.push_back({action.action, action.entry->path, action.entry->target});

    auto rollBack = [&](StepError failure) {
        listener.Say("failed: " + failure.message);
        listener.Say("rolling back");
        IoStatus undone = RollBack(fs, journal, listener);
        if (!undone.ok) {
            failure.outcome = ApplyOutcome::IoFailureNotRolledBack;
            failure.message += "; roll-back incomplete (" + undone.message + "), run the patch again to finish it";
        }
        return Failed(failure);
    };

    if (!(status = WriteJournal(fs, journal)).ok) return rollBack(IoError("cannot write", kJournalName, status));
    for (const std::string& directory : plan.directories)
        if (!(status = fs.MakeDirectory(directory)).ok)
            return rollBack(IoError("cannot create the directory", directory, status));
    for (const PlannedAction& action : plan.actions) {
        if (action.action == JournalAction::Remove) continue;
        bool staged = false;
        try {
            staged = Stage(fs, patch, action, listener, error);
        } catch (const std::bad_alloc&) {
            // A delta's source and the delta itself are held in memory: a 32-bit process may
            // not find room for a large one. Nothing has been swapped yet.
            error = {ApplyOutcome::IoFailureRolledBack, "not enough memory to build " + action.entry->path,
                     action.entry->path};
        }
        if (!staged) return rollBack(error);
    }

    std::size_t swaps = 0;
    for (const PlannedAction& action : plan.actions) {
        if (!Swap(fs, action, listener, error)) return rollBack(error);
        listener.AfterSwap(++swaps);
    }

    journal.state = JournalState::Committed;
    if (!(status = WriteJournal(fs, journal)).ok) return rollBack(IoError("cannot write", kJournalName, status));
    if (!(status = FinishCommitted(fs, journal)).ok) {
        return {ApplyOutcome::Applied,
                std::to_string(plan.actions.size()) + " file(s) changed, but clean-up failed (" + status.message +
                    "); the next run removes the leftovers",
                ""};
    }
    return {ApplyOutcome::Applied, std::to_string(plan.actions.size()) + " file(s) changed", ""};
}

} // namespace hotfix::engine
