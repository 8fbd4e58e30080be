// Removing the hotfix: which label a removal goes back to, the plans its answers lead to, and a
// patch run and its removal carried out against fakes, records included.
#include <gtest/gtest.h>

#include <sstream>

#include "app/hotfix_run.h"
#include "discovery/application_locator.h"
#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

const char kFirst[] = "7.22 (7.22.24188.12)";
const char kSecond[] = "7.22 (7.22.24209.13)";
const char kTarget[] = "7.22 (7.22.24245.10)";
const char kLater[] = "7.22 (7.22.24300.1)";
const char kExe[] = "C:\\Program Files\\Veltrix\\Tarnovex.exe";

const ProductEntry& Tarnovex() {
    static const fakes::SingleByteCodePage codePage;
    return *FindProduct("Tarnovex.exe", codePage);
}

MachineKeyRead ReceiptRead(const std::string& label, const std::string& path) {
    return MachineKeyRead{MachineKeyRead::State::Read, 0,
                          {{"BaseLabel", label}, {"ExecutablePath", path}, {"Date", "2026-12-01"}}};
}

TEST(RemovalTarget, OnlyAReceiptOfThisExecutableAndABaseLabelIsBelieved) {
    struct Case {
        MachineKeyRead receipt;
        const char* label;
        ReceiptVerdict verdict;
    };
    const Case cases[] = {
        {MachineKeyRead(), kSecond, ReceiptVerdict::None},
        {ReceiptRead(kFirst, kExe), kFirst, ReceiptVerdict::Believed},
        {ReceiptRead(kFirst, "c:\\PROGRAM FILES\\veltrix\\tarnovex.exe"), kFirst, ReceiptVerdict::Believed},
        {ReceiptRead(kFirst, "C:\\Other\\Tarnovex.exe"), kSecond, ReceiptVerdict::OtherPath},
        {ReceiptRead(kTarget, kExe), kSecond, ReceiptVerdict::UnknownLabel},
        {ReceiptRead("", kExe), kSecond, ReceiptVerdict::UnknownLabel},
        {MachineKeyRead{MachineKeyRead::State::Read, 0, {{"BaseLabel", kFirst}}}, kSecond, ReceiptVerdict::Unreadable},
        {MachineKeyRead{MachineKeyRead::State::Failed, 5, {}}, kSecond, ReceiptVerdict::Unreadable},
    };
    fakes::SingleByteCodePage codePage;
    for (const Case& c : cases) {
        const RemovalTarget target = ChooseRemovalTarget(Tarnovex(), kExe, c.receipt, codePage);
        EXPECT_EQ(target.label, c.label) << static_cast<int>(c.verdict);
        EXPECT_EQ(target.verdict, c.verdict) << c.label;
    }
}

// The answers a removal of Tarnovex's hotfix gets (its reverse patch files: the second patch
// file's, then the first's), and the plan and outcome they must lead to.
struct RemovalCase {
    const char* label;                   // before: "" no readable version resource
    const char* goal;                    // the removal target's label
    ReceiptVerdict verdict;
    bool stopped;
    std::vector<const char*> after;      // the label after each reverse patch file; "!" the sequence failed,
                                         // "~" an interrupted run was left
    const char* plan;
    Outcome outcome;
};

std::string RemovalPlanOf(const RemovalCase& c, Outcome& outcome) {
    fakes::SingleByteCodePage codePage;
    RunFacts facts;
    facts.removing = true;
    std::ostringstream plan;
    for (int guard = 0; guard < 30; ++guard) {
        const RunStep step = NextStep(facts);
        plan << (guard ? " " : "");
        const std::string next = facts.unpatched.size() < c.after.size() ? c.after[facts.unpatched.size()] : "";
        switch (step.kind) {
        case StepKind::Locate:
            facts.located = true;
            facts.executablePath = kExe;
            facts.applicationDirectory = "C:\\Program Files\\Veltrix\\";
            facts.product = &Tarnovex();
            plan << "locate";
            break;
        case StepKind::CheckPendingRestart: facts.pendingRestart = PendingRestart(); plan << "pending"; break;
        case StepKind::FindInterruptedRun: facts.interruptedAtStart = false; plan << "traces"; break;
        case StepKind::ReadLabel: facts.labelBefore = c.label; plan << "label"; break;
        case StepKind::ReadReceipt:
            facts.removalTarget = RemovalTarget{c.goal, c.verdict, std::nullopt};
            plan << "receipt";
            break;
        case StepKind::TestRunning: facts.stopped = c.stopped; plan << "running?"; break;
        case StepKind::Unpatch:
            facts.unpatched.push_back(Unpatching{next == "!" ? 0 : 1, {}, {}});
            plan << "unpatch";
            break;
        case StepKind::CheckUnpatched:
            facts.unpatched.back().interrupted = std::string(c.after[facts.unpatched.size() - 1]) == "~";
            plan << "traces";
            break;
        case StepKind::ReadLabelBetween: facts.unpatched.back().label = c.after[facts.unpatched.size() - 1]; plan << "label"; break;
        case StepKind::Forget: facts.forgotten = ForgetResult(); plan << "forget"; break;
        case StepKind::Tell: outcome = step.outcome; return plan.str() + "tell";
        default: return plan.str() + "(not a removal's step)";
        }
    }
    return plan.str() + " (no end)";
}

