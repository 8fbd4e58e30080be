#include "tools/vcdiff_encoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

// Last: xdelta3.h sets feature macros of its own. Its configuration comes from the build
// (the same defines the library was compiled with).
extern "C" {
#include <xdelta3/xdelta3.h>
}

namespace hotfix::tools {

namespace {

// Frees whatever the stream allocated, on every path out.
struct Stream {
    xd3_stream stream;
    Stream() { std::memset(&stream, 0, sizeof stream); }
    ~Stream() {
        xd3_free_stream(&stream);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
};

// xdelta3's window limit: larger targets are coded as several windows, as the program does.
constexpr std::size_t kMaxWindow = XD3_DEFAULT_WINSIZE;
constexpr xoff_t kSparseness = 64;

VcdiffEncoding Encode(const std::vector<std::uint8_t>& source, const std::vector<std::uint8_t>& target);

} // namespace

VcdiffEncoding EncodeVcdiff(const std::vector<std::uint8_t>& source, const std::vector<std::uint8_t>& target) {
    // The library fills its instruction code table on first use, unguarded: one encoding under
    // a thread-safe static does that before any two threads can meet there.
    static const bool ready = Encode({1, 2, 3}, {1, 2, 3, 4}).ok;
    (void)ready;
    return Encode(source, target);
}

namespace {

VcdiffEncoding Encode(const std::vector<std::uint8_t>& source, const std::vector<std::uint8_t>& target) {
    VcdiffEncoding encoding;
    if (source.size() > std::numeric_limits<usize_t>::max() / 2 || target.size() > std::numeric_limits<usize_t>::max() / 2) {
        encoding.message = "file too large for VCDIFF";
        return encoding;
    }
    // `-9` is the slow string matcher. The window holds the whole target up to xdelta3's
    // default window size (never below its allocation unit, as the program keeps it). The
    // other buffers are cut to what one window can use, which changes no byte of the output:
    // matching within the target looks back no further than the window anyway, and a window
    // of n bytes makes at most n instructions, so the instruction buffer never fills early.
    const std::size_t window = std::max<std::size_t>(std::min(target.size(), kMaxWindow), XD3_ALLOCSIZE);
    xd3_config config;
    std::memset(&config, 0, sizeof config);
    config.winsize = static_cast<usize_t>(window);
    usize_t lookBack = XD3_ALLOCSIZE; // a power of two, as the library wants
    while (lookBack < window && lookBack < XD3_DEFAULT_SPREVSZ) lookBack *= 2;
    config.sprevsz = lookBack;
    config.iopt_size = static_cast<usize_t>(std::min<std::size_t>(std::min(target.size(), kMaxWindow) + 16, XD3_DEFAULT_IOPT_SIZE));
    config.smatch_cfg = XD3_SMATCH_SLOW;
    config.flags = 0; // no XD3_ADLER32, no secondary compressor
    Stream stream;
    if (xd3_config_stream(&stream.stream, &config) != 0) {
        encoding.message = "xdelta3 refused its configuration";
        return encoding;
    }
    // The whole source is one block in memory: the library never asks for another. An empty
    // source is no source: every byte of the target is then added.
    static const std::uint8_t kNothing = 0;
    xd3_source input;
    std::memset(&input, 0, sizeof input);
    input.blksize = static_cast<usize_t>(source.size());
    input.onblk = static_cast<usize_t>(source.size());
    input.curblk = source.data();
    input.curblkno = 0;
    // The table of source positions is sized from max_winsize. The program sizes it for its
    // default source window (64 MiB) whatever the file, and zeroing that is most of what a
    // small file cost it. Here it is sized for 64 times the source, up to the program's: from
    // 1 MiB up the same table, below it one as sparse as the program's is for such a source,
    // so the matches and the delta are the program's (measured on 4 KiB to 5 MB executables)
    // while a small file's table stays small.
    input.max_winsize = std::max<xoff_t>(std::min<xoff_t>(xoff_t(source.size()) * kSparseness, XD3_DEFAULT_SRCWINSZ),
                                         source.size());
    if (!source.empty() && xd3_set_source_and_size(&stream.stream, &input, source.size()) != 0) {
        encoding.message = "xdelta3 refused the source";
        return encoding;
    }

    const std::uint8_t* next = target.empty() ? &kNothing : target.data();
    std::size_t remaining = target.size();
    auto feed = [&] {
        const std::size_t n = std::min<std::size_t>(remaining, stream.stream.winsize);
        xd3_avail_input(&stream.stream, next, static_cast<usize_t>(n));
        next += n;
        remaining -= n;
    };
    xd3_set_flags(&stream.stream, stream.stream.flags | XD3_FLUSH);
    feed();
    encoding.bytes.reserve(target.size() / 8 + 64);
    for (;;) {
        const int result = xd3_encode_input(&stream.stream);
        if (result == XD3_OUTPUT) {
            encoding.bytes.insert(encoding.bytes.end(), stream.stream.next_out,
                                  stream.stream.next_out + stream.stream.avail_out);
            xd3_consume_output(&stream.stream);
        } else if (result == XD3_INPUT) {
            if (remaining == 0) break;
            feed();
        } else if (result == XD3_GOTHEADER || result == XD3_WINSTART || result == XD3_WINFINISH) {
            continue;
        } else {
            encoding.message = stream.stream.msg != nullptr ? stream.stream.msg : "xdelta3 failed";
            encoding.bytes.clear();
            return encoding;
        }
    }
    if (xd3_close_stream(&stream.stream) != 0) {
        encoding.message = stream.stream.msg != nullptr ? stream.stream.msg : "xdelta3 failed to finish";
        encoding.bytes.clear();
        return encoding;
    }
    encoding.ok = true;
    return encoding;
}

} // namespace

} // namespace hotfix::tools
