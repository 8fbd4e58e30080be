#pragma once
// Builds a patch file from old trees and a new tree, and proves it before anyone sees it.
#include <cstdint>
#include <string>
#include <vector>

namespace hotfix::tools {

struct BuildOptions {
    std::vector<std::string> oldDirectories; // one or more
    std::string newDirectory;
    unsigned workers = 2;                    // threads making entries (fewer on fewer cores); 0: every core
    // The ways a changed file may be stored; per old version the smallest allowed one is kept.
    bool vcdiff = true; // deflated VCDIFF delta (tools/vcdiff_encoder.h)
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
// or a match delta, or the whole file (deflated, shared by the versions that use it). Entries
// are sorted by path, and nothing depends on time, on the order of the file system or on how
// many workers made the entries, so the same inputs give the same bytes. Before returning,
// applies the patch to every old tree through the engine's own core (the trees on disk stay
// as they are: the changes are kept in memory) and checks that each then equals the new tree,
// and that a second run finds it already applied.
BuildReport BuildPatch(const BuildOptions& options);

} // namespace hotfix::tools