TEST(RemovalPlan, GoesBackOneReversePatchFileAtATimeAndStopsAtItsLabel) {
    const char* start = "locate pending traces label receipt";
    const std::string oneBack = std::string(start) + " running? unpatch traces label forget tell";
    const std::string twoBack = std::string(start) + " running? unpatch traces label unpatch traces label forget tell";
    const RemovalCase cases[] = {
        // From the target, to the receipt's label or, without one, the newest base.
        {kTarget, kFirst, ReceiptVerdict::Believed, true, {kSecond, kFirst}, twoBack.c_str(), Outcome::Removed},
        {kTarget, kSecond, ReceiptVerdict::Believed, true, {kSecond}, oneBack.c_str(), Outcome::Removed},
        {kTarget, kSecond, ReceiptVerdict::None, true, {kSecond}, oneBack.c_str(), Outcome::Removed},
        // Stopped between two reverse patch files: the first finds its work done, and leaves the label.
        {kSecond, kFirst, ReceiptVerdict::Believed, true, {kSecond, kFirst}, twoBack.c_str(), Outcome::Removed},
        // Nothing left to remove: the records go, but one of another installation.
        {kFirst, kFirst, ReceiptVerdict::Believed, true, {}, "locate pending traces label receipt forget tell",
         Outcome::Removed},
        {kFirst, kSecond, ReceiptVerdict::None, true, {}, "locate pending traces label receipt forget tell",
         Outcome::NothingToRemove},
        {kSecond, kSecond, ReceiptVerdict::OtherPath, false, {}, "locate pending traces label receipt tell",
         Outcome::NothingToRemove},
        // Not the hotfix's version: nothing is touched, running or not.
        {kLater, kSecond, ReceiptVerdict::None, false, {}, "locate pending traces label tell", Outcome::NotInstalled},
        {"", kSecond, ReceiptVerdict::None, false, {}, "locate pending traces label tell", Outcome::NotInstalled},
        {kTarget, kFirst, ReceiptVerdict::Believed, false, {}, "locate pending traces label receipt running? tell",
         Outcome::StillRunning},
        // A reverse patch file that fails, leaves traces, leaves the target or a foreign label stops it.
        {kTarget, kFirst, ReceiptVerdict::Believed, true, {"!"}, "locate pending traces label receipt running? unpatch tell",
         Outcome::Failed},
        {kTarget, kFirst, ReceiptVerdict::Believed, true, {"~"},
         "locate pending traces label receipt running? unpatch traces tell", Outcome::Failed},
        {kTarget, kFirst, ReceiptVerdict::Believed, true, {kTarget},
         "locate pending traces label receipt running? unpatch traces label tell", Outcome::Failed},
        {kTarget, kFirst, ReceiptVerdict::Believed, true, {kSecond, ""},
         "locate pending traces label receipt running? unpatch traces label unpatch traces label tell", Outcome::Failed},
        // Past the goal, or out of reverse patch files short of it.
        {kTarget, kSecond, ReceiptVerdict::Believed, true, {kFirst},
         "locate pending traces label receipt running? unpatch traces label tell", Outcome::Failed},
        {kTarget, kFirst, ReceiptVerdict::Believed, true, {kSecond, kSecond},
         "locate pending traces label receipt running? unpatch traces label unpatch traces label tell", Outcome::Failed},
    };
    for (const RemovalCase& c : cases) {
        Outcome outcome = Outcome::NotFound;
        const std::string plan = RemovalPlanOf(c, outcome);
        EXPECT_EQ(plan, c.plan) << c.label << " to " << c.goal;
        EXPECT_EQ(outcome, c.outcome) << c.label << " to " << c.goal << ": " << plan;
    }
}

// A patch run records the hotfix; its removal runs the reverse patch files in turn, goes back
// to the recorded label, tells so once and takes the records away.
TEST(RemovalRun, TakesBackWhatAPatchRunRecorded) {
    const FileVersion first{7, 22, 24188, 12}, second{7, 22, 24209, 13}, target{7, 22, 24245, 10};
    fakes::FakeRunPlatform platform;
    auto& [registry, files, codePage, versions, runningTest, patchStep, ui, records, context] = platform;
    registry.values[kDocumentOpenCommandKey] = std::string(kExe) + " /dde";
    versions.versions[kExe] = first;
    patchStep.onApply = [&] { versions.versions[kExe] = target; };
    patchStep.onFile = [&](const std::string& file) {
        versions.versions[kExe] = file == Tarnovex().RemovalFiles[0] ? second : first;
    };

    ASSERT_TRUE(RunHotfix(context));
    const HotfixIdentity& hotfix = ThisHotfix();
    EXPECT_EQ(records.keys[ReceiptKey(hotfix)],
              (std::map<std::string, std::string>{{"BaseLabel", kFirst}, {"ExecutablePath", kExe}, {"Date", "2026-12-09"}}));
    const std::string kept = "C:\\Common Files\\" + hotfix.name + "\\" + hotfix.installerFileName;
    EXPECT_EQ(records.keys[UninstallKey(hotfix)]["QuietUninstallString"], "\"" + kept + "\" /uninstall /quiet");
    EXPECT_EQ(records.keys[UninstallKey(hotfix)]["InstallDate"], "20261209");

    ASSERT_TRUE(RunHotfix(context, nullptr, nullptr, /*removing=*/true));
    EXPECT_EQ(patchStep.files, (std::vector<std::string>{"HOTFIX_KTV410_722_HOTFIX2_UNDO.RTP",
                                                         "HOTFIX_KTV410_722_HOTFIX1_UNDO.RTP"}));
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].text, "The hotfix was removed from the Tarnovex application.");
    EXPECT_EQ(ui.shown[1].style, 0x40u);
    EXPECT_TRUE(records.keys.empty());
    EXPECT_TRUE(records.copies.empty());
}

} // namespace
} // namespace hotfix
