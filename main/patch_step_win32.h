#pragma once
#include <windows.h>

#include "main/command_runner_win32.h"
#include "patch/patch_sequence.h"
#include "patch/payload_store.h"
#include "adapters/file_ops_win32.h"
#include "adapters/payload_win32.h"

namespace hotfix::win32 {

// The patch sequence on Win32: payloads from `payloadModule` (null: the executable itself),
// real files, real child processes. Whoever hears of the sequence's steps also hears of each
// wait for a placed file that another process held.
class Win32PatchStep final : public PatchStep, public EngineConfiguration {
public:
    explicit Win32PatchStep(HMODULE payloadModule = nullptr) : m_payloadPlatform(payloadModule) {}
    int ApplyPatches(const std::string& applicationDirectory, int productCode) override {
        return m_sequence.ApplyPatches(applicationDirectory, productCode);
    }
    int ApplyPatchFile(const std::string& applicationDirectory, const std::string& patchFile) override {
        return m_sequence.ApplyPatchFile(applicationDirectory, patchFile);
    }
    bool HasInterruptedRun(const std::string& applicationDirectory) override {
        return m_sequence.HasInterruptedRun(applicationDirectory);
    }
    int SettleInterruptedRun(const std::string& applicationDirectory, int productCode) override {
        return m_sequence.SettleInterruptedRun(applicationDirectory, productCode);
    }
    // How the sequence runs the engine, and who hears of its steps.
    EngineConfiguration& Engine() { return *this; }
    void Configure(const EngineRunMode& mode, PatchEvents* events) override {
        m_sequence.Configure(mode, events);
        if (!events) return m_payloadPlatform.ReportWaitsTo(nullptr);
        m_payloadPlatform.ReportWaitsTo([events](const HeldWait& wait) {
            events->FileWaitedFor(wait.path, wait.error, wait.waitedMs, wait.wentThrough, wait.holders);
        });
    }

private:
    Win32PayloadPlatform m_payloadPlatform;
    Win32FileOperations m_files;
    PlatformPayloadStore m_payloads{m_payloadPlatform, m_files};
    Win32CommandRunner m_runner;
    PatchSequence m_sequence{PatchServices{m_payloads, m_files, m_runner, EngineRunMode{}, nullptr}};
};

} // namespace hotfix::win32
