#include "engine/patch_plan.h"

#include "engine/patch_journal.h"
#include "engine/patch_path.h"

#include <set>

namespace hotfix::engine {

const char* const NotAVersionItAppliesTo = " is not a version this patch applies to (changed or different version)";

namespace {

Refusal Refuse(const std::string& file, const std::string& why) {
    return {ApplyOutcome::NotApplicable, why, file};
}

// Where an added file's missing directories are made; false with `refusal` when something
// that is not a directory stands in the way.
bool PlanDirectories(const PatchEntry& entry, const EntryScene& scene, std::set<std::string>& planned, Plan& plan,
                     Refusal& refusal) {
    std::vector<std::string> missing;
    for (const auto& [parent, kind] : scene.parents) {
        if (planned.count(PathKey(parent)) != 0 || kind == PathKind::Directory) break;
        if (kind == PathKind::Link) {
            refusal = Refuse(entry.path, parent + " is a link; links are never followed");
            return false;
        }
        if (kind == PathKind::File) {
            refusal = Refuse(entry.path, parent + " is a file, the patch needs a directory there");
            return false;
        }
        missing.push_back(parent);
    }
    for (auto directory = missing.rbegin(); directory != missing.rend(); ++directory) {
        planned.insert(PathKey(*directory));
        plan.directories.push_back(*directory);
    }
    return true;
}

// The old version of `entry` that the file found at its name is, or nullptr. A hashed file is
// the version with its digest (ReadPatch refuses an old version listed twice). An unhashed one
// (Hashing::ForCheck) is the one version its size can be, and staging proves it.
const OldVersion* VersionFound(const PatchEntry& entry, const NameFacts& found) {
    if (!found.hashed) return found.sized ? OldVersionBySize(entry, found.digest.size) : nullptr;
    for (const OldVersion& old : entry.olds)
        if (old.digest == found.digest) return &old;
    return nullptr;
}

// An entry whose name holds nothing: a removal is already done, an addition is made with the
// directories it lacks, a change is refused.
bool PlanMissing(const PatchEntry& entry, const EntryScene& scene, std::set<std::string>& plannedDirectories,
                 Plan& plan, Refusal& refusal) {
    const std::string& path = entry.path;
    if (entry.kind == EntryKind::Remove) {
        plan.notes.push_back(path + ": already removed");
        return true;
    }
    if (entry.kind == EntryKind::Change) {
        refusal = Refuse(path, path + " is missing; the patch changes it");
        return false;
    }
    if (!PlanDirectories(entry, scene, plannedDirectories, plan, refusal)) return false;
    plan.actions.push_back({ChangeKind::Add, &entry, nullptr});
    plan.notes.push_back(path + ": will be added");
    return true;
}

// An entry whose name holds a file: the new version is skipped, an old version is replaced or
// removed, anything else is refused.
bool PlanFound(const PatchEntry& entry, const NameFacts& found, Plan& plan, Refusal& refusal) {
    const std::string& path = entry.path;
    const bool remove = entry.kind == EntryKind::Remove;
    if (found.hashed && !remove && found.digest == entry.target) {
        plan.notes.push_back(path + ": already up to date");
        return true;
    }
    const OldVersion* version = VersionFound(entry, found);
    if (version == nullptr) {
        refusal = Refuse(path, path + (entry.kind == EntryKind::Add ? " exists and differs from the file the patch adds"
                                                                    : NotAVersionItAppliesTo));
        return false;
    }
    plan.actions.push_back({remove ? ChangeKind::Remove : ChangeKind::Replace, &entry, version,
                            remove ? 0u : found.attributes, !found.hashed});
    plan.notes.push_back(path + (remove ? ": will be removed" : ": will be patched"));
    return true;
}

// What the check does with one entry; false with `refusal` when it refuses the whole patch.
bool PlanEntry(const PatchEntry& entry, const EntryScene& scene, const std::string& patchName,
               std::set<std::string>& plannedDirectories, Plan& plan, Refusal& refusal) {
    const std::string& path = entry.path;
    if (!patchName.empty() && PathKey(path) == PathKey(patchName)) {
        refusal = Refuse(path, path + " is the patch file itself; the patch may not change it");
        return false;
    }
    switch (scene.target.kind) {
    case PathKind::Link:
        refusal = Refuse(path, path + " is a link or lies under one; links are never followed");
        return false;
    case PathKind::Directory:
        refusal = Refuse(path, path + " is a directory, the patch expects a file");
        return false;
    case PathKind::Missing: return PlanMissing(entry, scene, plannedDirectories, plan, refusal);
    case PathKind::File: break;
    }
    return PlanFound(entry, scene.target, plan, refusal);
}

// The engine's own names beside each file it changes must be free: they are never a user's file
// ('~' is refused in patch paths), but whatever stands there is not overwritten either.
bool OwnNamesFree(const PatchModel& model, const DirectoryFacts& facts, const Plan& plan, Refusal& refusal) {
    for (const PlannedAction& action : plan.actions) {
        const EntryScene& scene = facts.entries[static_cast<std::size_t>(action.entry - model.entries.data())];
        const std::string& path = action.entry->path;
        for (const auto& [own, name] : {std::make_pair(&scene.staged, StagedPathOf(path)),
                                        std::make_pair(&scene.backup, BackupPathOf(path))}) {
            if (own->kind != PathKind::Missing) {
                refusal = Refuse(path, name + " is in the way of the patch");
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool PlanPatch(const PatchModel& model, const DirectoryFacts& facts, const std::string& patchName, Plan& plan,
               Refusal& refusal) {
    plan = Plan{};
    std::set<std::string> plannedDirectories;
    for (std::size_t i = 0; i < model.entries.size(); ++i)
        if (!PlanEntry(model.entries[i], facts.entries.at(i), patchName, plannedDirectories, plan, refusal))
            return false;
    return OwnNamesFree(model, facts, plan, refusal);
}

} // namespace hotfix::engine
