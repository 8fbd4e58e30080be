// hotfix-killer.exe PROGRAM FILE [SECONDS]
//
// Kills a process from outside at a chosen moment, as a task kill, a logoff or a power cut
// would: it waits for a running process whose executable is named PROGRAM (a file name, in any
// letter case), then for FILE to appear, and terminates that process at once. Prints "ready"
// once it watches the process, then "killed", and exits 0; exits 1 ("ended first") when the
// process ended before FILE appeared, 2 when nothing happened within SECONDS (default 60).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>

namespace {

DWORD FindProcess(const char* program) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD id = 0;
    for (BOOL more = ::Process32First(snapshot, &entry); more && id == 0; more = ::Process32Next(snapshot, &entry)) {
        const char* name = entry.szExeFile;
        for (const char* p = entry.szExeFile; *p; ++p)
            if (*p == '\\') name = p + 1;
        if (::lstrcmpiA(name, program) == 0) id = entry.th32ProcessID;
    }
    ::CloseHandle(snapshot);
    return id;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: hotfix-killer PROGRAM FILE [SECONDS]\n", stderr);
        return 2;
    }
    const DWORD limit = (argc > 3 ? std::atoi(argv[3]) : 60) * 1000u;
    const DWORD start = ::GetTickCount();
    std::printf("ready\n");
    std::fflush(stdout);
    HANDLE process = nullptr;
    while (process == nullptr) {
        if (::GetTickCount() - start > limit) return 2;
        const DWORD id = FindProcess(argv[1]);
        if (id != 0) process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process == nullptr) ::Sleep(1);
    }
    for (;;) {
        if (::GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) {
            ::TerminateProcess(process, 0xDEAD);
            ::WaitForSingleObject(process, 10000);
            std::printf("killed\n");
            return 0;
        }
        if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            std::printf("ended first\n");
            return 1;
        }
        if (::GetTickCount() - start > limit) return 2;
    }
}
