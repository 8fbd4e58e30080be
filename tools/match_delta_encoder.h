#pragma once
// The encoder of the match delta (engine/match_delta.h, layout in docs/rtp-format.md), native
// only: a suffix array of the old file (libdivsufsort) finds exact matches, which are grown
// into approximate ones whose byte differences go to one stream and whose unmatched bytes go
// to another; the three streams are coded with LZMA2 (liblzma), preset 9 extreme. PE images
// have their x86 branch targets made absolute in their code sections first.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hotfix::tools {

struct MatchDeltaEncoding {
    bool ok = false;                 // false: this pair cannot be expressed (then use another method)
    std::vector<std::uint8_t> bytes; // the stored content
};

// The fewest bytes EncodeMatchDelta can make of this pair: its header (with the PE code
// ranges it would carry) and one byte for each stream. Cheap; for choosing not to encode.
std::size_t MatchDeltaSizeAtLeast(const std::vector<std::uint8_t>& old, const std::vector<std::uint8_t>& target);

// Deterministic: the same pair gives the same bytes.
MatchDeltaEncoding EncodeMatchDelta(const std::vector<std::uint8_t>& old, const std::vector<std::uint8_t>& target);

} // namespace hotfix::tools
