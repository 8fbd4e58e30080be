#pragma once
// The executable-aware step of the match delta: x86 rel32 call targets turned into absolute
// addresses before matching, and back after decoding. A call whose code moved but whose target
// did not keeps its bytes then, so matches run through it. Only calls: jumps (E9, 0F 8x) mostly
// stay inside their function and move with it, so their relative form is the stable one
// (measured on Windows binaries: converting them too makes match deltas 6-15% larger).
//
// Over the given code ranges only, bytes are scanned from the start of each range; E8 (call
// rel32) has its operand at +1 and the next instruction at +5. An operand v in [-2^24, 2^24)
// (top byte 00 or FF: a plausible near call) becomes (v + next address) mod 2^25, sign-extended
// from bit 24, which is again in that interval; other operands stay. Either way the scan goes on
// after the operand (an E8 whose operand would leave the range moves it on by one byte, as any
// other byte does). So the positions scanned depend on E8 bytes only, which are never changed,
// and an operand is in the interval before exactly when it is after: restoring makes the same
// decisions and gives back exactly the original bytes, for any input.
// Portable, no platform headers.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hotfix::engine {

// Bytes [offset, offset + length) of a file hold code whose first byte sits at `address` (its
// RVA in a PE image). Ranges are sorted by offset and do not overlap.
struct CodeRange {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t address = 0;
    bool operator==(const CodeRange& other) const {
        return offset == other.offset && length == other.length && address == other.address;
    }
};

enum class BranchDirection { ToAbsolute, ToRelative };

// True when `ranges` are sorted, do not overlap, are not empty and lie within `fileSize` bytes.
bool ValidCodeRanges(const std::vector<CodeRange>& ranges, std::uint64_t fileSize);

// Converts in place the whole file held in `data` (ranges valid for `size`).
void FilterBranches(std::uint8_t* data, std::size_t size, const std::vector<CodeRange>& ranges,
                    BranchDirection direction);

// Converts a file that arrives piece by piece, in order, handing the converted bytes on.
// Holds back at most 5 bytes (a branch whose operand has not fully arrived).
class StreamingBranchFilter {
public:
    using Output = bool (*)(void* context, const std::uint8_t* data, std::size_t size);
    StreamingBranchFilter(const std::vector<CodeRange>& ranges, BranchDirection direction, Output output,
                          void* context);
    // False when the output refused bytes.
    bool Write(const std::uint8_t* data, std::size_t size);
    // Hands on what is held back (the file ended).
    bool Finish();

private:
    bool Drain(bool atEnd);

    const std::vector<CodeRange>& m_ranges;
    BranchDirection m_direction;
    Output m_output;
    void* m_context;
    std::vector<std::uint8_t> m_buffer; // file bytes [m_base, m_base + m_buffer.size())
    std::uint64_t m_base = 0;
    std::uint64_t m_scan = 0; // next opcode position; everything before it is final
};

} // namespace hotfix::engine
