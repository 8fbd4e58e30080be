#include "app/hotfix_run.h"

#include "discovery/application_locator.h"
#include "discovery/version_label.h"

namespace hotfix {

const char kStatusUpToDate[] = "A JOUR";
const char kStatusError[] = "ERREUR";
const char kStatusRunning[] = "APPLI_NON_ARRETEE";

namespace {

constexpr unsigned kRetryPauseMs = 2000;

// Reads the label in its full form into `label`; an unreadable file leaves it as it was.
void ReadFullLabel(HotfixContext& context, const std::string& path, std::string& label) {
    ReadVersionLabel(context.versions, path, label, /*forceShort=*/0, /*fullForm=*/1, context.codePage);
}

// Everything up to the message: decides the outcome, patching when the installation is
// patchable and stopped.
Outcome Decide(HotfixContext& context, RunRecord& record) {
    record.executablePath = FindInstalledExecutable(context.registry, context.files, context.codePage);
    if (record.executablePath.empty()) return Outcome::NotFound;

    const std::string fileName = FileNameOf(record.executablePath, context.codePage);
    record.applicationDirectory = DirectoryOf(record.executablePath, context.codePage);
    record.product = FindProduct(fileName, context.codePage);
    if (!record.product) return Outcome::NotFound;
    const ProductEntry& product = *record.product;

    if (context.patchStep.HasInterruptedRun(record.applicationDirectory)) {
        record.interruptedRunFound = true;
        record.runningTestMade = true;
        if (!context.runningTest.IsApplicationStopped(record.executablePath)) {
            record.statusWord = kStatusRunning;
            return Outcome::StillRunning;
        }
        record.settleResult = context.patchStep.SettleInterruptedRun(record.applicationDirectory, product.ProductCode);
        record.unsettled = context.patchStep.HasInterruptedRun(record.applicationDirectory);
        if (record.unsettled) return Outcome::Failed;
    }

    std::string status;
    ReadFullLabel(context, record.executablePath, status);
    record.labelBefore = status;
    status = ClassifyLabel(product, status);

    if (IsBaseLabel(product, status)) {
        record.runningTestMade = true;
        if (!context.runningTest.IsApplicationStopped(record.executablePath)) status = kStatusRunning;
    }
    record.statusWord = status;

    if (status == kStatusRunning) return Outcome::StillRunning;
    if (status == kStatusError) return Outcome::WrongVersion;
    if (status == kStatusUpToDate) return Outcome::UpToDate;

    record.patchAttempted = true;
    record.patchResult = context.patchStep.ApplyPatches(record.applicationDirectory, product.ProductCode);
    if (record.patchResult != 1) return Outcome::Failed;
    record.unsettled = context.patchStep.HasInterruptedRun(record.applicationDirectory);
    if (record.unsettled) return Outcome::Failed;

    // A file that lost its version resource keeps the base label read before: not applied.
    ReadFullLabel(context, record.executablePath, status);
    record.labelAfter = status;
    return IsBaseLabel(product, status) ? Outcome::Failed : Outcome::Applied;
}

} // namespace

std::string ClassifyLabel(const ProductEntry& product, const std::string& label) {
    if (IsBaseLabel(product, label)) return label;
    if (IsTargetLabel(product, label)) return kStatusUpToDate;
    return kStatusError;
}

bool RunHotfix(HotfixContext& context, RunRecord* record) {
    RunRecord local;
    RunRecord& facts = record ? *record : local;
    facts = RunRecord();

    facts.outcome = Decide(context, facts);
    const Message message =
        MessageFor(facts.outcome, facts.product ? facts.product->DisplayName : std::string());
    facts.answer = context.ui.ShowMessage(message.text, message.style);

    if (facts.outcome == Outcome::StillRunning) return facts.answer != kAnswerRetry;
    return true;
}

void RunUntilFinished(HotfixContext& context, Sleeper& sleeper) {
    while (!RunHotfix(context)) sleeper.Sleep(kRetryPauseMs);
}

} // namespace hotfix
