#pragma once
// The VCDIFF encoder (RFC 3284) of the patch builder, native only: xdelta3's library
// (scripts/build-libxdelta3.sh) in this process. What it writes is what
// `xdelta3 -e -9 -S none -A -D -n` writes: no secondary compression, no application header, no
// per-window Adler-32 (the engine checks the SHA-256 of the whole result), which is the form
// the engine's decoder (engine/vcdiff_decoder.h) reads.
#include <cstdint>
#include <vector>

namespace hotfix::tools {

struct VcdiffEncoding {
    bool ok = false;                 // false: the library refused the pair (message says why)
    std::vector<std::uint8_t> bytes; // the delta, not yet deflated
    const char* message = "";
};

// The delta that makes `target` from `source`. Its buffers are sized to the pair (a window the
// size of the target, the whole source as one block), so a small file costs little to set up.
// Deterministic and safe to call from several threads at once.
VcdiffEncoding EncodeVcdiff(const std::vector<std::uint8_t>& source, const std::vector<std::uint8_t>& target);

} // namespace hotfix::tools
