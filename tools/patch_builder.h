#pragma once
// Builds a patch file from old trees and a new tree, and proves it before anyone sees it.
#include <cstdint>
#include <string>
#include <vector>

namespace hotfix::tools {

struct BuildOptions {
    std::vector<std::string> oldDirectories; // one or more
    std::string newDirectory;
    std::string xdelta = "xdelta3";          // program making the VCDIFF deltas
    std::string workDirectory;               // scratch space; empty: $TMPDIR or /tmp
    // The ways a changed file may be stored; per old version the smallest allowed one is kept.
    bool vcdiff = true; // deflated VCDIFF delta from xdelta3
    bool match = true;  // match delta (tools/match_delta_encoder.h)
    bool whole = true;  // the whole new file, deflated (also what an added file always is)
};

struct BuildReport {
    bool ok = false;
    std::string error;                 // when !ok: what is wrong, naming the file or directory
    std::vector<std::string> lines;    // one per entry: what it does and how it is stored
    std::vector<std::uint8_t> patch;   // the patch file, verified
};

// Compares the trees, makes one entry per file that differs (change, add, remove), stores each
// new file as whichever allowed way is smallest: from each old version a VCDIFF delta (deflated)
// or a match delta, or the whole file (deflated, shared by the versions that use it). Entries are sorted by path and nothing depends on time or order of the file system, so
// the same inputs give the same bytes. Before returning, applies the patch to a copy of every
// old tree through the engine's own core and checks that each copy then equals the new tree,
// and that a second run finds it already applied.
BuildReport BuildPatch(const BuildOptions& options);

} // namespace hotfix::tools
