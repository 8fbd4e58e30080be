#include "engine/match_delta.h"

#include "engine/little_endian.h"
#include "engine/lzma_range_reader.h"

#include <algorithm>
#include <cstring>

namespace hotfix::engine {

namespace {

constexpr std::size_t kChunk = 64u << 10;

// Where the decoded bytes go: straight to the sink, or through the branch filter first.
class Output {
public:
    Output(TargetSink& sink, const MatchDeltaHeader& header)
        : m_sink(sink), m_filter(header.newRanges, BranchDirection::ToRelative, &Output::ToSink, this),
          m_filtered(header.transform != BranchTransform::None) {}
    bool Write(const std::uint8_t* data, std::size_t size) {
        return m_filtered ? m_filter.Write(data, size) : m_sink.Write(data, size);
    }
    bool Finish() { return !m_filtered || m_filter.Finish(); }

private:
    static bool ToSink(void* self, const std::uint8_t* data, std::size_t size) {
        return static_cast<Output*>(self)->m_sink.Write(data, size);
    }
    TargetSink& m_sink;
    StreamingBranchFilter m_filter;
    bool m_filtered;
};

MatchDeltaResult Failure(const std::string& error, bool ioFailed = false) {
    MatchDeltaResult result;
    result.error = error;
    result.ioFailed = ioFailed;
    return result;
}

MatchDeltaResult ReaderFailure(const LzmaRangeReader& reader, const char* stream) {
    return Failure(std::string(stream) + " stream: " + reader.error(), reader.ioFailed());
}

} // namespace

std::uint32_t LargestDictionary(MatchDeltaStream stream, std::uint64_t rawSize) {
    std::uint64_t size = std::max<std::uint64_t>(rawSize, kMinDictionary);
    if (stream == kControlStream) size = std::min<std::uint64_t>(size, kMaxControlDictionary);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(size, UINT32_MAX));
}

std::uint32_t DictionaryFor(MatchDeltaStream stream, std::uint64_t rawSize) {
    return std::min(LargestDictionary(stream, rawSize), kBuilderDictionary);
}

std::size_t MatchDeltaHeaderBytes(const MatchDeltaHeader& header) {
    return kMatchDeltaHeaderSize + kMatchDeltaRangeSize * (header.oldRanges.size() + header.newRanges.size());
}

std::vector<std::uint8_t> WriteMatchDeltaHeader(const MatchDeltaHeader& header) {
    std::vector<std::uint8_t> out(kMatchDeltaMagic, kMatchDeltaMagic + sizeof kMatchDeltaMagic);
    LittleEndianWriter writer(out);
    writer.U8(kMatchDeltaVersion);
    writer.U8(static_cast<std::uint8_t>(header.transform));
    writer.U16(static_cast<std::uint16_t>(header.oldRanges.size()));
    writer.U16(static_cast<std::uint16_t>(header.newRanges.size()));
    writer.U16(0);
    for (const MatchDeltaStreamInfo& stream : header.streams) {
        writer.U64(stream.rawSize);
        writer.U64(stream.storedSize);
        writer.U32(stream.dictionarySize);
    }
    for (const auto* ranges : {&header.oldRanges, &header.newRanges})
        for (const CodeRange& range : *ranges) {
            writer.U32(range.offset);
            writer.U32(range.length);
            writer.U32(range.address);
        }
    return out;
}

