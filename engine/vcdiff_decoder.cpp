#include "engine/vcdiff_decoder.h"

#include "engine/little_endian.h"

#include <zlib.h>

#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace hotfix::engine {

namespace {

constexpr std::uint8_t kMagic[4] = {0xD6, 0xC3, 0xC4, 0x00};

// Header indicator bits.
constexpr std::uint8_t kHdrDecompress = 0x01; // secondary compressor id follows
constexpr std::uint8_t kHdrCodeTable = 0x02;  // application-defined code table follows
constexpr std::uint8_t kHdrAppHeader = 0x04;  // length-prefixed application data follows (xdelta3)

// Window indicator bits.
constexpr std::uint8_t kWinSource = 0x01;
constexpr std::uint8_t kWinTarget = 0x02;
constexpr std::uint8_t kWinAdler32 = 0x04; // 4-byte big-endian Adler-32 of the window's target

// Delta indicator bits: each section compressed with the secondary compressor.
constexpr std::uint8_t kDeltaCompressed = 0x07;

enum InstructionType : std::uint8_t { kNoop = 0, kAdd = 1, kRun = 2, kCopy = 3 };

constexpr unsigned kNearSlots = 4;
constexpr unsigned kSameSlots = 3;
constexpr unsigned kSameSize = kSameSlots * 256;
constexpr unsigned kModeSelf = 0;
constexpr unsigned kModeHere = 1;
constexpr unsigned kFirstSameMode = 2 + kNearSlots;

struct CodeEntry {
    std::uint8_t type1, size1, mode1;
    std::uint8_t type2, size2, mode2;
};

struct CodeTable {
    CodeEntry entries[256];
};

// The default instruction code table: a size of 0 means the size follows in the
// instruction section.
CodeTable BuildDefaultCodeTable() {
    CodeTable table{};
    unsigned index = 0;
    table.entries[index++] = {kRun, 0, 0, kNoop, 0, 0};
    for (unsigned size = 0; size <= 17; ++size) {
        table.entries[index++] = {kAdd, static_cast<std::uint8_t>(size), 0, kNoop, 0, 0};
    }
    for (unsigned mode = 0; mode <= 8; ++mode) {
        table.entries[index++] = {kCopy, 0, static_cast<std::uint8_t>(mode), kNoop, 0, 0};
        for (unsigned size = 4; size <= 18; ++size) {
            table.entries[index++] = {kCopy, static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(mode),
                                      kNoop, 0, 0};
        }
    }
    for (unsigned mode = 0; mode <= 5; ++mode) {
        for (unsigned addSize = 1; addSize <= 4; ++addSize) {
            for (unsigned copySize = 4; copySize <= 6; ++copySize) {
                table.entries[index++] = {kAdd, static_cast<std::uint8_t>(addSize), 0, kCopy,
                                          static_cast<std::uint8_t>(copySize), static_cast<std::uint8_t>(mode)};
            }
        }
    }
    for (unsigned mode = 6; mode <= 8; ++mode) {
        for (unsigned addSize = 1; addSize <= 4; ++addSize) {
            table.entries[index++] = {kAdd, static_cast<std::uint8_t>(addSize), 0, kCopy, 4,
                                      static_cast<std::uint8_t>(mode)};
        }
    }
    for (unsigned mode = 0; mode <= 8; ++mode) {
        table.entries[index++] = {kCopy, 4, static_cast<std::uint8_t>(mode), kAdd, 1, 0};
    }
    return table;
}

const CodeTable& DefaultCodeTable() {
    static const CodeTable table = BuildDefaultCodeTable();
    return table;
}

enum class IntStatus { kOk, kTruncated, kOverflow };

// A base-128 big-endian integer, as VCDIFF writes them, up to 64 bits.
inline IntStatus ReadInteger(LittleEndianReader& cursor, std::uint64_t& value) {
    std::uint64_t result = 0;
    for (;;) {
        std::uint8_t byte = 0;
        if (!cursor.U8(byte)) {
            return IntStatus::kTruncated;
        }
        if (result > (std::numeric_limits<std::uint64_t>::max() >> 7)) {
            return IntStatus::kOverflow;
        }
        result = (result << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    value = result;
    return IntStatus::kOk;
}

std::uint32_t Adler32Of(const std::uint8_t* data, std::size_t size) {
    uLong adler = adler32(0L, Z_NULL, 0);
    constexpr std::size_t kChunk = 1u << 30;
    while (size > 0) {
        const std::size_t part = size < kChunk ? size : kChunk;
        adler = adler32(adler, data, static_cast<uInt>(part));
        data += part;
        size -= part;
    }
    return static_cast<std::uint32_t>(adler);
}

// Copies `size` bytes from `window[from]` to `window[to]`, where from < to, with the meaning of
// copying one byte at a time: when the ranges overlap, the bytes written earlier in this copy
// are read again. The copied region is periodic with period (to - from), so each step can copy
// everything already produced, doubling the step.
inline void CopyWithinWindow(std::uint8_t* window, std::size_t from, std::size_t to, std::size_t size) {
    std::size_t distance = to - from;
    if (distance >= size) {
        std::memcpy(window + to, window + from, size);
        return;
    }
    if (distance == 1) {
        std::memset(window + to, window[from], size);
        return;
    }
    std::uint8_t* dst = window + to;
    const std::uint8_t* src = window + from;
    while (size > 0) {
        const std::size_t step = distance < size ? distance : size;
        std::memcpy(dst, src, step);
        dst += step;
        size -= step;
        distance += step;
    }
}

// A sink that takes unchecked bytes gets them in pieces of at least this size.
constexpr std::size_t kHandOverPiece = 256u << 10;

class Decoder {
public:
    Decoder(const std::uint8_t* source, std::size_t sourceSize, TargetSink& sink, std::uint64_t maxTargetSize)
        : m_source(source), m_sourceSize(sourceSize), m_sink(sink), m_maxTargetSize(maxTargetSize),
          m_progressive(sink.TakesUncheckedBytes()) {}

    VcdiffResult Run(const std::uint8_t* delta, std::size_t deltaSize) {
        VcdiffResult result;
        LittleEndianReader input(delta, deltaSize);
        bool ok = DecodeHeader(input);
        while (ok && !input.AtEnd()) {
            ok = DecodeWindow(input);
            ++m_windowIndex;
        }
        result.ok = ok;
        result.error = ok ? std::string() : m_error;
        result.targetSize = m_produced;
        return result;
    }

private:
    bool Fail(const std::string& message) {
        m_error = "corrupt or unsupported VCDIFF delta: " + message;
        return false;
    }

    bool FailInWindow(const std::string& message) {
        return Fail("window " + std::to_string(m_windowIndex) + " (at byte " + std::to_string(m_windowOffset) +
                    "): " + message);
    }

    bool ReadField(LittleEndianReader& cursor, std::uint64_t& value, const char* what) {
        switch (ReadInteger(cursor, value)) {
        case IntStatus::kOk:
            return true;
        case IntStatus::kTruncated:
            return FailInWindow(std::string("cut short in ") + what);
        case IntStatus::kOverflow:
            return FailInWindow(std::string(what) + " does not fit in 64 bits");
        }
        return false;
    }

    bool DecodeHeader(LittleEndianReader& input) {
        const std::uint8_t* header = nullptr;
        if (!input.Take(5, header)) {
            return Fail("the file is too short for a VCDIFF header");
        }
        if (std::memcmp(header, kMagic, 3) != 0) {
            return Fail("not a VCDIFF file (bad magic bytes)");
        }
        if (header[3] != kMagic[3]) {
            return Fail("unsupported VCDIFF version " + std::to_string(header[3]));
        }
        const std::uint8_t indicator = header[4];
        if (indicator & kHdrDecompress) {
            return Fail("secondary compression is not supported");
        }
        if (indicator & kHdrCodeTable) {
            return Fail("application-defined code tables are not supported");
        }
        if (indicator & ~(kHdrDecompress | kHdrCodeTable | kHdrAppHeader)) {
            return Fail("unknown header indicator bits 0x" + Hex(indicator));
        }
        if (indicator & kHdrAppHeader) {
            // Application data (file names and the like): skipped, it does not affect decoding.
            std::uint64_t length = 0;
            const IntStatus status = ReadInteger(input, length);
            if (status == IntStatus::kTruncated) {
                return Fail("cut short in the application header length");
            }
            const std::uint8_t* skipped = nullptr;
            if (status == IntStatus::kOverflow || !input.Take(length, skipped)) {
                return Fail("application header longer than the file");
            }
        }
        return true;
    }

    static std::string Hex(unsigned value) {
        static const char kDigits[] = "0123456789abcdef";
        std::string text;
        text += kDigits[(value >> 4) & 0xF];
        text += kDigits[value & 0xF];
        return text;
    }

    // Decodes the window at `input`'s position (the caller saw at least one byte remain).
    bool DecodeWindow(LittleEndianReader& input) {
        m_windowOffset = input.Position();
        std::uint8_t indicator = 0;
        input.U8(indicator);
        if (indicator & kWinTarget) {
            return FailInWindow("windows that copy from earlier target data (VCD_TARGET) are not supported");
        }
        if (indicator & ~(kWinSource | kWinTarget | kWinAdler32)) {
            return FailInWindow("unknown window indicator bits 0x" + Hex(indicator));
        }

        std::uint64_t segmentSize = 0;
        std::uint64_t segmentPosition = 0;
        if (indicator & kWinSource) {
            if (!ReadField(input, segmentSize, "the source segment size") ||
                !ReadField(input, segmentPosition, "the source segment position")) {
                return false;
            }
            if (segmentSize > m_sourceSize || segmentPosition > m_sourceSize - segmentSize) {
                return FailInWindow("source segment [" + std::to_string(segmentPosition) + ", +" +
                                    std::to_string(segmentSize) + ") lies outside the " +
                                    std::to_string(m_sourceSize) + "-byte source");
            }
        }

        std::uint64_t deltaLength = 0;
        if (!ReadField(input, deltaLength, "the delta encoding length")) {
            return false;
        }
        LittleEndianReader delta;
        if (!input.Section(deltaLength, delta)) {
            return FailInWindow("cut short: the window needs " + std::to_string(deltaLength) + " bytes, " +
                                std::to_string(input.Remaining()) + " remain");
        }

        std::uint64_t targetLength = 0;
        if (!ReadField(delta, targetLength, "the target window length")) {
            return false;
        }
        if (targetLength > m_maxTargetSize || m_produced > m_maxTargetSize - targetLength) {
            return FailInWindow("the target would exceed the limit of " + std::to_string(m_maxTargetSize) +
                                " bytes");
        }
        std::uint8_t deltaIndicator = 0;
        if (!delta.U8(deltaIndicator)) {
            return FailInWindow("cut short before the delta indicator");
        }
        if (deltaIndicator & kDeltaCompressed) {
            return FailInWindow("secondary compression of the delta sections is not supported");
        }
        if (deltaIndicator != 0) {
            return FailInWindow("unknown delta indicator bits 0x" + Hex(deltaIndicator));
        }

        std::uint64_t dataLength = 0;
        std::uint64_t instLength = 0;
        std::uint64_t addrLength = 0;
        if (!ReadField(delta, dataLength, "the data section length") ||
            !ReadField(delta, instLength, "the instruction section length") ||
            !ReadField(delta, addrLength, "the address section length")) {
            return false;
        }
        std::uint32_t expectedAdler = 0;
        if (indicator & kWinAdler32) {
            const std::uint8_t* adler = nullptr;
            if (!delta.Take(4, adler)) {
                return FailInWindow("cut short in the Adler-32 checksum");
            }
            expectedAdler = (std::uint32_t{adler[0]} << 24) | (std::uint32_t{adler[1]} << 16) |
                            (std::uint32_t{adler[2]} << 8) | std::uint32_t{adler[3]};
        }
        const std::size_t remaining = delta.Remaining();
        if (dataLength > remaining || instLength > remaining - dataLength ||
            addrLength != remaining - dataLength - instLength) {
            return FailInWindow("section lengths do not add up to the delta encoding length");
        }
        LittleEndianReader data, inst, addr; // their lengths add up, as just checked
        delta.Section(dataLength, data);
        delta.Section(instLength, inst);
        delta.Section(addrLength, addr);

        const std::size_t windowSize = static_cast<std::size_t>(targetLength);
        if (windowSize != targetLength) {
            return FailInWindow("the target window is too large for this machine");
        }
        if (!ReserveWindow(windowSize)) {
            return FailInWindow("not enough memory for a target window of " + std::to_string(windowSize) +
                                " bytes");
        }
        m_handed = 0;
        if (!DecodeInstructions(m_source + segmentPosition, static_cast<std::size_t>(segmentSize), windowSize,
                                data, inst, addr)) {
            return false;
        }

        if ((indicator & kWinAdler32) && Adler32Of(m_window.get(), windowSize) != expectedAdler) {
            return FailInWindow("the decoded data does not match the window's Adler-32 checksum");
        }
        return HandOver(windowSize);
    }

    // Hands the window's bytes from m_handed up to `end` to the sink.
    bool HandOver(std::size_t end) {
        if (end == m_handed) {
            return true;
        }
        if (!m_sink.Write(m_window.get() + m_handed, end - m_handed)) {
            m_error = "writing the decoded data failed";
            return false;
        }
        m_produced += end - m_handed;
        m_handed = end;
        return true;
    }

    // Keeps one buffer for all windows, never empty, so its pointer is always valid.
    bool ReserveWindow(std::size_t size) {
        if (size == 0) {
            size = 1;
        }
        if (m_window && size <= m_windowCapacity) {
            return true;
        }
        m_window.reset();
        m_windowCapacity = 0;
        m_window.reset(new (std::nothrow) std::uint8_t[size]);
        if (!m_window) {
            return false;
        }
        m_windowCapacity = size;
        return true;
    }

    // Runs the instructions of one window into m_window. Addresses are positions in the
    // window's string U: the source segment followed by the target window.
    bool DecodeInstructions(const std::uint8_t* segment, std::size_t segmentSize, std::size_t windowSize,
                            LittleEndianReader& data, LittleEndianReader& inst, LittleEndianReader& addr) {
        std::uint64_t nearCache[kNearSlots] = {};
        unsigned nextNear = 0;
        std::uint64_t sameCache[kSameSize] = {};

        const CodeTable& table = DefaultCodeTable();
        std::uint8_t* const out = m_window.get();
        std::size_t written = 0;

        std::uint8_t code = 0;
        while (inst.U8(code)) {
            const CodeEntry& entry = table.entries[code];
            for (int half = 0; half < 2; ++half) {
                const std::uint8_t type = half == 0 ? entry.type1 : entry.type2;
                if (type == kNoop) {
                    continue;
                }
                std::uint64_t size = half == 0 ? entry.size1 : entry.size2;
                if (size == 0 && !ReadField(inst, size, "an instruction size")) {
                    return false;
                }
                if (size > windowSize - written) {
                    return FailInWindow("an instruction writes past the end of the " +
                                        std::to_string(windowSize) + "-byte target window");
                }
                const std::size_t count = static_cast<std::size_t>(size);
                if (type == kAdd) {
                    if (!data.Bytes(out + written, count)) {
                        return FailInWindow("an ADD reads past the end of the data section");
                    }
                } else if (type == kRun) {
                    std::uint8_t byte = 0;
                    if (!data.U8(byte)) {
                        return FailInWindow("a RUN reads past the end of the data section");
                    }
                    std::memset(out + written, byte, count);
                } else {
                    const unsigned mode = half == 0 ? entry.mode1 : entry.mode2;
                    const std::uint64_t here = std::uint64_t{segmentSize} + written;
                    std::uint64_t address = 0;
                    if (mode >= kFirstSameMode) {
                        std::uint8_t slot = 0;
                        if (!addr.U8(slot)) {
                            return FailInWindow("cut short in the address section");
                        }
                        address = sameCache[(mode - kFirstSameMode) * 256 + slot];
                    } else {
                        std::uint64_t value = 0;
                        if (!ReadField(addr, value, "a COPY address")) {
                            return false;
                        }
                        if (mode == kModeSelf) {
                            address = value;
                        } else if (mode == kModeHere) {
                            if (value > here) {
                                return FailInWindow("a COPY address points before the start of the window");
                            }
                            address = here - value;
                        } else {
                            const std::uint64_t base = nearCache[mode - 2];
                            if (value > std::numeric_limits<std::uint64_t>::max() - base) {
                                return FailInWindow("a COPY address does not fit in 64 bits");
                            }
                            address = base + value;
                        }
                    }
                    if (address >= here) {
                        return FailInWindow("a COPY reads from position " + std::to_string(address) +
                                            ", not yet decoded (current position " + std::to_string(here) + ")");
                    }
                    nearCache[nextNear] = address;
                    nextNear = (nextNear + 1) % kNearSlots;
                    sameCache[address % kSameSize] = address;

                    std::size_t from = static_cast<std::size_t>(address);
                    std::size_t toCopy = count;
                    std::size_t to = written;
                    if (from < segmentSize) {
                        const std::size_t fromSource = segmentSize - from < toCopy ? segmentSize - from : toCopy;
                        std::memcpy(out + to, segment + from, fromSource);
                        to += fromSource;
                        toCopy -= fromSource;
                        from = segmentSize;
                    }
                    if (toCopy > 0) {
                        CopyWithinWindow(out, from - segmentSize, to, toCopy);
                    }
                }
                written += count;
                if (m_progressive && written - m_handed >= kHandOverPiece && !HandOver(written)) {
                    return false;
                }
            }
        }
        if (written != windowSize) {
            return FailInWindow("the instructions produce " + std::to_string(written) + " of the " +
                                std::to_string(windowSize) + " bytes of the target window");
        }
        if (!data.AtEnd() || !addr.AtEnd()) {
            return FailInWindow("data or address section has bytes no instruction uses");
        }
        return true;
    }

    const std::uint8_t* m_source;
    std::size_t m_sourceSize;
    TargetSink& m_sink;
    std::uint64_t m_maxTargetSize;
    const bool m_progressive; // the sink takes each window's bytes as they are decoded

    std::unique_ptr<std::uint8_t[]> m_window;
    std::size_t m_handed = 0; // bytes of the current window handed to the sink
    std::size_t m_windowCapacity = 0;
    std::uint64_t m_produced = 0;
    std::size_t m_windowIndex = 0;
    std::size_t m_windowOffset = 0;
    std::string m_error;
};

} // namespace

VcdiffResult DecodeVcdiff(const std::uint8_t* source, std::size_t sourceSize, const std::uint8_t* delta,
                          std::size_t deltaSize, TargetSink& sink, std::uint64_t maxTargetSize) {
    static const std::uint8_t kEmpty = 0;
    if (source == nullptr) {
        source = &kEmpty;
        sourceSize = 0;
    }
    if (delta == nullptr) {
        delta = &kEmpty;
        deltaSize = 0;
    }
    Decoder decoder(source, sourceSize, sink, maxTargetSize);
    return decoder.Run(delta, deltaSize);
}

} // namespace hotfix::engine
