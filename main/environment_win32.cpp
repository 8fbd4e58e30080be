#include "main/environment_win32.h"

#include "main/patch_step_win32.h"
#include "adapters/clock_win32.h"
#include "adapters/code_page_win32.h"
#include "adapters/file_lookup_win32.h"
#include "adapters/log_sink_win32.h"
#include "adapters/machine_records_win32.h"
#include "adapters/process_source_win32.h"
#include "adapters/registry_win32.h"
#include "adapters/user_interface_win32.h"
#include "adapters/version_source_win32.h"
#include "process/running_test.h"

namespace hotfix::win32 {

namespace {

class Win32Environment final : public HotfixEnvironment {
public:
    HotfixContext& Context() override { return m_context; }
    Sleeper& Pause() override { return m_sleeper; }
    Clock* Time() override { return &m_clock; }
    std::unique_ptr<LogSink> OpenLog(const std::string& path) override { return Win32FileLog::Open(path); }
    EngineConfiguration* Engine() override { return &m_patchStep.Engine(); }

private:
    Win32Registry m_registry;
    Win32FileLookup m_files;
    Win32CodePage m_codePage;
    Win32VersionSource m_versions;
    Win32ProcessSource m_processes;
    ProcessRunningTest m_runningTest{m_processes, m_codePage};
    Win32PatchStep m_patchStep;   // payloads from the executable's own resources
    Win32UserInterface m_ui;
    Win32Sleeper m_sleeper;
    Win32Clock m_clock;
    Win32MachineRecords m_records;
    HotfixContext m_context{m_registry,    m_files,     m_codePage, m_versions,
                            m_runningTest, m_patchStep, m_ui,       &m_records};
};

} // namespace

std::unique_ptr<HotfixEnvironment> MakeWin32Environment() {
    return std::make_unique<Win32Environment>();
}

} // namespace hotfix::win32
