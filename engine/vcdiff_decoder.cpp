#include "engine/vcdiff_decoder.h"

namespace hotfix::engine {

VcdiffResult DecodeVcdiff(const std::uint8_t*, std::size_t, const std::uint8_t*, std::size_t, VcdiffSink&,
                          std::uint64_t) {
    VcdiffResult result;
    result.error = "VCDIFF decoding is not available in this build";
    return result;
}

} // namespace hotfix::engine
