#pragma once
// The installer's plain-text log: what each run found, asked and did, in the order it happened.
#include <string>

#include "app/hotfix_run.h"
#include "app/run_options.h"
#include "patch/patch_events.h"
#include "platform/log_sink.h"

namespace hotfix {

class RunLog final : public PatchEvents {
public:
    explicit RunLog(LogSink& sink) : m_sink(sink) {}

    // The installer started with `commandLine`, read as `options`.
    void Started(const std::string& commandLine, const RunOptions& options);

    // Run number `number` (from 1) starts and fills `record`, which must outlive the run.
    void RunStarting(int number, const RunRecord& record);

    // Logs, once per run, what the record holds so far: the path found, the product, the label.
    // Called before anything the run does next, so the log keeps the order of events.
    void FactsSoFar();

    void RunningTestAnswered(const std::string& executablePath, bool stopped);
    void PatchStarting(const std::string& applicationDirectory, int productCode);
    void PatchFinished(int result);
    void InterruptedRunFound(const std::string& applicationDirectory, bool found);
    void SettleStarting(const std::string& applicationDirectory, int productCode);

    // The run is over: the facts not yet logged, the label after patching, the outcome and the
    // answer to its message.
    void RunEnded(bool quiet);
    void Retrying(unsigned pauseMs);

    // The installer ends with `exitCode`.
    void Finished(int exitCode);

    void Line(const std::string& text) { m_sink.WriteLine(text); }

    void PayloadWritten(const std::string& path, int result) override;
    void EngineRan(const std::string& directory, const std::string& commandLine, std::uint32_t runResult,
                   bool hasExitCode, std::uint32_t exitCode, const std::string& output) override;
    void FileDeleted(const std::string& path, Removal removal) override;

private:
    LogSink& m_sink;
    const RunRecord* m_record = nullptr;
    bool m_pathLogged = false;
    bool m_productLogged = false;
    bool m_labelLogged = false;
    bool m_runOver = false;
};

// The running test, logged: the facts of the run so far, then the test and its answer.
class LoggedRunningTest final : public RunningTest {
public:
    LoggedRunningTest(RunningTest& inner, RunLog& log) : m_inner(inner), m_log(log) {}
    bool IsApplicationStopped(const std::string& executablePath) override;

private:
    RunningTest& m_inner;
    RunLog& m_log;
};

// The patch sequence, logged: the facts so far, then the sequence and its result. The steps
// inside the sequence reach the log through PatchEvents.
class LoggedPatchStep final : public PatchStep {
public:
    LoggedPatchStep(PatchStep& inner, RunLog& log) : m_inner(inner), m_log(log) {}
    int ApplyPatches(const std::string& applicationDirectory, int productCode) override;
    bool HasInterruptedRun(const std::string& applicationDirectory) override;
    int SettleInterruptedRun(const std::string& applicationDirectory, int productCode) override;

private:
    PatchStep& m_inner;
    RunLog& m_log;
};

} // namespace hotfix
