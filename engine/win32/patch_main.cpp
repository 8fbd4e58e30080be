// patch.exe: the console front end of the engine.
//   patch.exe [/settle] [<Update Directory> [<Patch File Name>]]
// Loads Patchw32.dll by full path from its own directory (never through the search path),
// applies the patch file to the update directory, prints what it does file by file, and exits
// with the outcome: 0 applied, 1 already applied, 2 not applicable, 3 corrupt patch file,
// 4 input/output failure (nothing changed), 5 usage or engine library missing, 6 an interrupted
// run could not be settled (its journal stays). With /settle it only settles what an
// interrupted run of the patch file left (0 nothing is left unsettled, 3, 5 or 6) and changes
// nothing else. Its embedded manifest makes the platform ignore any patch.exe.manifest or
// patch.exe.local placed beside it.
#include "engine/win32/ansi_path.h"
#include "engine/win32/patchw32_api.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kExitUsage = 5;

void __cdecl PrintLine(void*, const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// The full path of this executable, however long.
std::string OwnPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// A caller that starts the engine without a shell (the installer, capturing its report) puts
// "> FILE" among the arguments: the report then goes to FILE instead of the console. The path
// may have been split at blanks ("> C:\Temp dir\X.txt"), so everything after ">" is the path;
// ">FILE" in one argument works too. Returns the arguments that remain.
int RedirectReport(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '>') continue;
        std::string path = argv[i] + 1;
        for (int j = i + 1; j < argc; ++j) path += (path.empty() ? "" : " ") + std::string(argv[j]);
        if (!path.empty() && std::freopen(path.c_str(), "w", stdout) == nullptr) {
            std::fprintf(stderr, "cannot write the report to %s\n", path.c_str());
        }
        return i;
    }
    return argc;
}

} // namespace

// From here on, the DLLs that this process loads by name (the library's own imports, such as
// bcrypt.dll) come from System32 only: the application directory we run in is the user's, and a
// DLL planted there must not be loaded. Systems without SetDefaultDllDirectories at least drop
// the current directory from the search.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto restrict = kernel == nullptr ? nullptr
                                      : reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                            ::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (restrict == nullptr || !restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryA("");
}

bool IsSettleSwitch(const char* argument) {
    return (argument[0] == '/' || argument[0] == '-') && ::lstrcmpiA(argument + 1, "settle") == 0;
}

int main(int argc, char** argv) {
    RestrictDllSearch();
    argc = RedirectReport(argc, argv);
    const bool settle = argc > 1 && IsSettleSwitch(argv[1]);
    if (settle) {
        ++argv;
        --argc;
    }
    if (argc < 3) {
        std::printf("Usage: patch.exe [/settle] <Update Directory> <Patch File Name>\n"
                    "Applies the patch file to the files of the update directory; with /settle, only\n"
                    "settles what an interrupted run of that patch file left there.\n"
                    "Exit codes: 0 applied (or settled), 1 already applied, 2 not applicable to these\n"
                    "files, 3 corrupt patch file, 4 input/output failure (nothing changed), 5 usage or\n"
                    "engine library missing, 6 an interrupted run could not be settled.\n");
        return kExitUsage;
    }
    std::string own = OwnPath();
    std::string::size_type slash = hotfix::engine::LastSeparatorAnsi(own);
    if (slash == std::string::npos) {
        std::printf("cannot find the directory of patch.exe\n");
        return kExitUsage;
    }
    std::string library = own.substr(0, slash + 1) + "Patchw32.dll";
    // By full path: the library itself comes from beside patch.exe, its imports from System32.
    HMODULE module = ::LoadLibraryExA(library.c_str(), nullptr, 0);
    if (module == nullptr) {
        std::printf("cannot load %s (error %lu)\n", library.c_str(), ::GetLastError());
        return kExitUsage;
    }
    const char* exportName = settle ? "HotfixSettlePatch" : "HotfixApplyPatch";
    auto apply = reinterpret_cast<HotfixApplyPatchFn>(reinterpret_cast<void*>(::GetProcAddress(module, exportName)));
    if (apply == nullptr) {
        std::printf("%s is not the engine library (no %s)\n", library.c_str(), exportName);
        ::FreeLibrary(module);
        return kExitUsage;
    }
    int outcome = apply(argv[1], argv[2], &PrintLine, nullptr);
    ::FreeLibrary(module);
    return outcome;
}
