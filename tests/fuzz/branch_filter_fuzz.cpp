// Fuzzes the x86 call transform: for any bytes and any code ranges, making targets absolute and
// restoring them (whole, or piece by piece in pieces of any size) gives back exactly the input.
// Input: one byte for the piece size, one for the number of ranges, 6 bytes per range (offset
// and length, 16 bits each, and a 16-bit address seed), then the file.
#include "engine/branch_filter.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hotfix::engine;
    if (size < 2) return 0;
    const std::size_t piece = 1 + data[0];
    std::size_t count = data[1] % 8;
    data += 2;
    size -= 2;
    if (count * 6 > size) count = size / 6;
    const std::uint8_t* described = data;
    data += count * 6;
    size -= count * 6;
    std::vector<CodeRange> ranges;
    std::uint64_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* r = described + 6 * i;
        at += r[0] | r[1] << 8;
        const std::uint32_t length = 1 + (r[2] | r[3] << 8);
        if (at + length > size) break;
        ranges.push_back({static_cast<std::uint32_t>(at), length, static_cast<std::uint32_t>((r[4] | r[5] << 8) * 40503u)});
        at += length;
    }
    if (!ValidCodeRanges(ranges, size)) std::abort();
    const std::vector<std::uint8_t> original(data, data + size);
    std::vector<std::uint8_t> absolute = original;
    FilterBranches(absolute.data(), absolute.size(), ranges, BranchDirection::ToAbsolute);
    std::vector<std::uint8_t> whole = absolute;
    FilterBranches(whole.data(), whole.size(), ranges, BranchDirection::ToRelative);
    if (whole != original) std::abort();
    std::vector<std::uint8_t> restored;
    StreamingBranchFilter filter(
        ranges, BranchDirection::ToRelative,
        [](void* out, const std::uint8_t* bytes, std::size_t count) {
            auto* into = static_cast<std::vector<std::uint8_t>*>(out);
            into->insert(into->end(), bytes, bytes + count);
            return true;
        },
        &restored);
    for (std::size_t offset = 0; offset < absolute.size(); offset += piece)
        filter.Write(absolute.data() + offset, std::min(piece, absolute.size() - offset));
    filter.Finish();
    if (restored != original) std::abort();
    return 0;
}
