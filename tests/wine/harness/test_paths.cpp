#include "harness/test_paths.h"

#include <windows.h>

#include "hotfix_definition.h"

namespace hotfix::testing {

namespace {

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) return path;
    return std::string(buffer, length);
}

} // namespace

std::string TestProgramDirectory() {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string InstallerPath() {
    return TestProgramDirectory() + definition::kInstallerFileName;
}

std::string SamplesDirectory() {
    return FullPath(TestProgramDirectory() + "..\\samples\\");
}

std::string SampleDirectory(const std::string& product, const std::string& fileVersion) {
    return SamplesDirectory() + product + "\\" + fileVersion + "\\";
}

bool SampleExists(const std::string& product, const std::string& fileVersion) {
    const std::string exe = SampleDirectory(product, fileVersion) + product + ".exe";
    const DWORD attributes = ::GetFileAttributesA(exe.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string VersionedTestProgram(const std::string& fileVersion) {
    if (fileVersion.empty()) return TestProgramDirectory() + "hotfix-unversioned.exe";
    return TestProgramDirectory() + "hotfix-versioned-" + fileVersion + ".exe";
}

} // namespace hotfix::testing
