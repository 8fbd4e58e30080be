// Patchw32.dll: the engine library. Opens the update directory and the patch file through the
// Win32 adapter and runs the portable transaction. Nothing crosses the library's border but the
// outcome code: every failure inside, of whatever kind, is caught and reported.
#include "engine/patch_apply.h"
#include "engine/win32/patchw32_api.h"
#include "engine/win32/win32_file_system.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

using namespace hotfix::engine;

class CallbackListener : public ApplyListener {
public:
    CallbackListener(HotfixMessageCallback callback, void* context) : m_callback(callback), m_context(context) {}
    void Say(const std::string& line) override {
        if (m_callback != nullptr) m_callback(m_context, line.c_str());
    }

private:
    HotfixMessageCallback m_callback;
    void* m_context;
};

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// "waited 1.52 s for C:\\App\\a.dll (error 32): went through; held by scanner.exe (pid 1200)"
std::string WaitLine(const hotfix::win32::HeldWait& wait) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", wait.waitedMs / 1000.0);
    return std::string("waited ") + seconds + " s for " + wait.path + " (error " + std::to_string(wait.error) +
           "): " + (wait.wentThrough ? "went through" : "gave up") + "; " + wait.holders;
}

enum class Job { Apply, Settle };

ApplyResult Run(Job job, const char* updateDirectory, const char* patchFile, ApplyListener& listener) {
    if (updateDirectory == nullptr || patchFile == nullptr || *updateDirectory == '\0' || *patchFile == '\0')
        return {ApplyOutcome::IoFailureRolledBack, "no update directory or patch file given", ""};
    Win32FileSystem fs(updateDirectory);
    fs.ReportWaitsTo([&listener](const hotfix::win32::HeldWait& wait) { listener.Say(WaitLine(wait)); });
    IoStatus status = fs.Open();
    if (!status.ok) return {ApplyOutcome::IoFailureRolledBack, status.message, ""};
    const bool absolute = IsAbsolute(patchFile);
    const std::string patchPath = absolute ? std::string(patchFile) : fs.FullPath(patchFile);
    std::unique_ptr<ReadableFile> patch;
    if (!(status = OpenWin32Readable(patchPath, patch)).ok)
        return {ApplyOutcome::IoFailureRolledBack, status.message, patchFile};
    if (job == Job::Settle) {
        listener.Say(std::string("settling ") + updateDirectory + " for " + patchFile);
        return SettlePatch(fs, *patch, listener);
    }
    listener.Say(std::string("applying ") + patchFile + " to " + updateDirectory);
    return ApplyPatch(fs, *patch, listener, absolute ? std::string() : std::string(patchFile));
}

int Export(Job job, const char* updateDirectory, const char* patchFile, HotfixMessageCallback callback,
           void* context) {
    ApplyOutcome outcome = ApplyOutcome::IoFailureNotRolledBack;
    try {
        CallbackListener listener(callback, context);
        const ApplyResult result = Run(job, updateDirectory, patchFile, listener);
        outcome = result.outcome;
        listener.Say(std::string(OutcomeName(result.outcome)) + ": " + result.message);
    } catch (...) {
        // An interrupted run's journal, if any, stays and is settled by the next run.
        if (callback != nullptr) callback(context, "internal failure of the engine library");
    }
    return static_cast<int>(outcome);
}

} // namespace

extern "C" __declspec(dllexport) int __cdecl HotfixApplyPatch(const char* updateDirectory, const char* patchFile,
                                                              HotfixMessageCallback callback, void* context) {
    return Export(Job::Apply, updateDirectory, patchFile, callback, context);
}

extern "C" __declspec(dllexport) int __cdecl HotfixSettlePatch(const char* updateDirectory, const char* patchFile,
                                                               HotfixMessageCallback callback, void* context) {
    return Export(Job::Settle, updateDirectory, patchFile, callback, context);
}

extern "C" __declspec(dllexport) const char* __cdecl HotfixOutcomeName(int outcome) {
    return OutcomeName(static_cast<ApplyOutcome>(outcome));
}
