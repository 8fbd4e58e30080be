#pragma once
// Where the Wine tests find the programs under test: beside the test program itself.
#include <string>

namespace hotfix::testing {

// The directory of the running test program, with a trailing backslash.
std::string TestProgramDirectory();

// The installer built beside the tests.
std::string InstallerPath();

} // namespace hotfix::testing