bool ParseMatchDeltaHeader(const std::uint8_t* bytes, std::size_t size, std::uint64_t storedSize,
                           std::uint64_t oldSize, std::uint64_t newSize, MatchDeltaHeader& header, std::string& error) {
    if (size < kMatchDeltaHeaderSize || storedSize < kMatchDeltaHeaderSize) {
        error = "match delta shorter than its header";
        return false;
    }
    if (std::memcmp(bytes, kMatchDeltaMagic, sizeof kMatchDeltaMagic) != 0 || bytes[4] != kMatchDeltaVersion ||
        LoadLittleEndian<std::uint16_t>(bytes + 10) != 0) {
        error = "not a match delta of a known version";
        return false;
    }
    if (bytes[5] > static_cast<std::uint8_t>(BranchTransform::X86)) {
        error = "unknown branch transform";
        return false;
    }
    header.transform = static_cast<BranchTransform>(bytes[5]);
    const std::size_t oldCount = LoadLittleEndian<std::uint16_t>(bytes + 6);
    const std::size_t newCount = LoadLittleEndian<std::uint16_t>(bytes + 8);
    if (oldCount > kMaxCodeRanges || newCount > kMaxCodeRanges ||
        (header.transform == BranchTransform::None && oldCount + newCount != 0)) {
        error = "code range count out of bounds";
        return false;
    }
    const std::size_t headerBytes = kMatchDeltaHeaderSize + kMatchDeltaRangeSize * (oldCount + newCount);
    if (size < headerBytes || storedSize < headerBytes) {
        error = "match delta shorter than its code ranges";
        return false;
    }
    std::uint64_t streamBytes = 0;
    for (int i = 0; i < kStreamCount; ++i) {
        MatchDeltaStreamInfo& stream = header.streams[i];
        const std::uint8_t* p = bytes + 12 + 20 * i;
        stream.rawSize = LoadLittleEndian<std::uint64_t>(p);
        stream.storedSize = LoadLittleEndian<std::uint64_t>(p + 8);
        stream.dictionarySize = LoadLittleEndian<std::uint32_t>(p + 16);
        if (stream.storedSize == 0 || stream.storedSize > storedSize || stream.rawSize > (newSize + 1) * kMatchDeltaRecordSize ||
            stream.dictionarySize < kMinDictionary ||
            stream.dictionarySize > LargestDictionary(static_cast<MatchDeltaStream>(i), stream.rawSize)) {
            error = "stream size or dictionary out of bounds";
            return false;
        }
        streamBytes += stream.storedSize;
    }
    if (headerBytes + streamBytes != storedSize) {
        error = "streams do not fill the content exactly";
        return false;
    }
    const MatchDeltaStreamInfo* s = header.streams;
    // Every record but the first makes at least one new byte, and every new byte comes from one
    // stream.
    if (s[kControlStream].rawSize % kMatchDeltaRecordSize != 0 ||
        s[kControlStream].rawSize / kMatchDeltaRecordSize > newSize + 1 ||
        s[kDifferenceStream].rawSize + s[kExtraStream].rawSize != newSize) {
        error = "stream sizes do not fit the new file";
        return false;
    }
    header.oldRanges.resize(oldCount);
    header.newRanges.resize(newCount);
    const std::uint8_t* p = bytes + kMatchDeltaHeaderSize;
    for (auto* ranges : {&header.oldRanges, &header.newRanges})
        for (CodeRange& range : *ranges) {
            range.offset = LoadLittleEndian<std::uint32_t>(p);
            range.length = LoadLittleEndian<std::uint32_t>(p + 4);
            range.address = LoadLittleEndian<std::uint32_t>(p + 8);
            p += kMatchDeltaRangeSize;
        }
    if (!ValidCodeRanges(header.oldRanges, oldSize) || !ValidCodeRanges(header.newRanges, newSize)) {
        error = "code ranges out of order or outside the file";
        return false;
    }
    return true;
}

bool MatchDeltaChangesOld(ReadableFile& patch, std::uint64_t offset, std::uint64_t storedSize) {
    std::uint8_t head[8];
    if (storedSize < sizeof head || offset > patch.Size() || sizeof head > patch.Size() - offset ||
        !patch.ReadAt(offset, head, sizeof head).ok)
        return true;
    return head[5] != static_cast<std::uint8_t>(BranchTransform::None) && LoadLittleEndian<std::uint16_t>(head + 6) != 0;
}

