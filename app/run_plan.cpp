#include "app/run_plan.h"

namespace hotfix {

const char kStatusUpToDate[] = "A JOUR";
const char kStatusError[] = "ERREUR";
const char kStatusRunning[] = "APPLI_NON_ARRETEE";

std::string ClassifyLabel(const ProductEntry& product, const std::string& label) {
    if (IsBaseLabel(product, label)) return label;
    if (IsTargetLabel(product, label)) return kStatusUpToDate;
    return kStatusError;
}

namespace {

RunStep Take(StepKind kind) { return RunStep{kind, Outcome::NotFound, std::string()}; }
RunStep Tell(Outcome outcome, std::string statusWord = std::string()) {
    return RunStep{StepKind::Tell, outcome, std::move(statusWord)};
}

// Removing, once the directory is settled: see NextStep.
RunStep NextRemovalStep(const RunFacts& facts) {
    const ProductEntry& product = *facts.product;
    if (!facts.labelBefore) return Take(StepKind::ReadLabel);
    const std::string& label = *facts.labelBefore;
    const bool target = IsTargetLabel(product, label);
    if (!target && !IsBaseLabel(product, label)) return Tell(Outcome::NotInstalled, kStatusError);
    if (!facts.removalTarget) return Take(StepKind::ReadReceipt);
    const RemovalTarget& goal = *facts.removalTarget;
    const int goalIndex = BaseLabelIndex(product, goal.label);
    const bool believed = goal.verdict == ReceiptVerdict::Believed;

    auto finish = [&](Outcome outcome) {
        if (!facts.forgotten) return Take(StepKind::Forget);
        return Tell(outcome);
    };
    if (!target && BaseLabelIndex(product, label) <= goalIndex) {
        // Nothing left to remove here. A receipt of another installation stays for it; any
        // other record of the hotfix (a receipt of this one, one that cannot be read, an
        // entry left without its receipt) goes.
        if (goal.verdict == ReceiptVerdict::OtherPath) return Tell(Outcome::NothingToRemove);
        return finish(believed ? Outcome::Removed : Outcome::NothingToRemove);
    }

    if (!facts.stopped) return Take(StepKind::TestRunning);
    if (!*facts.stopped) return Tell(Outcome::StillRunning, kStatusRunning);

    if (!facts.unpatched.empty()) {
        const Unpatching& last = facts.unpatched.back();
        if (last.result != 1) return Tell(Outcome::Failed);
        if (!last.interrupted) return Take(StepKind::CheckUnpatched);
        if (*last.interrupted) return Tell(Outcome::Failed);
        if (!last.label) return Take(StepKind::ReadLabelBetween);
        const int index = BaseLabelIndex(product, *last.label);
        if (index < 0 || index < goalIndex) return Tell(Outcome::Failed);
        if (index == goalIndex) return finish(Outcome::Removed);
    }
    if (facts.unpatched.size() >= product.RemovalFiles.size()) return Tell(Outcome::Failed);
    return Take(StepKind::Unpatch);
}

} // namespace

RunStep NextStep(const RunFacts& facts) {
    if (!facts.located) return Take(StepKind::Locate);
    if (facts.executablePath.empty() || !facts.product) return Tell(Outcome::NotFound);
    const ProductEntry& product = *facts.product;

    // Before anything that writes into the directory (settling too), and before the label: the
    // files the restart leaves are not the ones read now.
    if (!facts.pendingRestart) return Take(StepKind::CheckPendingRestart);
    if (facts.pendingRestart->blocking) return Tell(Outcome::Failed);

    if (!facts.interruptedAtStart) return Take(StepKind::FindInterruptedRun);
    if (*facts.interruptedAtStart) {
        // Settling replaces the application's files: never under a running application.
        if (!facts.stoppedBeforeSettling) return Take(StepKind::TestRunningBeforeSettling);
        if (!*facts.stoppedBeforeSettling) return Tell(Outcome::StillRunning, kStatusRunning);
        if (!facts.settleResult) return Take(StepKind::Settle);
        if (!facts.interruptedAfterSettling) return Take(StepKind::CheckSettled);
        if (*facts.interruptedAfterSettling) return Tell(Outcome::Failed);
    }
    if (facts.removing) return NextRemovalStep(facts);

    if (!facts.labelBefore) return Take(StepKind::ReadLabel);
    const std::string status = ClassifyLabel(product, *facts.labelBefore);
    if (status == kStatusError) return Tell(Outcome::WrongVersion, status);
    if (status == kStatusUpToDate) return Tell(Outcome::UpToDate, status);

    if (!facts.stopped) return Take(StepKind::TestRunning);
    if (!*facts.stopped) return Tell(Outcome::StillRunning, kStatusRunning);

    if (!facts.patchResult) return Take(StepKind::Patch);
    if (*facts.patchResult != 1) return Tell(Outcome::Failed, status);
    if (!facts.interruptedAfterPatching) return Take(StepKind::CheckPatched);
    if (*facts.interruptedAfterPatching) return Tell(Outcome::Failed, status);

    // A file that lost its version resource counts as still at the base label: not applied.
    if (!facts.labelAfter) return Take(StepKind::ReadLabelAfter);
    const bool applied = !facts.labelAfter->empty() && !IsBaseLabel(product, *facts.labelAfter);
    if (!applied) return Tell(Outcome::Failed, status);
    if (!facts.recorded) return Take(StepKind::Record);
    return Tell(Outcome::Applied, status);
}

} // namespace hotfix
