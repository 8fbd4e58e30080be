#pragma once
// The installer's plain-text log: what each run found, asked and did, in the order it happened.
#include <string>

#include "app/hotfix_run.h"
#include "app/run_options.h"
#include "patch/patch_events.h"
#include "platform/log_sink.h"

namespace hotfix {

class RunLog final : public PatchEvents, public RunObserver {
public:
    explicit RunLog(LogSink& sink) : m_sink(sink) {}

    // The installer started with `commandLine`, read as `options`.
    void Started(const std::string& commandLine, const RunOptions& options);

    // Run number `number` (from 1) starts; `quiet` says how its message is answered.
    void RunStarting(int number, bool quiet);
    void Retrying(unsigned pauseMs);

    // The installer ends with `exitCode`.
    void Finished(int exitCode);

    // Each step of a run, written from the run's record: what it is about to do, then what it
    // found. The engine's steps (PatchEvents) come in between.
    void StepStarting(StepKind step, const RunRecord& record) override;
    void StepTaken(StepKind step, const RunRecord& record) override;

    void PayloadWritten(const std::string& path, int result) override;
    void EngineRan(const std::string& directory, const std::string& commandLine, std::uint32_t runResult,
                   bool hasExitCode, std::uint32_t exitCode, const std::string& output) override;
    void FileDeleted(const std::string& path, Removal removal) override;
    void FileWaitedFor(const std::string& path, std::uint32_t error, std::uint32_t waitedMs, bool wentThrough,
                       const std::string& holders) override;

private:
    void Line(const std::string& text) { m_sink.WriteLine(text); }
    void Found(const RunFacts& facts);
    void PendingRestartRead(const RunFacts& facts);
    void SequenceEnded(int result);   // a patch sequence's result, patching or removing
    void Recorded(const RunFacts& facts);
    void Forgotten(const RunFacts& facts);
    void Ended(const RunRecord& record);

    LogSink& m_sink;
    bool m_quiet = false;
};

} // namespace hotfix
