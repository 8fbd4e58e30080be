#pragma once
// One hotfix run: find the product, classify its label, refuse while it runs, patch, re-read
// the label, and tell the user the outcome in exactly one message box. A removal runs the
// same way with the reverse patch files. The decisions are
// NextStep's (run_plan.h); a run carries its steps out one by one and records their answers.
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/run_plan.h"
#include "catalogue/product_catalogue.h"
#include "patch/patch_step.h"
#include "platform/code_page.h"
#include "platform/file_lookup.h"
#include "platform/machine_records.h"
#include "platform/registry.h"
#include "platform/user_interface.h"
#include "platform/version_source.h"
#include "process/running_test.h"

namespace hotfix {

// What a run needs from the platform.
struct HotfixContext {
    Registry& registry;
    FileLookup& files;
    const CodePage& codePage;
    VersionSource& versions;
    RunningTest& runningTest;
    PatchStep& patchStep;
    UserInterface& ui;
    // Where a patched installation is recorded for its removal; none: nothing is recorded,
    // and a removal finds no receipt.
    MachineRecords* records = nullptr;
};

// What one run found, did and told, for callers that report it.
struct RunRecord {
    RunFacts facts;
    std::vector<StepKind> steps;   // the steps taken, in order, the final Tell included
    Outcome outcome = Outcome::NotFound;
    std::string statusWord;        // the status word that chose the outcome ("" when none did)
    int answer = 0;                // the button that closed the message box
};

// Told of each step as it is taken, with the record as it stands: a log written from the
// record. `StepTaken` comes after the step's answer is in the record (for Tell, the answer
// to the message); the events of a patch sequence come between the two calls.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void StepStarting(StepKind step, const RunRecord& record) = 0;
    virtual void StepTaken(StepKind step, const RunRecord& record) = 0;
};

// One run, a removal when `removing`. True when it is finished, whatever its outcome; false
// when the user chose Retry on the still-running message. `record`, when given, receives what
// the run saw.
bool RunHotfix(HotfixContext& context, RunRecord* record = nullptr, RunObserver* observer = nullptr,
               bool removing = false);

} // namespace hotfix
