#pragma once
// The decisions of one hotfix run, as data: what the run knows so far (RunFacts) in, the next
// step to take or the outcome to tell (RunStep) out. Nothing here touches the platform; the
// run (hotfix_run.h) carries the steps out and records each answer in the facts.
#include <optional>
#include <string>

#include <vector>

#include "app/hotfix_records.h"
#include "app/messages.h"
#include "app/pending_restart.h"
#include "catalogue/product_catalogue.h"

namespace hotfix {

// Internal status words of a run; they never reach the user.
extern const char kStatusUpToDate[];    // "A JOUR"
extern const char kStatusError[];       // "ERREUR"
extern const char kStatusRunning[];     // "APPLI_NON_ARRETEE"

// The status word for `label` on `product` before patching: the label itself when it is a
// base label, "A JOUR" for the target label, "ERREUR" for anything else (the empty label too).
std::string ClassifyLabel(const ProductEntry& product, const std::string& label);

// What the run has found out, one field per step; a step that has not run leaves its field
// empty. Labels are in their full form, "" when the file has no readable version resource.
// One reverse patch file run by a removal, and what was found after it.
struct Unpatching {
    int result = 0;                        // the patch sequence's result: 1 went through
    std::optional<bool> interrupted;       // an interrupted engine run left behind
    std::optional<std::string> label;      // the label read after it
};

struct RunFacts {
    bool removing = false;                       // "/uninstall": the run removes the hotfix
    bool located = false;
    std::string executablePath;                  // "" when the document type is not registered
    std::string applicationDirectory;            // with its final backslash
    const ProductEntry* product = nullptr;       // nullptr: the file name is of no product
    std::optional<PendingRestart> pendingRestart;  // operations left for the next restart
    std::optional<bool> interruptedAtStart;      // an interrupted engine run had left its traces
    std::optional<bool> stoppedBeforeSettling;   // the running test, before the engine settles
    std::optional<int> settleResult;             // the settling sequence's result
    std::optional<bool> interruptedAfterSettling;
    std::optional<std::string> labelBefore;
    std::optional<bool> stopped;                 // the running test, before patching
    std::optional<int> patchResult;              // the patch sequence's result: 1 went through
    std::optional<bool> interruptedAfterPatching;
    std::optional<std::string> labelAfter;
    std::optional<RecordResult> recorded;        // what recording the patch left on the machine

    // Removal only.
    std::optional<RemovalTarget> removalTarget;  // the label to go back to, and why that one
    std::vector<Unpatching> unpatched;           // the reverse patch files run so far, in order
    std::optional<ForgetResult> forgotten;       // what taking the records away did
};

enum class StepKind {
    Locate,                 // find the executable through the registry, then its product
    CheckPendingRestart,    // read the operations left for the next restart
    FindInterruptedRun,     // look for an interrupted engine run's traces
    TestRunningBeforeSettling,
    Settle,                 // let the engine settle that run, applying nothing
    CheckSettled,           // look for the traces again
    ReadLabel,
    TestRunning,
    Patch,                  // the patch sequence over the product's patch files
    CheckPatched,           // an interrupted run left behind by the sequence?
    ReadLabelAfter,
    Record,                 // patched: the receipt, the kept installer and its entry
    // Removal only.
    ReadReceipt,            // which base label to go back to
    Unpatch,                // the next reverse patch file (unpatched.size() in removal order)
    CheckUnpatched,         // an interrupted run left behind by it?
    ReadLabelBetween,       // the label after it
    Forget,                 // back at the base: the entry, the receipt and the kept installer go
    Tell,                   // the run is decided: show `outcome`'s message
};

struct RunStep {
    StepKind kind = StepKind::Locate;
    Outcome outcome = Outcome::NotFound;   // Tell only
    std::string statusWord;                // Tell only: the word that chose the outcome, if any
};

// The next step of a run that knows `facts`. Reading order: nothing is done in a directory
// that an operation left for the next restart names (the restart would undo it: message 5);
// an interrupted run is settled before the version is read (an installation half old, half
// new is judged by nothing it says), refused while the application runs; a base label is
// patched only while the application is stopped; the outcome of a patch is judged by the
// engine's result, the directory being settled and the label having left the bases.
//
// A removal settles, refuses and is judged the same way. It goes back to the base label of
// its RemovalTarget by the row's reverse patch files in turn, reading the label after each,
// and stops there. The base labels are listed oldest first: an installation already at that
// label, or at an older one, has nothing left to remove. One whose label is neither a base nor
// the target is not touched (NotInstalled). Each reverse patch file must leave the label at a
// base label (one it skips as already applied leaves it where it is); the target or anything
// else after one means it was refused, and the removal fails there.
RunStep NextStep(const RunFacts& facts);

} // namespace hotfix
