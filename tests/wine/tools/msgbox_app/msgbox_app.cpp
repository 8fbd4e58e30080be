// Shows message boxes for the UI driver's own tests:
//   hotfix-msgbox.exe STYLE CAPTION TEXT [COUNT]
// STYLE is a MessageBox style (decimal or 0x hex). TEXT may hold "\n" for a line feed. The box is
// shown COUNT times (default 1) or until an answer other than Retry; the exit code is the
// identifier of the last answer.
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 4) return 255;
    const UINT style = static_cast<UINT>(std::strtoul(__argv[1], nullptr, 0));
    std::string text = __argv[3];
    for (std::size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at))
        text.replace(at, 2, "\n");
    const int count = __argc > 4 ? std::atoi(__argv[4]) : 1;
    int answer = 0;
    for (int shown = 0; shown < count; ++shown) {
        answer = ::MessageBoxA(nullptr, text.c_str(), __argv[2], style);
        if (answer != IDRETRY) break;
    }
    return answer;
}
