#include "engine/branch_filter.h"

#include "engine/little_endian.h"

#include <algorithm>

namespace hotfix::engine {

namespace {

constexpr std::size_t kStreamPiece = 64u << 10;

// Scans opcode positions from `scan` over the file bytes [base, base + size) held in `data`,
// converting the branches it finds. Returns where the scan stopped: every byte before it is
// final. That is `base + size`, or the position of a branch whose operand is not all held yet.
std::uint64_t Scan(std::uint8_t* data, std::uint64_t base, std::size_t size, std::uint64_t scan,
                   const std::vector<CodeRange>& ranges, BranchDirection direction) {
    const std::uint64_t end = base + size;
    auto range = std::upper_bound(ranges.begin(), ranges.end(), scan, [](std::uint64_t at, const CodeRange& r) {
        return at < std::uint64_t(r.offset) + r.length;
    });
    for (; range != ranges.end(); ++range) {
        if (range->offset >= end) return end;
        const std::uint64_t rangeEnd = std::uint64_t(range->offset) + range->length;
        scan = std::max<std::uint64_t>(scan, range->offset);
        while (scan < rangeEnd) {
            if (scan >= end) return end;
            std::uint8_t* p = data + (scan - base);
            const std::uint64_t next = scan + 5;
            if (p[0] != 0xE8 || next > rangeEnd) {
                ++scan;
                continue;
            }
            if (next > end) return scan; // the operand has not fully arrived
            // Whether or not the operand is converted, the scan goes on after it: so whether a
            // later byte is looked at never depends on an operand, which restoring sees changed.
            const std::uint32_t operand = LoadLittleEndian<std::uint32_t>(p + 1);
            if (((operand + 0x01000000u) & 0xFE000000u) == 0) {
                const std::uint32_t address = range->address + static_cast<std::uint32_t>(next - range->offset);
                std::uint32_t converted = direction == BranchDirection::ToAbsolute ? operand + address : operand - address;
                converted = ((converted & 0x01FFFFFFu) ^ 0x01000000u) - 0x01000000u;
                StoreLittleEndian(p + 1, converted);
            }
            scan = next;
        }
    }
    return end;
}

} // namespace

bool ValidCodeRanges(const std::vector<CodeRange>& ranges, std::uint64_t fileSize) {
    std::uint64_t previousEnd = 0;
    for (const CodeRange& range : ranges) {
        const std::uint64_t end = std::uint64_t(range.offset) + range.length;
        if (range.length == 0 || range.offset < previousEnd || end > fileSize) return false;
        previousEnd = end;
    }
    return true;
}

void FilterBranches(std::uint8_t* data, std::size_t size, const std::vector<CodeRange>& ranges,
                    BranchDirection direction) {
    Scan(data, 0, size, 0, ranges, direction);
}

StreamingBranchFilter::StreamingBranchFilter(const std::vector<CodeRange>& ranges, BranchDirection direction,
                                             Output output, void* context)
    : m_ranges(ranges), m_direction(direction), m_output(output), m_context(context) {
    m_buffer.reserve(kStreamPiece + 8);
}

bool StreamingBranchFilter::Write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const std::size_t piece = std::min(size, kStreamPiece);
        m_buffer.insert(m_buffer.end(), data, data + piece);
        data += piece;
        size -= piece;
        if (!Drain(false)) return false;
    }
    return true;
}

bool StreamingBranchFilter::Finish() { return Drain(true); }

bool StreamingBranchFilter::Drain(bool atEnd) {
    m_scan = Scan(m_buffer.data(), m_base, m_buffer.size(), m_scan, m_ranges, m_direction);
    // At the end nothing more can arrive: a branch still waiting for its operand stays as it is.
    const std::size_t final = atEnd ? m_buffer.size() : static_cast<std::size_t>(m_scan - m_base);
    if (final > 0 && !m_output(m_context, m_buffer.data(), final)) return false;
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(final));
    m_base += final;
    if (m_scan < m_base) m_scan = m_base;
    return true;
}

} // namespace hotfix::engine
