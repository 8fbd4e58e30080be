#pragma once
// Where the Wine tests find the programs under test: beside the test program itself
// (every Windows executable of the build lands in <build>/bin, the engine pair under the names
// of the engine's contract), and the sample product in <build>/samples.
#include <string>

#include "engine/contract/engine_contract.h"

namespace hotfix::testing {

// The directory of the running test program, with a trailing backslash.
std::string TestProgramDirectory();

// The installer built beside the tests.
std::string InstallerPath();

// The build's sample product, <build>\samples\ with a trailing backslash (it may not exist).
std::string SamplesDirectory();

// One version of one sample application, e.g. SampleDirectory("Tarnovex", "7.22.24188.12")
// = <build>\samples\Tarnovex\7.22.24188.12\ , with a trailing backslash.
std::string SampleDirectory(const std::string& product, const std::string& fileVersion);

// True when the sample directory holds <product>.exe.
bool SampleExists(const std::string& product, const std::string& fileVersion);

// A small test executable built with the file version `fileVersion` in its version resource
// (tools/versioned_app: hotfix-versioned-<version>.exe), or, for an empty version, the one
// without any version resource (hotfix-unversioned.exe).
std::string VersionedTestProgram(const std::string& fileVersion);

} // namespace hotfix::testing
