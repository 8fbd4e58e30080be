// A stand-in for an installed application: a GUI program that carries a version resource (or
// none) and, started with "wait", stays running until it is closed or killed.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    if (commandLine && std::strstr(commandLine, "wait")) {
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
    }
    return 0;
}
