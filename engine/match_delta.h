#pragma once
// The match delta (content method 3 of the patch file; layout in docs/rtp-format.md): the new
// file as a series of approximate matches against the old file plus inserted bytes, in three
// raw LZMA2 streams, with x86 branch targets made absolute in the code ranges of both files.
//
// Decoding runs from the patch file's content range with three stream readers side by side and
// hands the new file to a sink as it is made: memory is the old file, the dictionaries (at most
// the new size plus a fixed amount) and fixed buffers. Every size, offset and range is checked
// before use: damaged content is an error, never a read or write out of bounds.
// Portable, no platform headers. Written by tools/match_delta_encoder.cpp.
#include "engine/branch_filter.h"
#include "engine/engine_file_system.h"
#include "engine/target_sink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hotfix::engine {

constexpr char kMatchDeltaMagic[4] = {'H', 'F', 'M', 'D'};
constexpr std::uint8_t kMatchDeltaVersion = 1;
constexpr std::size_t kMatchDeltaHeaderSize = 72;
constexpr std::size_t kMatchDeltaRangeSize = 12;
constexpr std::size_t kMatchDeltaRecordSize = 12;
constexpr std::size_t kMaxCodeRanges = 96;                 // a PE image has at most 96 sections
constexpr std::uint32_t kMinDictionary = 4096;             // liblzma's smallest
constexpr std::uint32_t kMaxControlDictionary = 1u << 20;  // the control stream's is capped
// The dictionary the builder gives the difference and extra streams at most: every page of a
// dictionary is touched once the stream is longer, and one of 2 MiB codes real executables as
// small as one the size of the stream.
constexpr std::uint32_t kBuilderDictionary = 2u << 20;

enum class BranchTransform : std::uint8_t { None = 0, X86 = 1 };
enum MatchDeltaStream { kControlStream = 0, kDifferenceStream = 1, kExtraStream = 2, kStreamCount = 3 };

struct MatchDeltaStreamInfo {
    std::uint64_t rawSize = 0;
    std::uint64_t storedSize = 0;
    std::uint32_t dictionarySize = kMinDictionary;
};

struct MatchDeltaHeader {
    BranchTransform transform = BranchTransform::None;
    std::vector<CodeRange> oldRanges;
    std::vector<CodeRange> newRanges;
    MatchDeltaStreamInfo streams[kStreamCount];
};

// The largest dictionary a stream of `rawSize` bytes may use: its size, at least liblzma's
// smallest, and at most kMaxControlDictionary for the control stream.
std::uint32_t LargestDictionary(MatchDeltaStream stream, std::uint64_t rawSize);
// The dictionary the builder gives such a stream: the largest, at most kBuilderDictionary.
std::uint32_t DictionaryFor(MatchDeltaStream stream, std::uint64_t rawSize);

// Size of the header with its code ranges (the streams follow it).
std::size_t MatchDeltaHeaderBytes(const MatchDeltaHeader& header);

// Writes the header with its code ranges (the builder appends the three streams).
std::vector<std::uint8_t> WriteMatchDeltaHeader(const MatchDeltaHeader& header);

// Reads and checks a header: `bytes` hold at least kMatchDeltaHeaderSize bytes of the content,
// followed by its code ranges when `size` reaches them; `storedSize` is the whole content's.
// False and `error` when anything is out of bounds for these file sizes.
bool ParseMatchDeltaHeader(const std::uint8_t* bytes, std::size_t size, std::uint64_t storedSize,
                           std::uint64_t oldSize, std::uint64_t newSize, MatchDeltaHeader& header, std::string& error);

// Whether decoding the content at `offset` converts its old file in place (a branch transform
// with old code ranges); true too when its header cannot be read.
bool MatchDeltaChangesOld(ReadableFile& patch, std::uint64_t offset, std::uint64_t storedSize);

struct MatchDeltaResult {
    bool ok = false;
    bool ioFailed = false;   // the patch file could not be read
    bool sinkFailed = false; // the sink refused bytes
    std::string error;       // when !ok
};

// Decodes the content `storedSize` bytes at `offset` of `patch` against `old` into `sink`,
// which receives exactly `newSize` bytes when it succeeds. `old` is converted in place (its
// code ranges made absolute): the caller's bytes are changed.
MatchDeltaResult DecodeMatchDelta(ReadableFile& patch, std::uint64_t offset, std::uint64_t storedSize,
                                  std::uint8_t* old, std::size_t oldSize, std::uint64_t newSize, TargetSink& sink);

} // namespace hotfix::engine
