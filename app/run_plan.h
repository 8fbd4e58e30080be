#pragma once
// The decisions of one hotfix run, as data: what the run knows so far (RunFacts) in, the next
// step to take or the outcome to tell (RunStep) out. Nothing here touches the platform; the
// run (hotfix_run.h) carries the steps out and records each answer in the facts.
#include <optional>
#include <string>

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
struct RunFacts {
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
RunStep NextStep(const RunFacts& facts);

} // namespace hotfix
