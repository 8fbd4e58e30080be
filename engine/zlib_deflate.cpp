// The builder's side of the zlib streams, in a file of its own: the engine never compresses,
// and a program that does not call DeflateBytes links none of zlib's compressor.
#include "engine/zlib_stream.h"

#include <zlib.h>

namespace hotfix::engine {

std::vector<std::uint8_t> DeflateBytes(const std::uint8_t* data, std::size_t size) {
    uLongf bound = compressBound(static_cast<uLong>(size));
    std::vector<std::uint8_t> out(bound);
    if (compress2(out.data(), &bound, data, static_cast<uLong>(size), Z_BEST_COMPRESSION) != Z_OK) return {};
    out.resize(bound);
    return out;
}

} // namespace hotfix::engine
