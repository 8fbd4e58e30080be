// A library that, when loaded, writes "<its own file name>.loaded" into the directory named by
// the environment variable HOTFIX_PLANTED_MARKERS. It exports nothing the installer needs.
#include <windows.h>

#include <cstring>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char directory[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("HOTFIX_PLANTED_MARKERS", directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    char self[MAX_PATH] = {};
    if (::GetModuleFileNameA(instance, self, MAX_PATH) == 0) return TRUE;
    const char* name = std::strrchr(self, '\\');
    name = name ? name + 1 : self;
    char marker[2 * MAX_PATH] = {};
    std::strcpy(marker, directory);
    std::strcat(marker, "\\");
    std::strcat(marker, name);
    std::strcat(marker, ".loaded");
    const HANDLE file = ::CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    return TRUE;
}
