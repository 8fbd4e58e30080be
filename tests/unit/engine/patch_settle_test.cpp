// The settling decision, from facts to plan: one row per situation an interrupted run can leave.
#include "engine/patch_settle.h"

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
        if (c.verdict == SettleVerdict::Settle) EXPECT_EQ(plan.direction, c.direction) << c.name;
        EXPECT_EQ(plan.steps, c.steps) << c.name;
    }
}

} // namespace
} // namespace hotfix::engine
