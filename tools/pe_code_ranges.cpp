#include "tools/pe_code_ranges.h"

#include "engine/little_endian.h"
#include "engine/match_delta.h"

#include <algorithm>

namespace hotfix::tools {

namespace {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint32_t kSectionCode = 0x00000020;
constexpr std::uint32_t kSectionExecute = 0x20000000;
constexpr std::size_t kSectionHeaderSize = 40;

using engine::LoadLittleEndian;

} // namespace

std::vector<engine::CodeRange> PeCodeRanges(const std::uint8_t* data, std::size_t size) {
    std::vector<engine::CodeRange> ranges;
    if (size < 0x40 || data[0] != 'M' || data[1] != 'Z') return ranges;
    const std::uint64_t pe = LoadLittleEndian<std::uint32_t>(data + 0x3C);
    if (pe + 24 > size || LoadLittleEndian<std::uint32_t>(data + pe) != 0x00004550) return ranges; // "PE\0\0"
    const std::uint32_t machine = LoadLittleEndian<std::uint16_t>(data + pe + 4);
    if (machine != kMachineI386 && machine != kMachineAmd64) return ranges;
    const std::uint64_t sections = LoadLittleEndian<std::uint16_t>(data + pe + 6);
    const std::uint64_t table = pe + 24 + LoadLittleEndian<std::uint16_t>(data + pe + 20);
    if (table + sections * kSectionHeaderSize > size) return ranges;
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint8_t* section = data + table + i * kSectionHeaderSize;
        const std::uint32_t characteristics = LoadLittleEndian<std::uint32_t>(section + 36);
        if ((characteristics & (kSectionCode | kSectionExecute)) == 0) continue;
        const std::uint64_t offset = LoadLittleEndian<std::uint32_t>(section + 20);
        std::uint64_t length = LoadLittleEndian<std::uint32_t>(section + 16);
        if (offset >= size) continue;
        length = std::min<std::uint64_t>(length, size - offset);
        if (length == 0) continue;
        ranges.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length),
                          LoadLittleEndian<std::uint32_t>(section + 12)});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const engine::CodeRange& a, const engine::CodeRange& b) { return a.offset < b.offset; });
    std::vector<engine::CodeRange> kept;
    for (const engine::CodeRange& range : ranges) {
        if (!kept.empty() && range.offset < std::uint64_t(kept.back().offset) + kept.back().length) continue;
        if (kept.size() == engine::kMaxCodeRanges) break;
        kept.push_back(range);
    }
    return kept;
}

} // namespace hotfix::tools
