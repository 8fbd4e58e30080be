// The decisions of a hotfix run as plans (the steps NextStep takes for given answers), and the
// run carrying them out against fakes: the right calls, one message, the right text and icon.
#include <gtest/gtest.h>

#include <sstream>

#include "app/hotfix_run.h"
#include "discovery/application_locator.h"
#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

const char kFirst[] = "7.22 (7.22.24188.12)";
const char kSecond[] = "7.22 (7.22.24209.13)";
const char kThird[] = "7.22 (7.22.24245.10)";

const char* NameOf(StepKind step) {
    switch (step) {
    case StepKind::Locate: return "locate";
    case StepKind::CheckPendingRestart: return "pending";
    case StepKind::FindInterruptedRun: return "traces";
    case StepKind::TestRunningBeforeSettling: return "running?";
    case StepKind::Settle: return "settle";
    case StepKind::CheckSettled: return "traces";
    case StepKind::ReadLabel: return "label";
    case StepKind::TestRunning: return "running?";
    case StepKind::Patch: return "patch";
    case StepKind::CheckPatched: return "traces";
    case StepKind::ReadLabelAfter: return "label";
    case StepKind::Record: return "record";
    case StepKind::ReadReceipt: return "receipt";
    case StepKind::Unpatch: return "unpatch";
    case StepKind::CheckUnpatched: return "traces";
    case StepKind::ReadLabelBetween: return "label";
    case StepKind::Forget: return "forget";
    case StepKind::Tell: return "tell";
    }
    return "?";
}

// The answers the platform gives a run, and the plan and outcome they must lead to.
struct PlanCase {
    const char* exe;             // "" : nothing registered
    bool interrupted;            // traces at the start
    bool stoppedFirst;           // the first running test's answer (later ones: stopped)
    bool settles;                // settling clears the traces
    const char* label;           // "" : no readable version resource
    int patchResult;
    bool leftByPatching;         // traces after the patch sequence
    const char* labelAfter;
    const char* plan;
    Outcome outcome;
    bool pendingInside = false;  // an operation left for the restart names the directory
};

// Walks NextStep to the end, answering each step from the case.
std::string PlanOf(const PlanCase& c, Outcome& outcome) {
    fakes::SingleByteCodePage codePage;
    RunFacts facts;
    bool firstTest = true;
    auto test = [&] {
        const bool answer = firstTest ? c.stoppedFirst : true;
        firstTest = false;
        return answer;
    };
    std::ostringstream plan;
    for (int guard = 0; guard < 20; ++guard) {
        const RunStep step = NextStep(facts);
        plan << (guard ? " " : "") << NameOf(step.kind);
        switch (step.kind) {
        case StepKind::Locate:
            facts.located = true;
            facts.executablePath = *c.exe ? std::string("C:\\App\\") + c.exe : std::string();
            facts.applicationDirectory = "C:\\App\\";
            facts.product = *c.exe ? FindProduct(c.exe, codePage) : nullptr;
            break;
        case StepKind::CheckPendingRestart:
            facts.pendingRestart = PendingRestart();
            if (c.pendingInside) facts.pendingRestart->blocking = PendingRename{"\\??\\C:\\App\\x", ""};
            break;
        case StepKind::FindInterruptedRun: facts.interruptedAtStart = c.interrupted; break;
        case StepKind::TestRunningBeforeSettling: facts.stoppedBeforeSettling = test(); break;
        case StepKind::Settle: facts.settleResult = 1; break;
        case StepKind::CheckSettled: facts.interruptedAfterSettling = !c.settles; break;
        case StepKind::ReadLabel: facts.labelBefore = c.label; break;
        case StepKind::TestRunning: facts.stopped = test(); break;
        case StepKind::Patch: facts.patchResult = c.patchResult; break;
        case StepKind::CheckPatched: facts.interruptedAfterPatching = c.leftByPatching; break;
        case StepKind::ReadLabelAfter: facts.labelAfter = c.labelAfter; break;
        case StepKind::Record: facts.recorded = RecordResult(); break;
        case StepKind::Tell: outcome = step.outcome; return plan.str();
        default: return plan.str() + " (a removal's step)";
        }
    }
    return plan.str() + " (no end)";
}

