#include "app/run_log.h"

#include "app/exit_codes.h"

namespace hotfix {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

const char* AnswerName(int answer) {
    switch (answer) {
    case kAnswerOk: return "OK";
    case kAnswerCancel: return "Cancel";
    case kAnswerRetry: return "Retry";
    default: return "closed";
    }
}

// Example: Done("Receipt", "written", 0) == "Receipt written",
//          Done("Receipt", "written", 5) == "Receipt not written (error 5)".
std::string Done(const char* what, const char* done, std::uint32_t code) {
    if (code == 0) return std::string(what) + " " + done;
    return std::string(what) + " not " + done + " (error " + std::to_string(code) + ")";
}

const char* VerdictText(ReceiptVerdict verdict) {
    switch (verdict) {
    case ReceiptVerdict::Believed: return "the receipt's";
    case ReceiptVerdict::None: return "no receipt (the hotfix was applied by an older installer, or removed): the newest base label";
    case ReceiptVerdict::Unreadable: return "the receipt could not be read: the newest base label";
    case ReceiptVerdict::OtherPath: return "the receipt names another executable, not believed: the newest base label";
    case ReceiptVerdict::UnknownLabel: return "the receipt names no base label, not believed: the newest base label";
    }
    return "";
}

} // namespace

void RunLog::Started(const std::string& commandLine, const RunOptions& options) {
    Line("Hotfix started: " + commandLine);
    std::string mode = options.quiet ? "quiet" : "interactive";
    if (options.uninstall) mode = "removal, " + mode;
    if (options.quiet) mode += ", wait up to " + std::to_string(options.waitSeconds) + " s while the application runs";
    Line("Mode: " + mode + ", log " + Quoted(options.logPath));
}

void RunLog::RunStarting(int number, bool quiet) {
    m_quiet = quiet;
    Line("Run " + std::to_string(number));
}

void RunLog::Found(const RunFacts& facts) {
    if (facts.executablePath.empty()) {
        Line("Found: nothing (the product's document type is not registered)");
        return;
    }
    Line("Found: " + facts.executablePath);
    if (!facts.product) Line("Found: no product of this hotfix at that path");
    else Line("Product: " + facts.product->DisplayName + " (code " + std::to_string(facts.product->ProductCode) + ")");
}

void RunLog::PendingRestartRead(const RunFacts& facts) {
    const PendingRestart& pending = *facts.pendingRestart;
    for (const PendingRenameValue& value : pending.values) {
        const std::string code = std::to_string(value.read.code);
        switch (value.read.state) {
        case MultiStringRead::State::Read:
        case MultiStringRead::State::Missing: break;
        case MultiStringRead::State::WrongType:
            Line("Pending restart: " + value.name + " is not a REG_MULTI_SZ value (type " + code +
                 "), counted as no operation");
            break;
        case MultiStringRead::State::Failed:
            Line("Pending restart: " + value.name + " could not be read (error " + code +
                 "), counted as no operation");
            break;
        }
    }
    if (!pending.blocking) {
        Line("Pending restart: no operation names " + facts.applicationDirectory);
        return;
    }
    Line("Pending restart: " + pending.blockingValue + " holds " + Quoted(pending.blocking->source) + " -> " +
         Quoted(pending.blocking->destination) + (pending.blocking->destination.empty() ? " (delete)" : "") +
         ", in " + facts.applicationDirectory);
    Line("Pending restart: a restart is needed first to carry it out; run the hotfix again after it");
}

void RunLog::StepStarting(StepKind step, const RunRecord& record) {
    const RunFacts& facts = record.facts;
    const int code = facts.product ? facts.product->ProductCode : 0;
    if (step == StepKind::Settle)
        Line("Settling the interrupted run in " + facts.applicationDirectory + " (product code " + std::to_string(code) +
             ")");
    else if (step == StepKind::Patch)
        Line("Patching " + facts.applicationDirectory + " (product code " + std::to_string(code) + ")");
    else if (step == StepKind::Unpatch)
        Line("Removing " + facts.product->RemovalFiles[facts.unpatched.size()] + " from " + facts.applicationDirectory);
}

void RunLog::SequenceEnded(int result) {
    Line("Patch sequence result: " + std::to_string(result) + (result == 1 ? " (completed)" : " (failed)"));
}

void RunLog::Recorded(const RunFacts& facts) {
    const RecordResult& recorded = *facts.recorded;
    Line(Done("Receipt", "written", recorded.receiptCode) + ": base label " + facts.labelBefore.value_or(""));
    if (recorded.copy.path.empty()) {
        Line("Installer not kept: " + recorded.copy.problem +
             (recorded.copy.code ? " (error " + std::to_string(recorded.copy.code) + ")" : std::string()) +
             "; no entry among the installed programs");
        return;
    }
    Line("Installer kept: " + recorded.copy.path);
    Line(Done("Entry among the installed programs", "written", recorded.entryCode.value_or(0)));
}

void RunLog::Forgotten(const RunFacts& facts) {
    const ForgetResult& forgotten = *facts.forgotten;
    Line(Done("Entry among the installed programs", "deleted", forgotten.entryCode));
    Line(Done("Receipt", "deleted", forgotten.receiptCode));
    switch (forgotten.copy) {
    case CopyRemoval::Deleted: Line("Kept installer deleted"); break;
    case CopyRemoval::Absent: Line("Kept installer: none"); break;
    case CopyRemoval::AtRestart: Line("Kept installer: it is running, deleted at the next restart"); break;
    case CopyRemoval::Left: Line("Kept installer not deleted (error " + std::to_string(forgotten.copyCode) + ")"); break;
    }
}

