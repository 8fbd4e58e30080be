#pragma once
// Reads one raw LZMA2 stream (no .xz container) that lies in a byte range of the patch file,
// decoding it piece by piece: at most a fixed input buffer and the stream's dictionary are in
// memory. Every read is checked: the stream must give exactly the declared number of bytes and
// end (its end marker) exactly at the end of its range.
#include "engine/engine_file_system.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hotfix::engine {

class LzmaRangeReader {
public:
    LzmaRangeReader();
    ~LzmaRangeReader();
    LzmaRangeReader(const LzmaRangeReader&) = delete;
    LzmaRangeReader& operator=(const LzmaRangeReader&) = delete;

    // Starts decoding `storedSize` bytes of `file` at `offset`, which must decode to exactly
    // `rawSize` bytes with a dictionary of `dictionarySize` bytes. False (and error()) when the
    // decoder cannot be set up.
    bool Open(ReadableFile& file, std::uint64_t offset, std::uint64_t storedSize, std::uint64_t rawSize,
              std::uint32_t dictionarySize);
    // Decodes exactly `size` more bytes into `out`. False when the stream is damaged, ends
    // early, would go past rawSize, or the file cannot be read (ioFailed()).
    bool Read(std::uint8_t* out, std::size_t size);
    // After rawSize bytes: true when the stream ends there and uses its range exactly.
    bool Finish();

    std::uint64_t remaining() const { return m_rawSize - m_produced; }
    const std::string& error() const { return m_error; }
    bool ioFailed() const { return m_ioFailed; }

private:
    bool Fill();
    bool Fail(const std::string& message);

    struct Stream; // the liblzma stream, ended by its destructor
    std::unique_ptr<Stream> m_stream;
    ReadableFile* m_file = nullptr;
    std::uint64_t m_offset = 0;
    std::uint64_t m_storedSize = 0;
    std::uint64_t m_consumed = 0; // bytes of the range read into the input buffer so far
    std::uint64_t m_rawSize = 0;
    std::uint64_t m_produced = 0;
    bool m_ended = false;
    std::vector<std::uint8_t> m_input;
    std::string m_error;
    bool m_ioFailed = false;
};

} // namespace hotfix::engine
