#include "engine/patch_facts.h"

#include "engine/file_steps.h"
#include "engine/patch_path.h"

namespace hotfix::engine {

namespace {

bool Look(EngineFileSystem& fs, const std::string& path, NameFacts& facts, GatherError& error) {
    error.status = QueryKind(fs, path, facts.kind);
    error.path = path;
    return error.status.ok;
}

bool Hash(EngineFileSystem& fs, const std::string& path, NameFacts& facts, GatherError& error) {
    if (facts.kind != PathKind::File || facts.hashed) return true;
    error.status = HashFile(fs, path, facts.digest);
    error.path = path;
    facts.hashed = error.status.ok;
    return error.status.ok;
}

bool Size(EngineFileSystem& fs, const std::string& path, NameFacts& facts, GatherError& error) {
    std::unique_ptr<ReadableFile> file;
    error.status = fs.OpenRead(path, file);
    error.path = path;
    if (!error.status.ok) return false;
    facts.digest.size = file->Size();
    facts.sized = true;
    return true;
}

} // namespace

const OldVersion* OldVersionBySize(const PatchEntry& entry, std::uint64_t size) {
    if (entry.kind != EntryKind::Change || entry.target.size == size) return nullptr;
    const OldVersion* found = nullptr;
    for (const OldVersion& old : entry.olds) {
        if (old.digest.size != size) continue;
        if (found != nullptr) return nullptr;
        found = &old;
    }
    return found;
}

bool GatherFacts(EngineFileSystem& fs, const PatchModel& model, Hashing hashing, DirectoryFacts& facts,
                 GatherError& error) {
    facts = DirectoryFacts{};
    error.path = kJournalName;
    if (!(error.status = FindJournal(fs, model.digest, facts.journal, facts.bound)).ok) return false;
    NameFacts temp;
    if (!Look(fs, kJournalTempName, temp, error)) return false;
    facts.journalTemp = temp.kind != PathKind::Missing;

    facts.entries.resize(model.entries.size());
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const std::string& path = model.entries[i].path;
        EntryScene& scene = facts.entries[i];
        if (!Look(fs, path, scene.target, error) || !Look(fs, BackupPathOf(path), scene.backup, error) ||
            !Look(fs, StagedPathOf(path), scene.staged, error))
            return false;
        if (scene.target.kind == PathKind::File) {
            error.path = path;
            if (!(error.status = fs.ReadAttributes(path, scene.target.attributes)).ok) return false;
        }
        if (scene.target.kind != PathKind::Missing) continue;
        for (std::string parent = ParentOf(path); !parent.empty(); parent = ParentOf(parent)) {
            NameFacts found;
            if (!Look(fs, parent, found, error)) return false;
            scene.parents.emplace_back(parent, found.kind);
            if (found.kind != PathKind::Missing) break;
        }
    }
    return HashContents(fs, model, hashing, facts, error);
}

bool HashContents(EngineFileSystem& fs, const PatchModel& model, Hashing hashing, DirectoryFacts& facts,
                  GatherError& error) {
    if (hashing == Hashing::None) return true;
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const std::string& path = model.entries[i].path;
        EntryScene& scene = facts.entries[i];
        bool bySize = false;
        if (hashing == Hashing::ForCheck && scene.target.kind == PathKind::File && !scene.target.hashed) {
            if (!scene.target.sized && !Size(fs, path, scene.target, error)) return false;
            bySize = OldVersionBySize(model.entries[i], scene.target.digest.size) != nullptr;
        }
        if ((!bySize && !Hash(fs, path, scene.target, error)) || !Hash(fs, BackupPathOf(path), scene.backup, error) ||
            !Hash(fs, StagedPathOf(path), scene.staged, error))
            return false;
    }
    return true;
}

} // namespace hotfix::engine
