// Fuzzes the VCDIFF decoder. Input: two bytes (little-endian) giving the source length, the
// source (cut to what is there), then the delta.
//
// Beyond "no crash, no out-of-bounds access", it checks the decoder's own promises: a failure
// carries a message, the reported size is what the sink received, and the limit holds.
#include "engine/vcdiff_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint64_t kMaxTarget = 1u << 20;

class CountingSink : public hotfix::engine::VcdiffSink {
public:
    bool Write(const std::uint8_t* data, std::size_t size) override {
        if (size == 0) {
            std::abort(); // windows without bytes are not handed over
        }
        // Touch the first and last byte so an invalid range shows up under the sanitizer.
        m_checksum += data[0] + data[size - 1];
        m_received += size;
        return true;
    }
    std::uint64_t Received() const { return m_received; }

private:
    std::uint64_t m_received = 0;
    unsigned m_checksum = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    std::size_t sourceSize = data[0] | (std::size_t{data[1]} << 8);
    data += 2;
    size -= 2;
    if (sourceSize > size) {
        sourceSize = size;
    }
    // Copies of their own, so reading past either part is caught.
    const std::vector<std::uint8_t> source(data, data + sourceSize);
    const std::vector<std::uint8_t> delta(data + sourceSize, data + size);

    CountingSink sink;
    const hotfix::engine::VcdiffResult result = hotfix::engine::DecodeVcdiff(
        source.data(), source.size(), delta.data(), delta.size(), sink, kMaxTarget);
    if (result.ok != result.error.empty() || result.targetSize != sink.Received() ||
        result.targetSize > kMaxTarget) {
        std::abort();
    }
    return 0;
}
