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

} // namespace

void RunLog::Started(const std::string& commandLine, const RunOptions& options) {
    Line("Hotfix started: " + commandLine);
    std::string mode = options.quiet ? "quiet" : "interactive";
    if (options.quiet) mode += ", wait up to " + std::to_string(options.waitSeconds) + " s while the application runs";
    Line("Mode: " + mode + ", log " + Quoted(options.logPath));
}

void RunLog::RunStarting(int number, const RunRecord& record) {
    m_record = &record;
    m_pathLogged = m_productLogged = m_labelLogged = m_runOver = false;
    Line("Run " + std::to_string(number));
}

void RunLog::FactsSoFar() {
    if (!m_record) return;
    const RunRecord& record = *m_record;
    if (!m_pathLogged && !record.executablePath.empty()) {
        Line("Found: " + record.executablePath);
        m_pathLogged = true;
    }
    if (!m_productLogged && record.product) {
        Line("Product: " + record.product->DisplayName + " (code " + std::to_string(record.product->ProductCode) + ")");
        m_productLogged = true;
    }
    if (!m_labelLogged && record.product && (!record.labelBefore.empty() || m_runOver)) {
        Line("Version label: " + (record.labelBefore.empty() ? std::string("(none: no readable version resource)")
                                                             : record.labelBefore));
        m_labelLogged = true;
    }
}

void RunLog::RunningTestAnswered(const std::string& executablePath, bool stopped) {
    Line("Running test: " + executablePath + (stopped ? " is not running" : " is running"));
}

void RunLog::PatchStarting(const std::string& applicationDirectory, int productCode) {
    Line("Patching " + applicationDirectory + " (product code " + std::to_string(productCode) + ")");
}

void RunLog::PatchFinished(int result) {
    Line("Patch sequence result: " + std::to_string(result) + (result == 1 ? " (completed)" : " (failed)"));
}

void RunLog::RunEnded(bool quiet) {
    m_runOver = true;
    FactsSoFar();
    if (!m_record) return;
    const RunRecord& record = *m_record;
    if (record.executablePath.empty()) Line("Found: nothing (the product's document type is not registered)");
    else if (!record.product) Line("Found: no product of this hotfix at that path");
    if (record.unsettled) Line("The interrupted engine run is not settled: the installation is not judged by its version");
    if (record.patchAttempted && record.patchResult == 1 && !record.unsettled)
        Line("Version label after patching: " + (record.labelAfter.empty() ? std::string("(none)") : record.labelAfter));
    Line("Outcome: message " + std::to_string(static_cast<int>(record.outcome)) + ", " + OutcomeName(record.outcome));
    Line(std::string(quiet ? "Answered (quiet): " : "Answer: ") + AnswerName(record.answer));
}

void RunLog::Retrying(unsigned pauseMs) {
    Line("Application still running: trying again in " + std::to_string(pauseMs / 1000) + " s");
}

void RunLog::Finished(int exitCode) { Line("Exit code: " + std::to_string(exitCode)); }

void RunLog::PayloadWritten(const std::string& path, int result) {
    Line(std::string(result == 1 ? "Written: " : "Not written: ") + path);
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

void RunLog::InterruptedRunFound(const std::string& applicationDirectory, bool found) {
    if (found) Line("Interrupted engine run: its traces stand in " + applicationDirectory);
}

void RunLog::SettleStarting(const std::string& applicationDirectory, int productCode) {
    Line("Settling the interrupted run in " + applicationDirectory + " (product code " + std::to_string(productCode) +
         ")");
}

bool LoggedRunningTest::IsApplicationStopped(const std::string& executablePath) {
    m_log.FactsSoFar();
    const bool stopped = m_inner.IsApplicationStopped(executablePath);
    m_log.RunningTestAnswered(executablePath, stopped);
    return stopped;
}

bool LoggedPatchStep::HasInterruptedRun(const std::string& applicationDirectory) {
    const bool found = m_inner.HasInterruptedRun(applicationDirectory);
    m_log.FactsSoFar();
    m_log.InterruptedRunFound(applicationDirectory, found);
    return found;
}

int LoggedPatchStep::SettleInterruptedRun(const std::string& applicationDirectory, int productCode) {
    m_log.FactsSoFar();
    m_log.SettleStarting(applicationDirectory, productCode);
    const int result = m_inner.SettleInterruptedRun(applicationDirectory, productCode);
    m_log.Line("Settling sequence result: " + std::to_string(result));
    return result;
}

int LoggedPatchStep::ApplyPatches(const std::string& applicationDirectory, int productCode) {
    m_log.FactsSoFar();
    m_log.PatchStarting(applicationDirectory, productCode);
    const int result = m_inner.ApplyPatches(applicationDirectory, productCode);
    m_log.PatchFinished(result);
    return result;
}

} // namespace hotfix
