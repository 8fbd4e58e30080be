// Stands in for the engine front end: appends what it was given to the log file named by the
// environment variable HOTFIX_ENGINE_LOG (kept outside the directory it runs in), one block a run:
//   run
//   cmd <its command line>
//   cwd <its current directory>
//   file <name>        (each entry of the current directory, "." and ".." left out)
//   end
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
    char logPath[MAX_PATH] = {};
    if (!::GetEnvironmentVariableA("HOTFIX_ENGINE_LOG", logPath, MAX_PATH)) return 3;
    std::FILE* log = std::fopen(logPath, "ab");
    if (!log) return 4;

    char directory[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, directory);
    std::fprintf(log, "run\ncmd %s\ncwd %s\n", ::GetCommandLineA(), directory);

    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA("*", &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, ".."))
                std::fprintf(log, "file %s\n", data.cFileName);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    std::fprintf(log, "end\n");
    std::fclose(log);
    return 0;
}
