// The installer's entry point.
#include <windows.h>

#include "app/hotfix_app.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/system_library.h"

namespace {

// The one application object, constructed during static initialisation.
hotfix::HotfixApp theApp(&hotfix::win32::MakeWin32Environment);

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    hotfix::win32::RestrictLibrarySearchToSystem();

    hotfix::CWinApp* app = hotfix::CWinApp::TheApp();
    if (app) app->InitInstance();
    // No main window and no message loop: the program ends here, whatever the outcome.
    return 0;
}
