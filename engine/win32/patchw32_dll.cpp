// Patchw32.dll: the engine library. Opens the update directory and the patch file through the
// Win32 adapter and runs the portable transaction.
#include "engine/patch_apply.h"
#include "engine/win32/patchw32_api.h"
#include "engine/win32/win32_file_system.h"

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <string>

namespace {

using namespace hotfix::engine;

constexpr UINT kKilledExitCode = 99;

class CallbackListener : public ApplyListener {
public:
    CallbackListener(HotfixMessageCallback callback, void* context, long exitAfterSwaps)
        : m_callback(callback), m_context(context), m_exitAfterSwaps(exitAfterSwaps) {}
    void Say(const std::string& line) override {
        if (m_callback != nullptr) m_callback(m_context, line.c_str());
    }
    void AfterSwap(std::size_t swapsDone) override {
        if (m_exitAfterSwaps > 0 && swapsDone == static_cast<std::size_t>(m_exitAfterSwaps)) {
            Say("test switch: ending the process after " + std::to_string(swapsDone) + " swap(s)");
            ::TerminateProcess(::GetCurrentProcess(), kKilledExitCode);
        }
    }

private:
    HotfixMessageCallback m_callback;
    void* m_context;
    long m_exitAfterSwaps;
};

long TestExitAfterSwaps() {
    char value[32] = {};
    DWORD length = ::GetEnvironmentVariableA("HOTFIX_ENGINE_TEST_EXIT_AFTER_SWAPS", value, sizeof value);
    if (length == 0 || length >= sizeof value) return 0;
    return std::strtol(value, nullptr, 10);
}

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

ApplyResult Apply(const char* updateDirectory, const char* patchFile, CallbackListener& listener) {
    if (updateDirectory == nullptr || patchFile == nullptr || *updateDirectory == '\0' || *patchFile == '\0')
        return {ApplyOutcome::IoFailureRolledBack, "no update directory or patch file given", ""};
    DWORD attributes = ::GetFileAttributesA(updateDirectory);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return {ApplyOutcome::IoFailureRolledBack, std::string("the update directory ") + updateDirectory +
                                                       " does not exist", ""};
    Win32FileSystem fs(updateDirectory);
    std::string patchPath = IsAbsolute(patchFile) ? std::string(patchFile) : fs.FullPath(patchFile);
    std::unique_ptr<ReadableFile> patch;
    IoStatus status = OpenWin32Readable(patchPath, patch);
    if (!status.ok) return {ApplyOutcome::IoFailureRolledBack, status.message, patchFile};
    listener.Say(std::string("applying ") + patchFile + " to " + updateDirectory);
    return ApplyPatch(fs, *patch, listener);
}

} // namespace

extern "C" __declspec(dllexport) int __cdecl HotfixApplyPatch(const char* updateDirectory, const char* patchFile,
                                                              HotfixMessageCallback callback, void* context) {
    CallbackListener listener(callback, context, TestExitAfterSwaps());
    ApplyResult result;
    try {
        result = Apply(updateDirectory, patchFile, listener);
    } catch (const std::exception& failure) {
        // Never across the library's border. A journal left behind is settled by the next run.
        result = {ApplyOutcome::IoFailureNotRolledBack, std::string("internal failure: ") + failure.what(), ""};
    }
    listener.Say(std::string(OutcomeName(result.outcome)) + ": " + result.message);
    return static_cast<int>(result.outcome);
}

extern "C" __declspec(dllexport) const char* __cdecl HotfixOutcomeName(int outcome) {
    return OutcomeName(static_cast<ApplyOutcome>(outcome));
}
