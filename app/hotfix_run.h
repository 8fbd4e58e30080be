#pragma once
// One hotfix run: find the product, classify its label, refuse while it runs, patch, re-read
// the label, and tell the user the outcome in exactly one message box.
#include <string>

#include "app/messages.h"
#include "catalogue/product_catalogue.h"
#include "patch/patch_step.h"
#include "platform/code_page.h"
#include "platform/file_lookup.h"
#include "platform/registry.h"
#include "platform/user_interface.h"
#include "platform/version_source.h"
#include "process/running_test.h"

namespace hotfix {

// Internal status words of a run; they never reach the user.
extern const char kStatusUpToDate[];    // "A JOUR"
extern const char kStatusError[];       // "ERREUR"
extern const char kStatusRunning[];     // "APPLI_NON_ARRETEE"

// What a run needs from the platform.
struct HotfixContext {
    Registry& registry;
    FileLookup& files;
    const CodePage& codePage;
    VersionSource& versions;
    RunningTest& runningTest;
    PatchStep& patchStep;
    UserInterface& ui;
};

// What one run found and decided, for callers that report it.
struct RunRecord {
    std::string executablePath;
    std::string applicationDirectory;
    const ProductEntry* product = nullptr;
    std::string labelBefore;            // as read, before classification ("" when unreadable)
    std::string statusWord;             // the status word that chose the outcome
    bool runningTestMade = false;
    bool interruptedRunFound = false;   // an engine run had been interrupted in the directory
    int settleResult = 0;               // the settling sequence's result, when it ran
    bool unsettled = false;             // an interrupted run was still there: before or after patching
    bool patchAttempted = false;
    int patchResult = 0;
    std::string labelAfter;             // as read after patching
    Outcome outcome = Outcome::NotFound;
    int answer = 0;                     // the button that closed the message box
};

// The status word for `label` on `product` before patching: the label itself when it is a
// base label, "A JOUR" for the target label, "ERREUR" for anything else (the empty label too).
std::string ClassifyLabel(const ProductEntry& product, const std::string& label);

// One run. True when it is finished, whatever its outcome; false when the user chose Retry
// on the still-running message. `record`, when given, receives what the run saw.
// An installation where an engine run was interrupted (a kill, a power cut) may be half old,
// half new whatever its executable says, so before anything is decided on its version the
// engine settles it: refused while the application runs (message 2), and message 5 when it
// stays unsettled. A patch sequence that leaves an interrupted run behind is a failure too.
bool RunHotfix(HotfixContext& context, RunRecord* record = nullptr);

// The start-up loop: runs until a run is finished, pausing 2000 ms before each new try.
void RunUntilFinished(HotfixContext& context, Sleeper& sleeper);

} // namespace hotfix
