// Fuzzes the match delta decoder. Input: two bytes (little-endian) giving the old file's length,
// three giving the new file's, the old file (cut to what is there), then the content.
//
// Beyond "no crash, no out-of-bounds access": a failure carries a message, and a success hands
// the sink exactly the new size.
#include "engine/match_delta.h"
#include "engine/rtp_format.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class CountingSink : public hotfix::engine::TargetSink {
public:
    bool Write(const std::uint8_t* data, std::size_t size) override {
        if (size == 0) std::abort(); // empty writes are not handed over
        m_checksum += data[0] + data[size - 1]; // an invalid range shows up under the sanitizer
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
    if (size < 5) return 0;
    std::size_t oldSize = data[0] | (std::size_t{data[1]} << 8);
    const std::uint64_t newSize = data[2] | (std::uint64_t{data[3]} << 8) | (std::uint64_t{data[4]} << 16);
    data += 5;
    size -= 5;
    if (oldSize > size) oldSize = size;
    // Copies of their own, so reading past either part is caught.
    std::vector<std::uint8_t> old(data, data + oldSize);
    const std::vector<std::uint8_t> content(data + oldSize, data + size);
    hotfix::engine::MemoryReadableFile file(content.data(), content.size());
    CountingSink sink;
    const hotfix::engine::MatchDeltaResult result =
        hotfix::engine::DecodeMatchDelta(file, 0, content.size(), old.data(), old.size(), newSize, sink);
    if (result.ok != result.error.empty() || (result.ok && sink.Received() != newSize) || sink.Received() > newSize)
        std::abort();
    return 0;
}
