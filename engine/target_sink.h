#pragma once
#include <cstddef>
#include <cstdint>

namespace hotfix::engine {

// Where the new file's bytes go, in order, as they are made: the VCDIFF and match delta decoders
// write into it, and so does staging with whole content. What a decoder can check (a VCDIFF
// window against its Adler-32) reaches the sink checked, unless the sink takes unchecked bytes:
// it then gets them in pieces as they are made (while still in the processor's cache) and checks
// them itself. Either way, what a failed decoding handed over is the sink's to discard.
// Portable, no platform headers.
class TargetSink {
public:
    virtual ~TargetSink() = default;
    // False stops the writer (a decoder's result then says the sink failed).
    virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
    virtual bool TakesUncheckedBytes() const { return false; }
};

} // namespace hotfix::engine
