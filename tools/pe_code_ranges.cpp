#include "tools/pe_code_ranges.h"

#include "engine/match_delta.h"

#include <algorithm>

namespace hotfix::tools {

namespace {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint32_t kSectionCode = 0x00000020;
constexpr std::uint32_t kSectionExecute = 0x20000000;
constexpr std::size_t kSectionHeaderSize = 40;

std::uint32_t Load(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

} // namespace

std::vector<engine::CodeRange> PeCodeRanges(const std::uint8_t* data, std::size_t size) {
    std::vector<engine::CodeRange> ranges;
    if (size < 0x40 || data[0] != 'M' || data[1] != 'Z') return ranges;
    const std::uint64_t pe = Load(data + 0x3C, 4);
    if (pe + 24 > size || Load(data + pe, 4) != 0x00004550) return ranges; // "PE\0\0"
    const std::uint32_t machine = Load(data + pe + 4, 2);
    if (machine != kMachineI386 && machine != kMachineAmd64) return ranges;
    const std::uint64_t sections = Load(data + pe + 6, 2);
    const std::uint64_t table = pe + 24 + Load(data + pe + 20, 2);
    if (table + sections * kSectionHeaderSize > size) return ranges;
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint8_t* section = data + table + i * kSectionHeaderSize;
        const std::uint32_t characteristics = Load(section + 36, 4);
        if ((characteristics & (kSectionCode | kSectionExecute)) == 0) continue;
        const std::uint64_t offset = Load(section + 20, 4);
        std::uint64_t length = Load(section + 16, 4);
        if (offset >= size) continue;
        length = std::min<std::uint64_t>(length, size - offset);
        if (length == 0) continue;
        ranges.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length), Load(section + 12, 4)});
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
