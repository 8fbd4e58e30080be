#pragma once
// Helpers of the VCDIFF decoder tests: sinks, a writer of hand-made deltas, and a runner of the
// real xdelta3 in a temporary directory.
#include "engine/vcdiff_decoder.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace hotfix::engine::testing {

using Bytes = std::vector<std::uint8_t>;

class CollectingSink : public TargetSink {
public:
    bool Write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        ++writes;
        return true;
    }
    Bytes bytes;
    int writes = 0;
};

class RefusingSink : public TargetSink {
public:
    bool Write(const std::uint8_t*, std::size_t) override { return false; }
};

inline VcdiffResult Decode(const Bytes& source, const Bytes& delta, CollectingSink& sink,
                           std::uint64_t maxTargetSize = UINT64_MAX) {
    return DecodeVcdiff(source.data(), source.size(), delta.data(), delta.size(), sink, maxTargetSize);
}

inline void PutInt(Bytes& out, std::uint64_t value) {
    std::uint8_t groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out.push_back(groups[--count] | 0x80);
    }
    out.push_back(groups[0]);
}

inline Bytes Header(std::uint8_t indicator = 0) { return {0xD6, 0xC3, 0xC4, 0x00, indicator}; }

// One window, written field by field so a test can bend any of them.
struct Window {
    std::uint8_t indicator = 0;
    std::uint64_t segmentSize = 0;
    std::uint64_t segmentPosition = 0;
    std::uint64_t targetLength = 0;
    std::uint8_t deltaIndicator = 0;
    Bytes data, inst, addr;
    bool withAdler = false;
    std::uint32_t adler = 0;

    Window& Checksum(const Bytes& target) {
        withAdler = true;
        indicator |= 0x04;
        adler = static_cast<std::uint32_t>(adler32(adler32(0, nullptr, 0), target.data(),
                                                   static_cast<uInt>(target.size())));
        return *this;
    }

    void AppendTo(Bytes& out) const {
        out.push_back(indicator);
        if (indicator & 0x03) {
            PutInt(out, segmentSize);
            PutInt(out, segmentPosition);
        }
        Bytes body;
        PutInt(body, targetLength);
        body.push_back(deltaIndicator);
        PutInt(body, data.size());
        PutInt(body, inst.size());
        PutInt(body, addr.size());
        if (withAdler) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                body.push_back(static_cast<std::uint8_t>(adler >> shift));
            }
        }
        body.insert(body.end(), data.begin(), data.end());
        body.insert(body.end(), inst.begin(), inst.end());
        body.insert(body.end(), addr.begin(), addr.end());
        PutInt(out, body.size());
        out.insert(out.end(), body.begin(), body.end());
    }
};

inline Bytes Delta(std::initializer_list<Window> windows, std::uint8_t headerIndicator = 0) {
    Bytes out = Header(headerIndicator);
    for (const Window& window : windows) {
        window.AppendTo(out);
    }
    return out;
}

inline Bytes RandomBytes(std::mt19937& rng, std::size_t size) {
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

inline bool XdeltaAvailable() { return std::system("xdelta3 -V >/dev/null 2>&1") == 0; }

// A private directory for one test's files, removed afterwards.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/vcdiff_test_XXXXXX";
        const char* made = mkdtemp(pattern);
        m_path = made ? made : "";
    }
    ~TempDir() {
        if (!m_path.empty()) {
            std::system(("rm -rf '" + m_path + "'").c_str());
        }
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Encodes `target` against `source` (none when `source` is null) with xdelta3, as the patch builder
// does, plus `extraFlags`. Returns false when xdelta3 failed.
inline bool XdeltaEncode(const Bytes* source, const Bytes& target, const std::string& extraFlags, Bytes& delta) {
    TempDir dir;
    WriteFile(dir.File("tgt"), target);
    // Options that take an optional value (-A) are followed by another option, never by a path.
    std::string command = "xdelta3 -e -9 -S none " + extraFlags + " -D -f";
    if (source) {
        WriteFile(dir.File("src"), *source);
        command += " -s '" + dir.File("src") + "'";
    }
    command += " '" + dir.File("tgt") + "' '" + dir.File("out") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    delta = ReadFile(dir.File("out"));
    return true;
}

} // namespace hotfix::engine::testing
