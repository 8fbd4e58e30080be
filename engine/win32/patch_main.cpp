// patch.exe: the console front end of the engine.
//   patch.exe [/settle] [<Update Directory> [<Patch File Name>]]
// Loads Patchw32.dll by full path from its own directory (never through the search path),
// applies the patch file to the update directory, prints what it does file by file, and exits
// with the outcome, one of the engine's exit codes (EngineExitCode): kExitUsage when the
// arguments or the library fail it, otherwise what the library returned. With /settle it only
// settles what an interrupted run of the patch file left and changes nothing else. Its names,
// switch and exit codes are the contract's (engine/contract/engine_contract.h). Its embedded
// manifest makes the platform ignore any patch.exe.manifest or patch.exe.local placed beside it.
//
// It carries no C++ runtime (built without exceptions and RTTI, linked as C): plain buffers and
// the C library only, and the header-only parts of the shared Win32 leaf.
#include <windows.h>

#include <cstdio>

#include "engine/contract/engine_contract.h"
#include "engine/win32/patchw32_api.h"
#include "support/win32/ansi_path.h"
#include "support/win32/system_library.h"
#include "support/win32/unique_handle.h"

namespace {

using namespace hotfix::engine;   // the contract: names, switch, exit codes

// The longest path the platform knows (with the "\\?\" prefix), and its terminating zero.
constexpr DWORD kPathCapacity = 32768;

char g_ownPath[kPathCapacity];
char g_libraryPath[kPathCapacity];
char g_reportPath[kPathCapacity];

void __cdecl PrintLine(void*, const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// Appends `text` to the zero-terminated `buffer` of `capacity` bytes. False, and the buffer
// unchanged, when it does not fit.
bool Append(char* buffer, DWORD capacity, const char* text) {
    const DWORD used = static_cast<DWORD>(::lstrlenA(buffer));
    const DWORD more = static_cast<DWORD>(::lstrlenA(text));
    if (used + more + 1 > capacity) return false;
    ::CopyMemory(buffer + used, text, more + 1);
    return true;
}

// A caller that starts the engine without a shell (the installer, capturing its report) puts
// "> FILE" among the arguments: the report then goes to FILE instead of the console. The path
// may have been split at blanks ("> C:\Temp dir\X.txt"), so everything after ">" is the path;
// ">FILE" in one argument works too. Returns the arguments that remain.
int RedirectReport(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '>') continue;
        char* path = g_reportPath;
        path[0] = '\0';
        bool fits = Append(path, kPathCapacity, argv[i] + 1);
        for (int j = i + 1; j < argc && fits; ++j)
            fits = (path[0] == '\0' || Append(path, kPathCapacity, " ")) && Append(path, kPathCapacity, argv[j]);
        if (path[0] != '\0' && (!fits || std::freopen(path, "w", stdout) == nullptr)) {
            std::fprintf(stderr, "cannot write the report to %s\n", path);
        }
        return i;
    }
    return argc;
}

// The contract's switch, in any letter case, with '/' or '-'.
bool IsSettleSwitch(const char* argument) {
    return (argument[0] == '/' || argument[0] == '-') && ::lstrcmpiA(argument + 1, kSettleSwitch + 1) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // The application directory we run in is the user's: a DLL planted there must not be
    // loaded, so the library's own imports (bcrypt.dll, …) come from System32 only.
    hotfix::win32::RestrictLibrarySearchToSystem();
    argc = RedirectReport(argc, argv);
    const bool settle = argc > 1 && IsSettleSwitch(argv[1]);
    if (settle) {
        ++argv;
        --argc;
    }
    if (argc < 3) {
        std::printf("Usage: %s [%s] <Update Directory> <Patch File Name>\n"
                    "Applies the patch file to the files of the update directory; with %s, only\n"
                    "settles what an interrupted run of that patch file left there.\n"
                    "Exit codes: %d applied (or settled), %d already applied, %d not applicable to these\n"
                    "files, %d corrupt patch file, %d input/output failure (nothing changed), %d usage or\n"
                    "engine library missing, %d an interrupted run could not be settled.\n",
                    kFrontEndName, kSettleSwitch, kSettleSwitch, kExitApplied, kExitAlreadyApplied,
                    kExitNotApplicable, kExitCorruptPatch, kExitIoFailureRolledBack, kExitUsage, kExitNotSettled);
        return kExitUsage;
    }
    const DWORD length = ::GetModuleFileNameA(nullptr, g_ownPath, kPathCapacity);
    const long slash = length == 0 || length >= kPathCapacity ? -1 : hotfix::win32::LastSeparatorAnsi(g_ownPath, length);
    if (slash < 0) {
        std::printf("cannot find the directory of %s\n", kFrontEndName);
        return kExitUsage;
    }
    g_ownPath[slash + 1] = '\0';
    char* library = g_libraryPath;
    library[0] = '\0';
    if (!Append(library, kPathCapacity, g_ownPath) || !Append(library, kPathCapacity, kLibraryName)) {
        std::printf("cannot find the directory of %s\n", kFrontEndName);
        return kExitUsage;
    }
    // By full path: the library itself comes from beside patch.exe, its imports from System32.
    const hotfix::win32::UniqueModule module(::LoadLibraryExA(library, nullptr, 0));
    if (!module) {
        std::printf("cannot load %s (error %lu)\n", library, ::GetLastError());
        return kExitUsage;
    }
    const char* exportName = settle ? "HotfixSettlePatch" : "HotfixApplyPatch";
    const auto apply =
        reinterpret_cast<HotfixApplyPatchFn>(reinterpret_cast<void*>(::GetProcAddress(module.get(), exportName)));
    if (apply == nullptr) {
        std::printf("%s is not the engine library (no %s)\n", library, exportName);
        return kExitUsage;
    }
    return apply(argv[1], argv[2], &PrintLine, nullptr);
}
