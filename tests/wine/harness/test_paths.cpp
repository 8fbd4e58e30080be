#include "harness/test_paths.h"

#include <windows.h>

namespace hotfix::testing {

std::string TestProgramDirectory() {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string InstallerPath() {
    return TestProgramDirectory() + "HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup.exe";
}

} // namespace hotfix::testing
