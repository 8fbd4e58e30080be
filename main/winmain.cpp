// The installer's entry point.
#include <windows.h>

#include "app/hotfix_app.h"
#include "main/environment_win32.h"
#include "adapters/section_critique.h"
#include "support/win32/system_library.h"

namespace {

// The one application object, constructed during static initialisation.
hotfix::HotfixApp theApp(&hotfix::win32::MakeWin32Environment);

// The process-wide lock: the last static object, so it is destroyed first at exit. Its named
// objects exist for the whole life of the process.
hotfix::win32::CSectionCritique theSectionCritique;

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    hotfix::win32::RestrictLibrarySearchToSystem();

    // The switches are read from the whole command line, program name included, by the
    // platform's own splitting rules (WinMain's own argument has lost the program name).
    theApp.SetCommandLine(::GetCommandLineA());
    hotfix::CWinApp* app = hotfix::CWinApp::TheApp();
    if (app) app->InitInstance();
    // No main window and no message loop: the program ends here. The exit code is 0 unless a
    // quiet run turned its outcome into one.
    return theApp.ExitCode();
}
