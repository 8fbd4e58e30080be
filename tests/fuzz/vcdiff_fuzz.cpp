// Fuzzes the VCDIFF decoder. Input: two bytes (little-endian) giving the source length, the
// source (cut to what is there), then the delta.
//
// Beyond "no crash, no out-of-bounds access", it checks the decoder's own promises: a failure
// carries a message, the reported size is what the sink received, the limit holds, and a sink
// that takes unchecked bytes gets the same target and verdict.
#include "engine/vcdiff_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint64_t kMaxTarget = 1u << 20;

class CollectingSink : public hotfix::engine::TargetSink {
public:
    explicit CollectingSink(bool unchecked) : m_unchecked(unchecked) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        if (size == 0) {
            std::abort(); // windows without bytes are not handed over
        }
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    bool TakesUncheckedBytes() const override { return m_unchecked; }
    std::vector<std::uint8_t> bytes;

private:
    bool m_unchecked;
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

    // Once for a sink that takes only checked windows, once for one that takes unchecked bytes:
    // the same verdict, and the first gets a prefix of what the second gets (all of it on success).
    CollectingSink checked(false), unchecked(true);
    const hotfix::engine::VcdiffResult result = hotfix::engine::DecodeVcdiff(
        source.data(), source.size(), delta.data(), delta.size(), checked, kMaxTarget);
    const hotfix::engine::VcdiffResult early = hotfix::engine::DecodeVcdiff(
        source.data(), source.size(), delta.data(), delta.size(), unchecked, kMaxTarget);
    if (result.ok != result.error.empty() || result.targetSize != checked.bytes.size() ||
        result.targetSize > kMaxTarget || early.targetSize != unchecked.bytes.size() || early.ok != result.ok ||
        early.error != result.error || checked.bytes.size() > unchecked.bytes.size() ||
        !std::equal(checked.bytes.begin(), checked.bytes.end(), unchecked.bytes.begin()) ||
        (result.ok && checked.bytes != unchecked.bytes)) {
        std::abort();
    }
    return 0;
}
