#pragma once
// zlib streams of the patch file: compressing (the builder) and inflating a content range
// piece by piece (the engine), so that no whole content needs to be in memory.
#include "engine/engine_file_system.h"
#include "engine/rtp_format.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hotfix::engine {

// A zlib stream (RFC 1950) of `data`, at the best compression level.
std::vector<std::uint8_t> DeflateBytes(const std::uint8_t* data, std::size_t size);

// Inflates content.storedSize bytes of `file` at content.offset, handing the output to `sink`
// in pieces. Succeeds only when the stream is valid, ends exactly at the end of the range and
// gives exactly content.rawSize bytes. `sink` returning false stops it (error "output refused").
// On a read failure `ioFailed` is set.
bool InflateRange(ReadableFile& file, const ContentRef& content,
                  const std::function<bool(const std::uint8_t*, std::size_t)>& sink, std::string& error,
                  bool& ioFailed);

} // namespace hotfix::engine