TEST(RunPlan, EachAnswerLeadsToItsPlanAndOutcome) {
    const char* patched = "locate pending traces label running? patch traces label record tell";
    const char* notMoved = "locate pending traces label running? patch traces label tell";
    const PlanCase cases[] = {
        {"", false, true, true, kFirst, 1, false, kThird, "locate tell", Outcome::NotFound},
        {"Notepad.exe", false, false, true, kFirst, 1, false, kThird, "locate tell", Outcome::NotFound},
        // Not patchable: decided on the label alone, the application may run.
        {"Tarnovex.exe", false, false, true, kThird, 1, false, kThird,
         "locate pending traces label tell", Outcome::UpToDate},
        {"TarnovexViewer.exe", false, false, true, kSecond, 1, false, kThird, "locate pending traces label tell",
         Outcome::UpToDate},
        {"TarnovexViewer.exe", false, false, true, kThird, 1, false, kThird, "locate pending traces label tell",
         Outcome::WrongVersion},
        {"Tarnovex.exe", false, false, true, "", 1, false, kThird,
         "locate pending traces label tell", Outcome::WrongVersion},
        {"Tarnovex.exe", false, false, true, "7.22 (7.22.24300.1)", 1, false, kThird,
         "locate pending traces label tell", Outcome::WrongVersion},
        // Patchable: only while stopped.
        {"Sellidor.exe", false, false, true, kFirst, 1, false, kThird, "locate pending traces label running? tell",
         Outcome::StillRunning},
        {"Tarnovex.exe", false, true, true, kFirst, 1, false, kThird, patched, Outcome::Applied},
        {"Sellidor.exe", false, true, true, kSecond, 1, false, "7.22 (7.22.24300.1)", patched, Outcome::Applied},
        {"TarnovexViewer.exe", false, true, true, kFirst, 1, false, kSecond, patched, Outcome::Applied},
        // Judged by the engine's result, the traces, then the label having left the bases.
        {"Tarnovex.exe", false, true, true, kSecond, 0, false, kThird,
         "locate pending traces label running? patch tell", Outcome::Failed},
        {"Tarnovex.exe", false, true, true, kSecond, 2, false, kThird,
         "locate pending traces label running? patch tell", Outcome::Failed},
        {"Tarnovex.exe", false, true, true, kFirst, 1, true, kThird,
         "locate pending traces label running? patch traces tell", Outcome::Failed},
        {"Tarnovex.exe", false, true, true, kFirst, 1, false, kSecond, notMoved, Outcome::Failed},
        {"Tarnovex.exe", false, true, true, kFirst, 1, false, "", notMoved, Outcome::Failed},
        // An interrupted run is settled before the label is read, never under a running application.
        {"Tarnovex.exe", true, false, true, kFirst, 1, false, kThird, "locate pending traces running? tell",
         Outcome::StillRunning},
        {"Tarnovex.exe", true, true, false, kFirst, 1, false, kThird,
         "locate pending traces running? settle traces tell", Outcome::Failed},
        {"Tarnovex.exe", true, true, true, kThird, 1, false, kThird,
         "locate pending traces running? settle traces label tell", Outcome::UpToDate},
        {"Tarnovex.exe", true, true, true, kFirst, 1, false, kThird,
         "locate pending traces running? settle traces label running? patch traces label record tell",
         Outcome::Applied},
        // Nothing is done in a directory the next restart changes, not even settling, whatever its label.
        {"Tarnovex.exe", true, true, true, kFirst, 1, false, kThird, "locate pending tell", Outcome::Failed, true},
        {"Tarnovex.exe", false, true, true, kThird, 1, false, kThird, "locate pending tell", Outcome::Failed, true},
    };
    for (const PlanCase& c : cases) {
        Outcome outcome = Outcome::NotFound;
        const std::string plan = PlanOf(c, outcome);
        EXPECT_EQ(plan, c.plan) << c.exe << " " << c.label;
        EXPECT_EQ(outcome, c.outcome) << c.exe << " " << c.label << ": " << plan;
    }
}

