#include "tools/match_delta_encoder.h"

#include "engine/little_endian.h"
#include "engine/match_delta.h"
#include "tools/pe_code_ranges.h"

#include <divsufsort.h>
#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace hotfix::tools {

namespace {

using engine::LittleEndianWriter;
using engine::MatchDeltaHeader;

// A byte run of the new file: `matchLength` bytes made from the old file at `oldStart` plus
// differences, then `insertLength` bytes taken as they are.
struct Segment {
    std::int64_t oldStart = 0;
    std::int64_t matchLength = 0;
    std::int64_t insertLength = 0;
};

// Exact matches of the new file in the old one, over the old file's suffix array.
class MatchFinder {
public:
    MatchFinder(const std::vector<std::uint8_t>& old) : m_old(old), m_suffixes(old.size()) {
        if (!old.empty() &&
            divsufsort(old.data(), m_suffixes.data(), static_cast<saidx_t>(old.size())) != 0)
            throw std::runtime_error("suffix sorting failed");
    }

    // The longest prefix of `text` found anywhere in the old file: its position and length.
    void Longest(const std::uint8_t* text, std::int64_t length, std::int64_t& position, std::int64_t& best) const {
        position = 0;
        best = 0;
        if (m_old.empty() || length == 0) return;
        // Binary search for where `text` sorts among the suffixes; the longest match is with
        // one of the two suffixes around that place.
        std::int64_t low = 0, high = static_cast<std::int64_t>(m_suffixes.size());
        std::int64_t lowCommon = 0, highCommon = 0; // common prefix with the bounds (known minimum)
        while (high - low > 1) {
            const std::int64_t middle = low + (high - low) / 2;
            const std::int64_t start = m_suffixes[static_cast<std::size_t>(middle)];
            std::int64_t common = std::min(lowCommon, highCommon);
            const std::int64_t limit = std::min<std::int64_t>(length, static_cast<std::int64_t>(m_old.size()) - start);
            while (common < limit && m_old[static_cast<std::size_t>(start + common)] == text[common]) ++common;
            if (common == length) {
                position = start;
                best = common;
                return;
            }
            if (common == limit || m_old[static_cast<std::size_t>(start + common)] < text[common]) {
                low = middle;
                lowCommon = common;
            } else {
                high = middle;
                highCommon = common;
            }
        }
        for (std::int64_t candidate : {low, high}) {
            if (candidate >= static_cast<std::int64_t>(m_suffixes.size())) continue;
            const std::int64_t start = m_suffixes[static_cast<std::size_t>(candidate)];
            const std::int64_t limit = std::min<std::int64_t>(length, static_cast<std::int64_t>(m_old.size()) - start);
            std::int64_t common = 0;
            while (common < limit && m_old[static_cast<std::size_t>(start + common)] == text[common]) ++common;
            if (common > best) {
                best = common;
                position = start;
            }
        }
    }

private:
    const std::vector<std::uint8_t>& m_old;
    std::vector<saidx_t> m_suffixes;
};

// Splits the new file into segments. Scanning the new file, an exact match found at `scan` is
// taken when it beats, by more than a few bytes, simply going on with the alignment of the
// previous match. The previous match is then grown forwards and the new one backwards as long as
// at least half of the bytes agree (each grows to where matches minus mismatches is highest), and
// what lies between them is inserted.
std::vector<Segment> FindSegments(const std::vector<std::uint8_t>& old, const std::vector<std::uint8_t>& next) {
    constexpr std::int64_t kBetterBy = 8;
    const MatchFinder finder(old);
    const std::int64_t oldSize = static_cast<std::int64_t>(old.size());
    const std::int64_t newSize = static_cast<std::int64_t>(next.size());
    auto agree = [&](std::int64_t newAt, std::int64_t oldAt) {
        return oldAt >= 0 && oldAt < oldSize && old[static_cast<std::size_t>(oldAt)] == next[static_cast<std::size_t>(newAt)];
    };

    std::vector<Segment> segments;
    std::int64_t scan = 0, matchAt = 0, matchLength = 0;
    std::int64_t previousScan = 0, previousAt = 0; // where the current alignment started
    while (scan < newSize) {
        const std::int64_t alignment = previousAt - previousScan; // old position minus new position
        std::int64_t alignedAgree = 0;
        std::int64_t counted = scan + matchLength; // bytes before it are counted in alignedAgree
        for (scan += matchLength; scan < newSize; ++scan) {
            finder.Longest(next.data() + scan, newSize - scan, matchAt, matchLength);
            for (; counted < scan + matchLength; ++counted)
                if (agree(counted, counted + alignment)) ++alignedAgree;
            if ((matchLength == alignedAgree && matchLength != 0) || matchLength > alignedAgree + kBetterBy) break;
            if (agree(scan, scan + alignment)) --alignedAgree;
        }
        if (matchLength == alignedAgree && scan != newSize) continue;

        // Grow the previous alignment forwards from previousScan.
        std::int64_t forward = 0;
        {
            std::int64_t score = 0, bestScore = 0;
            for (std::int64_t i = 0; previousScan + i < scan && previousAt + i < oldSize; ++i) {
                score += agree(previousScan + i, previousAt + i) ? 1 : -1;
                if (score > bestScore) {
                    bestScore = score;
                    forward = i + 1;
                }
            }
        }
        // Grow the new match backwards from scan.
        std::int64_t backward = 0;
        if (scan < newSize) {
            std::int64_t score = 0, bestScore = 0;
            for (std::int64_t i = 1; scan - i >= previousScan && matchAt - i >= 0; ++i) {
                score += agree(scan - i, matchAt - i) ? 1 : -1;
                if (score > bestScore) {
                    bestScore = score;
                    backward = i;
                }
            }
        }
        // Where both grew over the same bytes, split them where the most bytes agree.
        if (previousScan + forward > scan - backward) {
            const std::int64_t overlap = previousScan + forward - (scan - backward);
            std::int64_t score = 0, bestScore = 0, split = 0;
            for (std::int64_t i = 0; i < overlap; ++i) {
                const std::int64_t newAt = scan - backward + i;
                if (agree(newAt, previousAt + (newAt - previousScan))) ++score;
                if (agree(newAt, matchAt - backward + i)) --score;
                if (score > bestScore) {
                    bestScore = score;
                    split = i + 1;
                }
            }
            forward += split - overlap;
            backward -= split;
        }
        segments.push_back({previousAt, forward, (scan - backward) - (previousScan + forward)});
        previousScan = scan - backward;
        previousAt = matchAt - backward;
    }
    return segments;
}

struct Streams {
    std::vector<std::uint8_t> control, difference, extra;
};

// The records of the segments: a record's seek takes the old position from the end of its match
// to the start of the next record's match. Empty segments are left out (but for a first one).
bool MakeStreams(const std::vector<std::uint8_t>& old, const std::vector<std::uint8_t>& next,
                 const std::vector<Segment>& segments, Streams& streams) {
    std::vector<Segment> kept;
    for (const Segment& segment : segments)
        if (segment.matchLength + segment.insertLength > 0) kept.push_back(segment);
    // The decoder starts at old position 0: a first match elsewhere needs an empty record whose
    // seek goes there.
    if (!kept.empty() && kept.front().matchLength > 0 && kept.front().oldStart != 0) kept.insert(kept.begin(), Segment{});
    std::int64_t oldPosition = 0, newPosition = 0;
    for (Segment& segment : kept) {
        if (segment.matchLength == 0) segment.oldStart = oldPosition; // no match: stay where we are
        oldPosition = segment.oldStart + segment.matchLength;
    }
    LittleEndianWriter control(streams.control);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Segment& segment = kept[i];
        const std::int64_t nextStart = i + 1 < kept.size() ? kept[i + 1].oldStart : segment.oldStart + segment.matchLength;
        const std::int64_t seek = nextStart - (segment.oldStart + segment.matchLength);
        if (seek < std::numeric_limits<std::int32_t>::min() || seek > std::numeric_limits<std::int32_t>::max() ||
            segment.matchLength > UINT32_MAX || segment.insertLength > UINT32_MAX)
            return false;
        control.U32(static_cast<std::uint32_t>(segment.matchLength));
        control.U32(static_cast<std::uint32_t>(segment.insertLength));
        control.U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(seek)));
        for (std::int64_t k = 0; k < segment.matchLength; ++k)
            streams.difference.push_back(static_cast<std::uint8_t>(next[static_cast<std::size_t>(newPosition + k)] -
                                                                   old[static_cast<std::size_t>(segment.oldStart + k)]));
        newPosition += segment.matchLength;
        streams.extra.insert(streams.extra.end(), next.begin() + newPosition,
                             next.begin() + newPosition + segment.insertLength);
        newPosition += segment.insertLength;
    }
    return newPosition == static_cast<std::int64_t>(next.size());
}

