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

} // namespace

bool PlanPatch(const PatchModel& model, const DirectoryFacts& facts, const std::string& patchName, Plan& plan,
               Refusal& refusal) {
    plan = Plan{};
    std::set<std::string> plannedDirectories;
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const PatchEntry& entry = model.entries[i];
        const EntryScene& scene = facts.entries.at(i);
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
        case PathKind::Missing:
            if (entry.kind == EntryKind::Remove) {
                plan.notes.push_back(path + ": already removed");
            } else if (entry.kind == EntryKind::Change) {
                refusal = Refuse(path, path + " is missing; the patch changes it");
                return false;
            } else {
                if (!PlanDirectories(entry, scene, plannedDirectories, plan, refusal)) return false;
                plan.actions.push_back({ChangeKind::Add, &entry, nullptr});
                plan.notes.push_back(path + ": will be added");
            }
            continue;
        case PathKind::File: break;
        }
        const FileDigest& found = scene.target.digest;
        // Unhashed, the file's size names the one old version it can be (staging proves it).
        const bool bySize = !scene.target.hashed;
        if (!bySize && entry.kind != EntryKind::Remove && found == entry.target) {
            plan.notes.push_back(path + ": already up to date");
            continue;
        }
        const OldVersion* match = bySize && scene.target.sized ? OldVersionBySize(entry, found.size) : nullptr;
        for (const OldVersion& old : entry.olds)
            if (!bySize && old.digest == found) match = &old;
        if (match == nullptr) {
            refusal = Refuse(path, path + (entry.kind == EntryKind::Add
                                               ? " exists and differs from the file the patch adds"
                                               : NotAVersionItAppliesTo));
            return false;
        }
        const bool remove = entry.kind == EntryKind::Remove;
        plan.actions.push_back({remove ? ChangeKind::Remove : ChangeKind::Replace, &entry, match,
                                remove ? 0u : scene.target.attributes, bySize});
        plan.notes.push_back(path + (remove ? ": will be removed" : ": will be patched"));
    }
    // The engine's own names beside each file it changes must be free: they are never a user's
    // file ('~' is refused in patch paths), but whatever stands there is not overwritten either.
    for (std::size_t i = 0, a = 0; i < model.entries.size() && a < plan.actions.size(); ++i) {
        if (plan.actions[a].entry != &model.entries[i]) continue;
        ++a;
        const EntryScene& scene = facts.entries[i];
        for (const auto& [own, name] : {std::make_pair(&scene.staged, StagedPathOf(model.entries[i].path)),
                                        std::make_pair(&scene.backup, BackupPathOf(model.entries[i].path))}) {
            if (own->kind != PathKind::Missing) {
                refusal = Refuse(model.entries[i].path, name + " is in the way of the patch");
                return false;
            }
        }
    }
    return true;
}

} // namespace hotfix::engine
