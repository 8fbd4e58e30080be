// Sleeps, then exits with the code given:  hotfix-sleeper.exe MILLISECONDS EXITCODE [PIDFILE [ANY...]]
// With PIDFILE it first writes its process id there, so a test can find it afterwards.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (argc >= 4) {
        if (std::FILE* out = std::fopen(argv[3], "wb")) {
            std::fprintf(out, "%lu", static_cast<unsigned long>(::GetCurrentProcessId()));
            std::fclose(out);
        }
    }
    ::Sleep(static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)));
    return static_cast<int>(std::strtoul(argv[2], nullptr, 10));
}
