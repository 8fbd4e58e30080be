#include "engine/zlib_stream.h"

#include <zlib.h>

#include <algorithm>

namespace hotfix::engine {

namespace {
constexpr std::size_t kInputChunk = 256u << 10;
constexpr std::size_t kOutputChunk = 256u << 10;

struct InflateStream {
    z_stream stream{};
    bool open = false;
    ~InflateStream() {
        if (open) inflateEnd(&stream);
    }
};
} // namespace

bool InflateRange(ReadableFile& file, const ContentRef& content,
                  const std::function<bool(const std::uint8_t*, std::size_t)>& sink, std::string& error,
                  bool& ioFailed) {
    ioFailed = false;
    InflateStream z;
    if (inflateInit(&z.stream) != Z_OK) {
        error = "cannot start decompression";
        return false;
    }
    z.open = true;
    std::vector<std::uint8_t> input(static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, content.storedSize)));
    std::vector<std::uint8_t> output(kOutputChunk);
    std::uint64_t consumed = 0;
    std::uint64_t produced = 0;
    int result = Z_OK;
    bool outputFull = false; // inflate may hold more output without needing input
    while (result != Z_STREAM_END) {
        if (z.stream.avail_in == 0 && !outputFull) {
            if (consumed == content.storedSize) {
                error = "compressed content cut short";
                return false;
            }
            std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), content.storedSize - consumed));
            IoStatus status = file.ReadAt(content.offset + consumed, input.data(), count);
            if (!status.ok) {
                ioFailed = true;
                error = "cannot read the patch file: " + status.message;
                return false;
            }
            consumed += count;
            z.stream.next_in = input.data();
            z.stream.avail_in = static_cast<uInt>(count);
        }
        z.stream.next_out = output.data();
        z.stream.avail_out = static_cast<uInt>(output.size());
        result = inflate(&z.stream, Z_NO_FLUSH);
        if (result == Z_BUF_ERROR) result = Z_OK; // no progress possible: needs more input
        if (result != Z_OK && result != Z_STREAM_END) {
            error = "compressed content is damaged";
            return false;
        }
        std::size_t got = output.size() - z.stream.avail_out;
        outputFull = z.stream.avail_out == 0;
        if (got > content.rawSize - produced) {
            error = "content inflates to more than declared";
            return false;
        }
        produced += got;
        if (got > 0 && !sink(output.data(), got)) {
            error = "output refused";
            return false;
        }
    }
    if (z.stream.avail_in != 0 || consumed != content.storedSize) {
        error = "bytes after the end of compressed content";
        return false;
    }
    if (produced != content.rawSize) {
        error = "content inflates to less than declared";
        return false;
    }
    return true;
}

} // namespace hotfix::engine
