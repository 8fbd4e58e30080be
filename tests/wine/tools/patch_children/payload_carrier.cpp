// Carries "PATCH" resources like the installer and runs the Win32 patch sequence over them:
//   hotfix-payload-carrier.exe DIRECTORY\ PRODUCTCODE
// The exit code is ApplyPatches' result (1 or 0); 2 for a bad command line.
#include <cstdlib>
#include <string>

#include "main/patch_step_win32.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    hotfix::win32::Win32PatchStep step;
    return step.ApplyPatches(argv[1], std::atoi(argv[2]));
}