void RunLog::StepTaken(StepKind step, const RunRecord& record) {
    const RunFacts& facts = record.facts;
    auto interrupted = [&](const std::optional<bool>& found) {
        if (found.value_or(false)) Line("Interrupted engine run: its traces stand in " + facts.applicationDirectory);
    };
    auto runningTest = [&](const std::optional<bool>& stopped) {
        Line("Running test: " + facts.executablePath + (stopped.value_or(true) ? " is not running" : " is running"));
    };
    switch (step) {
    case StepKind::Locate: Found(facts); break;
    case StepKind::CheckPendingRestart: PendingRestartRead(facts); break;
    case StepKind::FindInterruptedRun: interrupted(facts.interruptedAtStart); break;
    case StepKind::TestRunningBeforeSettling: runningTest(facts.stoppedBeforeSettling); break;
    case StepKind::Settle: Line("Settling sequence result: " + std::to_string(facts.settleResult.value_or(0))); break;
    case StepKind::CheckSettled: interrupted(facts.interruptedAfterSettling); break;
    case StepKind::ReadLabel: {
        const std::string label = facts.labelBefore.value_or(std::string());
        Line("Version label: " + (label.empty() ? std::string("(none: no readable version resource)") : label));
        break;
    }
    case StepKind::TestRunning: runningTest(facts.stopped); break;
    case StepKind::Patch: SequenceEnded(facts.patchResult.value_or(0)); break;
    case StepKind::CheckPatched: interrupted(facts.interruptedAfterPatching); break;
    case StepKind::ReadLabelAfter: {
        const std::string label = facts.labelAfter.value_or(std::string());
        Line("Version label after patching: " + (label.empty() ? std::string("(none)") : label));
        break;
    }
    case StepKind::Record: Recorded(facts); break;
    case StepKind::ReadReceipt: {
        const RemovalTarget& goal = *facts.removalTarget;
        if (goal.receipt)
            Line("Receipt: base label " + goal.receipt->baseLabel + ", " + goal.receipt->executablePath + ", " +
                 goal.receipt->date);
        Line("Going back to " + goal.label + ": " + VerdictText(goal.verdict));
        break;
    }
    case StepKind::Unpatch: SequenceEnded(facts.unpatched.back().result); break;
    case StepKind::CheckUnpatched: interrupted(facts.unpatched.back().interrupted); break;
    case StepKind::ReadLabelBetween: {
        const std::string label = facts.unpatched.back().label.value_or(std::string());
        Line("Version label: " + (label.empty() ? std::string("(none)") : label));
        break;
    }
    case StepKind::Forget: Forgotten(facts); break;
    case StepKind::Tell: Ended(record); break;
    }
}

void RunLog::Ended(const RunRecord& record) {
    const RunFacts& facts = record.facts;
    const bool leftByRemoval = !facts.unpatched.empty() && facts.unpatched.back().interrupted.value_or(false);
    if (facts.interruptedAfterSettling.value_or(false) || facts.interruptedAfterPatching.value_or(false) || leftByRemoval)
        Line("The interrupted engine run is not settled: the installation is not judged by its version");
    Line("Outcome: message " + std::to_string(static_cast<int>(record.outcome)) + ", " + OutcomeName(record.outcome));
    Line(std::string(m_quiet ? "Answered (quiet): " : "Answer: ") + AnswerName(record.answer));
}

void RunLog::Retrying(unsigned pauseMs) {
    Line("Application still running: trying again in " + std::to_string(pauseMs / 1000) + " s");
}

void RunLog::Finished(int exitCode) { Line("Exit code: " + std::to_string(exitCode)); }

void RunLog::PayloadWritten(const std::string& path, int result) {
    Line(std::string(result == 1 ? "Written: " : "Not written: ") + path);
}

void RunLog::FileWaitedFor(const std::string& path, std::uint32_t error, std::uint32_t waitedMs, bool wentThrough,
                           const std::string& holders) {
    Line("Waited " + std::to_string(waitedMs) + " ms for " + path + ", held by another process (error " +
         std::to_string(error) + "): " + (wentThrough ? "went through" : "gave up") + "; " + holders);
}

void RunLog::EngineRan(const std::string& directory, const std::string& commandLine, std::uint32_t runResult,
                       bool hasExitCode, std::uint32_t exitCode, const std::string& output) {
    std::string text = "Engine run in " + directory + ": " + commandLine + " -> ";
    if (runResult != 0) text += "not completed, error " + std::to_string(runResult);
    else if (hasExitCode) text += "exit code " + std::to_string(exitCode);
    else text += "ended";
    Line(text);
    // The console output, one log line per line, indented under its run.
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Line("    | " + line);
        start = end + 1;
    }
}

void RunLog::FileDeleted(const std::string& path, Removal removal) {
    switch (removal) {
    case Removal::Removed: Line("Deleted: " + path); break;
    case Removal::Absent: Line("Already gone: " + path); break;
    case Removal::Left: Line("Not deleted: " + path); break;
    }
}

} // namespace hotfix