struct LzmaEncoder {
    lzma_stream stream = LZMA_STREAM_INIT;
    ~LzmaEncoder() { lzma_end(&stream); }
};

// One raw LZMA2 stream of `data`, preset 9 extreme with the given literal/position bits.
std::vector<std::uint8_t> Lzma2(const std::vector<std::uint8_t>& data, std::uint32_t dictionary, std::uint32_t lc,
                                std::uint32_t lp, std::uint32_t pb) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME)) throw std::runtime_error("liblzma has no preset 9e");
    options.dict_size = dictionary;
    options.lc = lc;
    options.lp = lp;
    options.pb = pb;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    // One encoder a thread, started afresh for every stream: liblzma then keeps its tables
    // instead of allocating and zeroing them again (most of the cost of a small stream), and
    // the output is the same as from a new encoder.
    thread_local LzmaEncoder encoder;
    if (lzma_raw_encoder(&encoder.stream, filters) != LZMA_OK) throw std::runtime_error("cannot start LZMA2");
    std::vector<std::uint8_t> out(data.size() + data.size() / 16 + 4096);
    encoder.stream.next_in = data.data();
    encoder.stream.avail_in = data.size();
    encoder.stream.next_out = out.data();
    encoder.stream.avail_out = out.size();
    for (;;) {
        const lzma_ret result = lzma_code(&encoder.stream, LZMA_FINISH);
        if (result == LZMA_STREAM_END) break;
        if (result != LZMA_OK) throw std::runtime_error("LZMA2 compression failed");
        if (encoder.stream.avail_out == 0) {
            const std::size_t used = out.size();
            out.resize(used * 2);
            encoder.stream.next_out = out.data() + used;
            encoder.stream.avail_out = out.size() - used;
        }
    }
    out.resize(out.size() - encoder.stream.avail_out);
    return out;
}

