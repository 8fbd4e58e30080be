// The running test in a console program of its own.
//
//   hotfix-process-probe check PATH   prints "running" or "stopped"; exit code 10 or 11
//   hotfix-process-probe load NAME    LoadLibraryA(NAME) by the ordinary search; exit code 0
//                                     when it loaded (a control: shows a planted DLL is found)
//   hotfix-process-probe wait         stays alive until it is ended
//
// It restricts its library search to the system directory first, as the installer does.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "adapters/code_page_win32.h"
#include "adapters/process_source_win32.h"
#include "process/running_test.h"
#include "support/win32/system_library.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "load") == 0 && argc >= 3) {
        return ::LoadLibraryA(argv[2]) ? 0 : 1;
    }
    hotfix::win32::RestrictLibrarySearchToSystem();
    if (argc >= 2 && std::strcmp(argv[1], "wait") == 0) {
        for (;;) ::Sleep(1000);
    }
    if (argc >= 3 && std::strcmp(argv[1], "check") == 0) {
        hotfix::win32::Win32ProcessSource source;
        hotfix::win32::Win32CodePage codePage;
        const bool stopped = hotfix::IsApplicationStopped(argv[2], source, codePage);
        std::printf("%s\n", stopped ? "stopped" : "running");
        std::fflush(stdout);
        return stopped ? 11 : 10;
    }
    std::fprintf(stderr, "usage: hotfix-process-probe check PATH | load NAME | wait\n");
    return 2;
}
