#pragma once
// VCDIFF (RFC 3284) decoding, as the patch engine needs it: the deltas that
// `xdelta3 -e -9 -S none -A -D` writes, with or without VCD_ADLER32 window checksums.
//
// Not implemented, and rejected with a clear error: secondary compression (VCD_DECOMPRESS),
// application-defined code tables (VCD_CODETABLE), windows copying from the target
// (VCD_TARGET), and any bit this decoder does not know. Every address, size and instruction is
// checked against its bounds before use; a delta that is cut short or points outside its
// windows is an error, never a read or write out of bounds. An application header (header
// indicator bit 0x04, which xdelta3 writes unless told -A) carries no decoding data and is skipped.
//
// Portable C++: no platform headers. Used by the engine library and by the patch builder.
#include "engine/target_sink.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace hotfix::engine {

struct VcdiffResult {
    bool ok = false;
    std::string error;            // empty when ok; otherwise what was wrong, for the user
    std::uint64_t targetSize = 0; // bytes handed to the sink
};

// Decodes `delta` against `source` (may be empty) into `sink`: each window once it is decoded
// and checked, or, for a sink that takes unchecked bytes, in pieces as it is decoded. The
// decoded target may not exceed `maxTargetSize` bytes.
VcdiffResult DecodeVcdiff(const std::uint8_t* source, std::size_t sourceSize,
                          const std::uint8_t* delta, std::size_t deltaSize,
                          TargetSink& sink, std::uint64_t maxTargetSize);

} // namespace hotfix::engine
