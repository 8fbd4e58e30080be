// The engine's two decisions, from facts to plan: what the check does with each entry, and how
// an interrupted run is settled. Pure functions: no file system, one table each.
#include "engine/patch_plan.h"
#include "engine/patch_settle.h"
#include "rtp_test_support.h"

#include <gtest/gtest.h>

namespace hotfix::engine {
namespace {

using H = Holds;
using K = SettleStepKind;
constexpr EntryKind kChange = EntryKind::Change, kAdd = EntryKind::Add, kRemove = EntryKind::Remove;

TEST(SettleDecision, FromFactsToPlan) {
    struct Case {
        const char* name;
        JournalFinding journal;
        JournalState state;
        std::vector<EntryFacts> entries;
        SettleVerdict verdict;
        Direction direction;
        std::vector<SettleStep> steps;
    };
    const auto none = JournalFinding::None, bound = JournalFinding::Bound, damaged = JournalFinding::Damaged;
    const auto swapping = JournalState::Swapping, committed = JournalState::Committed;
    const Case cases[] = {
        {"nothing left behind", none, swapping, {{kChange, H::Old, H::Absent, H::Absent}},
         SettleVerdict::Nothing, Direction::Old, {}},
        {"killed while staging: partial staged file", bound, swapping,
         {{kChange, H::Old, H::Absent, H::New}, {kChange, H::Old, H::Absent, H::OtherFile}},
         SettleVerdict::Settle, Direction::Old, {{K::DeleteStaged, 0}, {K::DeleteStaged, 1}}},
        {"killed after the first swap", bound, swapping,
         {{kChange, H::New, H::Old, H::Absent}, {kChange, H::Old, H::Absent, H::New}, {kAdd, H::Absent, H::Absent, H::New}},
         SettleVerdict::Settle, Direction::Old, {{K::RestoreBackup, 0}, {K::DeleteStaged, 1}, {K::DeleteStaged, 2}}},
        {"the same, journal lost: finished instead", none, swapping,
         {{kChange, H::New, H::Old, H::Absent}, {kChange, H::Old, H::Absent, H::New}, {kAdd, H::Absent, H::Absent, H::New}},
         SettleVerdict::Settle, Direction::New, {{K::DeleteBackup, 0}, {K::PutStaged, 1}, {K::PutStaged, 2}}},
        {"killed while a file was half swapped (moved aside, not yet replaced)", bound, swapping,
         {{kChange, H::Absent, H::Old, H::New}, {kRemove, H::Absent, H::Old, H::Absent}},
         SettleVerdict::Settle, Direction::Old, {{K::RestoreBackup, 0}, {K::DeleteStaged, 0}, {K::RestoreBackup, 1}}},
        {"killed while deleting backups after the commit", bound, committed,
         {{kChange, H::New, H::Absent, H::Absent}, {kChange, H::New, H::Old, H::Absent}, {kAdd, H::New, H::Absent, H::Absent}},
         SettleVerdict::Settle, Direction::New, {{K::DeleteBackup, 1}}},
        {"the same, journal torn", damaged, swapping,
         {{kChange, H::New, H::Absent, H::Absent}, {kChange, H::New, H::Old, H::Absent}},
         SettleVerdict::Settle, Direction::New, {{K::DeleteBackup, 1}}},
        {"an added file is removed when going old", bound, swapping,
         {{kAdd, H::New, H::Absent, H::Absent}, {kChange, H::Old, H::Absent, H::New}},
         SettleVerdict::Settle, Direction::Old, {{K::DeleteTarget, 0}, {K::DeleteStaged, 1}}},
        {"a file nobody knows under a backup name is left alone", bound, swapping,
         {{kChange, H::Old, H::OtherFile, H::Absent}}, SettleVerdict::Settle, Direction::Old, {}},
        {"a changed file with a backup: neither state", bound, swapping,
         {{kChange, H::OtherFile, H::Old, H::Absent}, {kChange, H::Old, H::Absent, H::Absent}},
         SettleVerdict::Conflict, Direction::Old, {}},
        {"a journal of another patch", JournalFinding::Foreign, swapping, {{kChange, H::New, H::Old, H::Absent}},
         SettleVerdict::Foreign, Direction::Old, {}},
    };
    for (const Case& c : cases) {
        SettleFacts facts;
        facts.journal = c.journal;
        facts.journalState = c.state;
        facts.entries = c.entries;
        const SettlePlan plan = DecideSettlement(facts);
        EXPECT_EQ(plan.verdict, c.verdict) << c.name;
        if (c.verdict == SettleVerdict::Settle) {
            EXPECT_EQ(plan.direction, c.direction) << c.name;
        }
        EXPECT_EQ(plan.steps, c.steps) << c.name;
    }
}

TEST(PlanDecision, FromFactsToPlan) {
    // One entry of each kind: app.exe changed (two old versions), extra\\new.dat added, old.txt removed.
    const auto patch = testing::BuildWholePatch({{"app.exe", {"app 0", "app 1"}, true, "app 2"},
                                                 {"extra\\new.dat", {}, true, "new"},
                                                 {"old.txt", {"old"}, false, ""}});
    PatchModel model;
    std::string error;
    ASSERT_TRUE(ParsePatchBytes(patch.data(), patch.size(), model, error));
    auto kindOf = [](PathKind kind) {
        NameFacts facts;
        facts.kind = kind;
        return facts;
    };
    auto file = [&](const std::string& bytes, std::uint32_t attributes = 0) {
        NameFacts facts = kindOf(PathKind::File);
        facts.hashed = true;
        facts.digest = testing::DigestOf(bytes);
        facts.attributes = attributes;
        return facts;
    };
    auto only = [](const NameFacts& target) {
        EntryScene scene;
        scene.target = target;
        return scene;
    };
    const NameFacts missing{}, directory = kindOf(PathKind::Directory), link = kindOf(PathKind::Link);
    using Parents = std::vector<std::pair<std::string, PathKind>>;
    struct Case {
        const char* name;
        std::vector<EntryScene> scenes;
        std::vector<ChangeKind> actions; // empty with a refusal
        std::vector<std::string> directories;
        const char* refused;             // the file named, or nullptr
    };
    const EntryScene appOld{file("app 1", 1), missing, missing, {}};
    const EntryScene addedMissing{missing, missing, missing, Parents{{"extra", PathKind::Missing}}};
    const EntryScene oldThere{file("old"), missing, missing, {}};
    const Case cases[] = {
        {"every entry in its old state", {appOld, addedMissing, oldThere},
         {ChangeKind::Replace, ChangeKind::Add, ChangeKind::Remove}, {"extra"}, nullptr},
        {"already new, added, removed", {only(file("app 2")), only(file("new")), only(missing)}, {}, {}, nullptr},
        {"a changed file", {only(file("app 1, edited")), addedMissing, oldThere}, {}, {}, "app.exe"},
        {"a file the patch changes is missing", {only(missing), addedMissing, oldThere}, {}, {}, "app.exe"},
        {"a directory at a file's name", {only(directory), addedMissing, oldThere}, {}, {}, "app.exe"},
        {"a link at a file's name", {only(link), addedMissing, oldThere}, {}, {}, "app.exe"},
        {"a file where a directory must be made",
         {appOld, {missing, missing, missing, Parents{{"extra", PathKind::File}}}, oldThere}, {}, {}, "extra\\new.dat"},
        {"a link where a directory must be made",
         {appOld, {missing, missing, missing, Parents{{"extra", PathKind::Link}}}, oldThere}, {}, {}, "extra\\new.dat"},
        {"an added file exists with other content", {appOld, only(file("mine")), oldThere}, {}, {}, "extra\\new.dat"},
        {"something under an engine's name", {{file("app 1"), file("app 0"), missing, {}}, addedMissing, oldThere}, {}, {}, "app.exe"},
    };
    for (const Case& c : cases) {
        DirectoryFacts facts;
        facts.entries = c.scenes;
        Plan plan;
        Refusal refusal;
        const bool planned = PlanPatch(model, facts, "", plan, refusal);
        EXPECT_EQ(planned, c.refused == nullptr) << c.name << ": " << refusal.message;
        if (!planned) {
            EXPECT_EQ(refusal.file, c.refused) << c.name;
            EXPECT_EQ(refusal.outcome, ApplyOutcome::NotApplicable) << c.name;
            continue;
        }
        std::vector<ChangeKind> actions;
        for (const PlannedAction& action : plan.actions) actions.push_back(action.action);
        EXPECT_EQ(actions, c.actions) << c.name;
        EXPECT_EQ(plan.directories, c.directories) << c.name;
        EXPECT_EQ(plan.notes.size(), model.entries.size()) << c.name;
    }
    // The replaced file keeps its attributes; the version found is the one the delta starts from.
    DirectoryFacts facts;
    facts.entries = {appOld, addedMissing, oldThere};
    Plan plan;
    Refusal refusal;
    ASSERT_TRUE(PlanPatch(model, facts, "", plan, refusal));
    EXPECT_EQ(plan.actions[0].attributes, 1u);
    EXPECT_EQ(plan.actions[0].from, &model.entries[0].olds[1]);
    EXPECT_FALSE(PlanPatch(model, facts, "OLD.TXT", plan, refusal)); // the patch file itself
}

// A change entry's own file is not hashed at the check when its size names the one old version
// it can be; the transaction proves its bytes.
TEST(PlanDecision, AFileToldByItsSize) {
    auto old = [](std::uint64_t size, ContentMethod method) {
        OldVersion version;
        version.digest.size = size;
        version.content.method = method;
        return version;
    };
    PatchEntry entry;
    entry.kind = EntryKind::Change;
    entry.path = "app.exe";
    entry.target.size = 7;
    entry.olds = {old(5, ContentMethod::Delta), old(6, ContentMethod::MatchDelta), old(2, ContentMethod::Whole)};
    struct Case {
        const char* name;
        EntryKind kind;
        std::uint64_t size;
        int version; // index into olds, -1 for none
    };
    const Case cases[] = {
        {"a VCDIFF source", EntryKind::Change, 5, 0},
        {"a match delta's source", EntryKind::Change, 6, 1},
        {"replaced by whole content", EntryKind::Change, 2, 2},
        {"the new version's size", EntryKind::Change, 7, -1},
        {"no version's size", EntryKind::Change, 9, -1},
        {"a file the entry removes", EntryKind::Remove, 5, -1},
    };
    for (const Case& c : cases) {
        entry.kind = c.kind;
        EXPECT_EQ(OldVersionBySize(entry, c.size), c.version < 0 ? nullptr : &entry.olds[c.version]) << c.name;
    }
    entry.kind = EntryKind::Change;
    entry.olds.push_back(old(6, ContentMethod::Delta));
    EXPECT_EQ(OldVersionBySize(entry, 6), nullptr) << "two versions of that size";

    PatchModel model;
    model.entries = {entry};
    DirectoryFacts facts;
    NameFacts sized;
    sized.kind = PathKind::File;
    sized.sized = true;
    sized.digest.size = 5;
    facts.entries = {EntryScene{sized, {}, {}, {}}};
    Plan plan;
    Refusal refusal;
    ASSERT_TRUE(PlanPatch(model, facts, "", plan, refusal)) << refusal.message;
    ASSERT_EQ(plan.actions.size(), 1u);
    EXPECT_EQ(plan.actions[0].from, &model.entries[0].olds[0]);
    EXPECT_TRUE(plan.actions[0].bySize);
    facts.entries[0].target.digest.size = 6; // no longer names one version
    EXPECT_FALSE(PlanPatch(model, facts, "", plan, refusal));
    EXPECT_EQ(refusal.file, "app.exe");
}

} // namespace
} // namespace hotfix::engine