MatchDeltaResult DecodeMatchDelta(ReadableFile& patch, std::uint64_t offset, std::uint64_t storedSize,
                                  std::uint8_t* old, std::size_t oldSize, std::uint64_t newSize, TargetSink& sink) {
    if (storedSize < kMatchDeltaHeaderSize || offset > patch.Size() || storedSize > patch.Size() - offset)
        return Failure("match delta outside the patch file");
    const std::size_t headerRoom =
        static_cast<std::size_t>(std::min<std::uint64_t>(storedSize, kMatchDeltaHeaderSize + kMatchDeltaRangeSize * 2 * kMaxCodeRanges));
    std::vector<std::uint8_t> headerBytes(headerRoom);
    IoStatus status = patch.ReadAt(offset, headerBytes.data(), headerBytes.size());
    if (!status.ok) return Failure("cannot read the patch file: " + status.message, true);
    MatchDeltaHeader header;
    std::string error;
    if (!ParseMatchDeltaHeader(headerBytes.data(), headerBytes.size(), storedSize, oldSize, newSize, header, error))
        return Failure(error);

    static const char* const kNames[] = {"control", "difference", "extra"};
    LzmaRangeReader readers[kStreamCount];
    std::uint64_t at = offset + MatchDeltaHeaderBytes(header);
    for (int i = 0; i < kStreamCount; ++i) {
        const MatchDeltaStreamInfo& stream = header.streams[i];
        if (!readers[i].Open(patch, at, stream.storedSize, stream.rawSize, stream.dictionarySize))
            return ReaderFailure(readers[i], kNames[i]);
        at += stream.storedSize;
    }
    if (header.transform != BranchTransform::None)
        FilterBranches(old, oldSize, header.oldRanges, BranchDirection::ToAbsolute);

    Output output(sink, header);
    std::vector<std::uint8_t> made(kChunk), difference(kChunk);
    std::uint64_t oldPosition = 0, newPosition = 0;
    const std::uint64_t records = header.streams[kControlStream].rawSize / kMatchDeltaRecordSize;
    for (std::uint64_t record = 0; record < records; ++record) {
        std::uint8_t control[kMatchDeltaRecordSize];
        if (!readers[kControlStream].Read(control, sizeof control)) return ReaderFailure(readers[kControlStream], "control");
        const std::uint64_t matchLength = LoadLittleEndian<std::uint32_t>(control);
        const std::uint64_t insertLength = LoadLittleEndian<std::uint32_t>(control + 4);
        const std::int64_t seek = static_cast<std::int32_t>(LoadLittleEndian<std::uint32_t>(control + 8));
        // Only the first record may be empty: its seek sets where the first match starts.
        if ((matchLength + insertLength == 0 && record != 0) || matchLength + insertLength > newSize - newPosition)
            return Failure("a record makes no bytes or more than the new file holds");
        if (matchLength > oldSize - oldPosition) return Failure("a match reaches past the end of the old file");
        for (std::uint64_t done = 0; done < matchLength;) {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, matchLength - done));
            if (!readers[kDifferenceStream].Read(difference.data(), count))
                return ReaderFailure(readers[kDifferenceStream], "difference");
            const std::uint8_t* from = old + oldPosition + done;
            for (std::size_t i = 0; i < count; ++i) made[i] = static_cast<std::uint8_t>(from[i] + difference[i]);
            if (!output.Write(made.data(), count)) {
                MatchDeltaResult result = Failure("writing the new file failed");
                result.sinkFailed = true;
                return result;
            }
            done += count;
        }
        for (std::uint64_t done = 0; done < insertLength;) {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, insertLength - done));
            if (!readers[kExtraStream].Read(made.data(), count)) return ReaderFailure(readers[kExtraStream], "extra");
            if (!output.Write(made.data(), count)) {
                MatchDeltaResult result = Failure("writing the new file failed");
                result.sinkFailed = true;
                return result;
            }
            done += count;
        }
        newPosition += matchLength + insertLength;
        const std::int64_t next = static_cast<std::int64_t>(oldPosition + matchLength) + seek;
        if (next < 0 || static_cast<std::uint64_t>(next) > oldSize) return Failure("a seek leaves the old file");
        oldPosition = static_cast<std::uint64_t>(next);
    }
    if (newPosition != newSize) return Failure("the records make fewer bytes than the new file holds");
    for (int i = 0; i < kStreamCount; ++i)
        if (!readers[i].Finish()) return ReaderFailure(readers[i], kNames[i]);
    if (!output.Finish()) {
        MatchDeltaResult result = Failure("writing the new file failed");
        result.sinkFailed = true;
        return result;
    }
    MatchDeltaResult result;
    result.ok = true;
    return result;
}

} // namespace hotfix::engine