// The smallest of a few literal/position settings that suit the stream's kind of data (found by
// measuring on Windows binaries): records of 32-bit fields; differences, mostly zeros, where the
// previous byte tells little; and code. The long difference stream is coded once.
std::vector<std::uint8_t> Compress(engine::MatchDeltaStream kind, const std::vector<std::uint8_t>& data,
                                   std::uint32_t dictionary) {
    struct Bits {
        std::uint32_t lc, lp, pb;
    };
    static const std::vector<Bits> kTries[engine::kStreamCount] = {
        {{1, 2, 2}, {0, 2, 2}}, {{1, 0, 0}}, {{3, 0, 2}, {0, 0, 0}, {3, 0, 0}}};
    std::vector<std::uint8_t> best;
    for (const Bits& bits : kTries[kind]) {
        std::vector<std::uint8_t> coded = Lzma2(data, dictionary, bits.lc, bits.lp, bits.pb);
        if (best.empty() || coded.size() < best.size()) best = std::move(coded);
    }
    return best;
}

} // namespace

std::size_t MatchDeltaSizeAtLeast(const std::vector<std::uint8_t>& oldBytes, const std::vector<std::uint8_t>& target) {
    MatchDeltaHeader header;
    header.oldRanges = PeCodeRanges(oldBytes.data(), oldBytes.size());
    header.newRanges = PeCodeRanges(target.data(), target.size());
    // A raw LZMA2 stream is at least its end marker.
    return engine::MatchDeltaHeaderBytes(header) + engine::kStreamCount;
}

MatchDeltaEncoding EncodeMatchDelta(const std::vector<std::uint8_t>& oldBytes, const std::vector<std::uint8_t>& target) {
    MatchDeltaEncoding encoding;
    if (oldBytes.size() > (std::size_t(1) << 31) - 1 || target.size() > (std::size_t(1) << 31) - 1) return encoding;
    MatchDeltaHeader header;
    header.oldRanges = PeCodeRanges(oldBytes.data(), oldBytes.size());
    header.newRanges = PeCodeRanges(target.data(), target.size());
    std::vector<std::uint8_t> old = oldBytes, next = target;
    if (!header.oldRanges.empty() || !header.newRanges.empty()) {
        header.transform = engine::BranchTransform::X86;
        engine::FilterBranches(old.data(), old.size(), header.oldRanges, engine::BranchDirection::ToAbsolute);
        engine::FilterBranches(next.data(), next.size(), header.newRanges, engine::BranchDirection::ToAbsolute);
    }
    Streams streams;
    if (!MakeStreams(old, next, FindSegments(old, next), streams)) return encoding;
    const std::vector<std::uint8_t>* raw[engine::kStreamCount] = {&streams.control, &streams.difference, &streams.extra};
    std::vector<std::uint8_t> coded[engine::kStreamCount];
    for (int i = 0; i < engine::kStreamCount; ++i) {
        const auto kind = static_cast<engine::MatchDeltaStream>(i);
        header.streams[i].rawSize = raw[i]->size();
        header.streams[i].dictionarySize = engine::DictionaryFor(kind, raw[i]->size());
        coded[i] = Compress(kind, *raw[i], header.streams[i].dictionarySize);
        header.streams[i].storedSize = coded[i].size();
    }
    encoding.bytes = engine::WriteMatchDeltaHeader(header);
    for (const auto& stream : coded) encoding.bytes.insert(encoding.bytes.end(), stream.begin(), stream.end());
    encoding.ok = true;
    return encoding;
}

} // namespace hotfix::tools
