#include "engine/lzma_range_reader.h"

#include <lzma.h>

#include <algorithm>

namespace hotfix::engine {

namespace {
constexpr std::size_t kInputChunk = 64u << 10;
}

struct LzmaRangeReader::Stream {
    lzma_stream lzma = LZMA_STREAM_INIT;
    bool open = false;
    ~Stream() {
        if (open) lzma_end(&lzma);
    }
};

LzmaRangeReader::LzmaRangeReader() : m_stream(new Stream) {}
LzmaRangeReader::~LzmaRangeReader() = default;

bool LzmaRangeReader::Fail(const std::string& message) {
    if (m_error.empty()) m_error = message;
    return false;
}

bool LzmaRangeReader::Open(ReadableFile& file, std::uint64_t offset, std::uint64_t storedSize, std::uint64_t rawSize,
                           std::uint32_t dictionarySize) {
    m_file = &file;
    m_offset = offset;
    m_storedSize = storedSize;
    m_rawSize = rawSize;
    lzma_options_lzma options{};
    options.dict_size = dictionarySize;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret result = lzma_raw_decoder(&m_stream->lzma, filters);
    if (result == LZMA_MEM_ERROR) return Fail("not enough memory for the decompressor");
    if (result != LZMA_OK) return Fail("cannot start the decompressor");
    m_stream->open = true;
    m_input.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, std::max<std::uint64_t>(storedSize, 1))));
    return true;
}

bool LzmaRangeReader::Fill() {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(m_input.size(), m_storedSize - m_consumed));
    if (count == 0) return Fail("compressed stream cut short");
    const IoStatus status = m_file->ReadAt(m_offset + m_consumed, m_input.data(), count);
    if (!status.ok) {
        m_ioFailed = true;
        return Fail("cannot read the patch file: " + status.message);
    }
    m_consumed += count;
    m_stream->lzma.next_in = m_input.data();
    m_stream->lzma.avail_in = count;
    return true;
}

bool LzmaRangeReader::Read(std::uint8_t* out, std::size_t size) {
    if (!m_stream->open || !m_error.empty()) return Fail("decompressor not ready");
    if (size > m_rawSize - m_produced) return Fail("compressed stream holds fewer bytes than needed");
    lzma_stream& z = m_stream->lzma;
    z.next_out = out;
    z.avail_out = size;
    while (z.avail_out > 0) {
        if (m_ended) return Fail("compressed stream ends early");
        if (z.avail_in == 0 && !Fill()) return false;
        const lzma_ret result = lzma_code(&z, LZMA_RUN);
        if (result == LZMA_STREAM_END) {
            m_ended = true;
        } else if (result == LZMA_MEM_ERROR) {
            return Fail("not enough memory for the decompressor");
        } else if (result != LZMA_OK) {
            return Fail("compressed stream is damaged");
        }
    }
    m_produced += size;
    return true;
}

bool LzmaRangeReader::Finish() {
    if (!m_stream->open || !m_error.empty()) return Fail("decompressor not ready");
    if (m_produced != m_rawSize) return Fail("compressed stream not read to its end");
    lzma_stream& z = m_stream->lzma;
    // The end marker may still be ahead of the input: decode on into a byte that must stay empty.
    std::uint8_t spare = 0;
    while (!m_ended) {
        if (z.avail_in == 0 && !Fill()) return false;
        z.next_out = &spare;
        z.avail_out = 1;
        const lzma_ret result = lzma_code(&z, LZMA_RUN);
        if (z.avail_out == 0) return Fail("compressed stream holds more bytes than declared");
        if (result == LZMA_STREAM_END) m_ended = true;
        else if (result != LZMA_OK) return Fail("compressed stream is damaged");
    }
    if (z.avail_in != 0 || m_consumed != m_storedSize) return Fail("bytes after the end of a compressed stream");
    return true;
}

} // namespace hotfix::engine
