#include "app/hotfix_run.h"

#include "discovery/application_locator.h"
#include "discovery/version_label.h"

namespace hotfix {

namespace {

// The label in its full form; "" when the file has no readable version resource.
std::string ReadFullLabel(HotfixContext& context, const std::string& path) {
    std::string label;
    ReadVersionLabel(context.versions, path, label, /*forceShort=*/0, /*fullForm=*/1, context.codePage);
    return label;
}

// Carries out `step`, recording its answer in `facts`.
void Take(HotfixContext& context, StepKind step, RunFacts& facts) {
    const int code = facts.product ? facts.product->ProductCode : 0;
    switch (step) {
    case StepKind::Locate:
        facts.located = true;
        facts.executablePath = FindInstalledExecutable(context.registry, context.files, context.codePage);
        if (facts.executablePath.empty()) return;
        facts.applicationDirectory = DirectoryOf(facts.executablePath, context.codePage);
        facts.product = FindProduct(FileNameOf(facts.executablePath, context.codePage), context.codePage);
        return;
    case StepKind::CheckPendingRestart: {
        std::vector<PendingRenameValue> values;
        for (const char* name : kPendingRenameValues)
            values.push_back({name, context.registry.ReadMachineMultiString(kSessionManagerKey, name)});
        facts.pendingRestart = DecidePendingRestart(std::move(values), facts.applicationDirectory, context.codePage);
        return;
    }
    case StepKind::FindInterruptedRun:
        facts.interruptedAtStart = context.patchStep.HasInterruptedRun(facts.applicationDirectory);
        return;
    case StepKind::TestRunningBeforeSettling:
        facts.stoppedBeforeSettling = context.runningTest.IsApplicationStopped(facts.executablePath);
        return;
    case StepKind::Settle:
        facts.settleResult = context.patchStep.SettleInterruptedRun(facts.applicationDirectory, code);
        return;
    case StepKind::CheckSettled:
        facts.interruptedAfterSettling = context.patchStep.HasInterruptedRun(facts.applicationDirectory);
        return;
    case StepKind::ReadLabel:
        facts.labelBefore = ReadFullLabel(context, facts.executablePath);
        return;
    case StepKind::TestRunning:
        facts.stopped = context.runningTest.IsApplicationStopped(facts.executablePath);
        return;
    case StepKind::Patch:
        facts.patchResult = context.patchStep.ApplyPatches(facts.applicationDirectory, code);
        return;
    case StepKind::CheckPatched:
        facts.interruptedAfterPatching = context.patchStep.HasInterruptedRun(facts.applicationDirectory);
        return;
    case StepKind::ReadLabelAfter:
        facts.labelAfter = ReadFullLabel(context, facts.executablePath);
        return;
    case StepKind::Record:
        facts.recorded = RecordResult();
        if (context.records)
            facts.recorded = RecordPatch(*context.records, *facts.product, *facts.labelBefore, facts.executablePath);
        else
            facts.recorded->copy.problem = "no records on this platform";
        return;
    case StepKind::ReadReceipt: {
        const MachineKeyRead receipt =
            context.records ? context.records->ReadKey(ReceiptKey(ThisHotfix())) : MachineKeyRead();
        facts.removalTarget = ChooseRemovalTarget(*facts.product, facts.executablePath, receipt, context.codePage);
        return;
    }
    case StepKind::Unpatch: {
        const std::string& file = facts.product->RemovalFiles[facts.unpatched.size()];
        facts.unpatched.push_back(Unpatching{context.patchStep.ApplyPatchFile(facts.applicationDirectory, file), {}, {}});
        return;
    }
    case StepKind::CheckUnpatched:
        facts.unpatched.back().interrupted = context.patchStep.HasInterruptedRun(facts.applicationDirectory);
        return;
    case StepKind::ReadLabelBetween:
        facts.unpatched.back().label = ReadFullLabel(context, facts.executablePath);
        return;
    case StepKind::Forget:
        facts.forgotten = context.records ? ForgetPatch(*context.records) : ForgetResult();
        return;
    case StepKind::Tell:
        return;
    }
}

} // namespace

bool RunHotfix(HotfixContext& context, RunRecord* record, RunObserver* observer, bool removing) {
    RunRecord local;
    RunRecord& run = record ? *record : local;
    run = RunRecord();
    run.facts.removing = removing;

    for (;;) {
        const RunStep step = NextStep(run.facts);
        run.steps.push_back(step.kind);
        if (observer) observer->StepStarting(step.kind, run);
        if (step.kind == StepKind::Tell) {
            run.outcome = step.outcome;
            run.statusWord = step.statusWord;
            const Message message = MessageFor(
                run.outcome, run.facts.product ? run.facts.product->DisplayName : std::string(), removing);
            run.answer = context.ui.ShowMessage(message.text, message.style);
            if (observer) observer->StepTaken(step.kind, run);
            return run.outcome != Outcome::StillRunning || run.answer != kAnswerRetry;
        }
        Take(context, step.kind, run.facts);
        if (observer) observer->StepTaken(step.kind, run);
    }
}

} // namespace hotfix