// Carrying a plan out: each outcome's message, the calls the platform saw, and whether the
// run is finished (only Retry on the still-running message asks for another).
const char kDir[] = "C:\\Program Files\\Veltrix\\";

struct RunCase {
    const char* exe;
    std::optional<FileVersion> version;
    bool running;
    int answer;                             // the user's button
    std::optional<FileVersion> versionAfter;
    const char* text;
    unsigned style;
    bool finished;
    int productCode;                        // of the patch sequence; 0: not started
};

TEST(RunHotfix, CarriesThePlanOutAndTellsItsOutcomeOnce) {
    const FileVersion first{7, 22, 24188, 12}, second{7, 22, 24209, 13}, third{7, 22, 24245, 10};
    const RunCase cases[] = {
        {"", first, false, kAnswerOk, third,
         "Application non found.\nPlease try to reinstall from the original CD before trying again", 0x10, true, 0},
        {"Sellidor.exe", first, true, kAnswerRetry, third,
         "Please quit the Sellidor application before applying this HotFix.", 0x15, false, 0},
        {"Sellidor.exe", second, true, kAnswerCancel, third,
         "Please quit the Sellidor application before applying this HotFix.", 0x15, true, 0},
        {"TarnovexViewer.exe", third, true, kAnswerOk, third,
         "The application Tarnovex Viewer has been found but this HotFix cannot be applied to "
         "this version.\nPlease upgrade to the latest official version before reapply this HotFix",
         0x10, true, 0},
        {"TARNOVEX.EXE", third, true, kAnswerOk, third, "Your are already using the latest version of Tarnovex.", 0x10,
         true, 0},
        {"Tarnovex.exe", second, false, kAnswerOk, second, "An error occurred during the application of the hotfix.",
         0x10, true, 1},
        {"TarnovexViewer.exe", first, false, kAnswerOk, second,
         "The hotfix was applied to the Tarnovex Viewer application", 0x40, true, 3},
    };
    for (const RunCase& c : cases) {
        fakes::FakeRunPlatform platform;
        auto& [registry, files, codePage, versions, runningTest, patchStep, ui, records, context] = platform;
        const std::string exe = std::string(kDir) + c.exe;
        if (*c.exe) registry.values[kDocumentOpenCommandKey] = exe + " /dde";
        if (c.version) versions.versions[exe] = *c.version;
        runningTest.answers = {!c.running};
        ui.answers = {c.answer};
        patchStep.onApply = [&] { versions.versions[exe] = *c.versionAfter; };

        RunRecord record;
        EXPECT_EQ(RunHotfix(context, &record), c.finished) << c.exe;
        ASSERT_EQ(ui.shown.size(), 1u) << c.exe;
        EXPECT_EQ(ui.shown[0].text, c.text) << c.exe;
        EXPECT_EQ(ui.shown[0].style, c.style) << c.exe;
        EXPECT_EQ(record.answer, c.answer) << c.exe;
        EXPECT_EQ(record.steps.back(), StepKind::Tell) << c.exe;
        ASSERT_EQ(patchStep.calls.size(), c.productCode ? 1u : 0u) << c.exe;
        if (c.productCode) {
            EXPECT_EQ(patchStep.calls[0].directory, kDir) << c.exe;
            EXPECT_EQ(patchStep.calls[0].productCode, c.productCode) << c.exe;
            EXPECT_EQ(runningTest.asked, std::vector<std::string>{exe}) << c.exe;
        }
    }
}

} // namespace
} // namespace hotfix
