// The decoding benchmark's program.
//   bench_decode SRC DELTA OUT        decodes DELTA against SRC into OUT, as the engine would
//   bench_decode --make-pair MIB SRC TGT
//                                     writes a MIB-MiB source and a target made from it with
//                                     edits scattered through it (deterministic)
#include "engine/vcdiff_decoder.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// A read-only mapping of a whole file (an empty file maps to nothing).
class MappedFile {
public:
    explicit MappedFile(const char* path) {
        m_fd = open(path, O_RDONLY);
        struct stat info{};
        if (m_fd < 0 || fstat(m_fd, &info) != 0) {
            return;
        }
        m_size = static_cast<std::size_t>(info.st_size);
        if (m_size == 0) {
            m_ok = true;
            return;
        }
        void* address = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, m_fd, 0);
        if (address == MAP_FAILED) {
            return;
        }
        m_data = static_cast<const std::uint8_t*>(address);
        m_ok = true;
    }
    ~MappedFile() {
        if (m_data) {
            munmap(const_cast<std::uint8_t*>(m_data), m_size);
        }
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Ok() const { return m_ok; }
    const std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    int m_fd = -1;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_ok = false;
};

class FileSink : public hotfix::engine::TargetSink {
public:
    explicit FileSink(int fd) : m_fd(fd) {}
    bool Write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t written = write(m_fd, data, size);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

private:
    int m_fd;
};

int Decode(const char* sourcePath, const char* deltaPath, const char* outPath) {
    MappedFile source(sourcePath);
    MappedFile delta(deltaPath);
    if (!source.Ok() || !delta.Ok()) {
        std::fprintf(stderr, "bench_decode: cannot read %s or %s\n", sourcePath, deltaPath);
        return 1;
    }
    const int out = open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        std::fprintf(stderr, "bench_decode: cannot create %s\n", outPath);
        return 1;
    }
    FileSink sink(out);
    const hotfix::engine::VcdiffResult result =
        hotfix::engine::DecodeVcdiff(source.Data(), source.Size(), delta.Data(), delta.Size(), sink, UINT64_MAX);
    if (close(out) != 0 || !result.ok) {
        std::fprintf(stderr, "bench_decode: %s\n", result.ok ? "closing the output failed" : result.error.c_str());
        return 1;
    }
    return 0;
}

bool WriteAll(const char* path, const std::vector<std::uint8_t>& bytes) {
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// Source: a mix of random stretches and text-like repetitive stretches, like a program's image.
// Target: the source with about one edit (replace, insert or delete of up to 256 bytes) every
// 64 KiB.
int MakePair(std::size_t mebibytes, const char* sourcePath, const char* targetPath) {
    std::mt19937_64 rng(20240501);
    const std::size_t size = mebibytes << 20;
    std::vector<std::uint8_t> source;
    source.reserve(size);
    static const char kText[] = "push ebp; mov ebp, esp; call [import]; ret; ";
    while (source.size() < size) {
        const std::size_t stretch = 512 + rng() % 8192;
        if (rng() % 3 == 0) {
            for (std::size_t i = 0; i < stretch; ++i) {
                source.push_back(static_cast<std::uint8_t>(kText[(i + rng() % 2) % (sizeof kText - 1)]));
            }
        } else {
            for (std::size_t i = 0; i < stretch; i += 8) {
                const std::uint64_t word = rng();
                for (int k = 0; k < 8; ++k) {
                    source.push_back(static_cast<std::uint8_t>(word >> (8 * k)));
                }
            }
        }
    }
    source.resize(size);

    std::vector<std::uint8_t> target;
    target.reserve(size + size / 256);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t keep = std::min<std::size_t>(size - at, rng() % (128 * 1024));
        target.insert(target.end(), source.begin() + at, source.begin() + at + keep);
        at += keep;
        const std::size_t length = 1 + rng() % 256;
        switch (rng() % 3) {
        case 0: // replace
            at += length;
            [[fallthrough]];
        case 1: // insert
            for (std::size_t i = 0; i < length; ++i) {
                target.push_back(static_cast<std::uint8_t>(rng()));
            }
            break;
        default: // delete
            at += length;
        }
    }
    if (!WriteAll(sourcePath, source) || !WriteAll(targetPath, target)) {
        std::fprintf(stderr, "bench_decode: cannot write the pair\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--make-pair") == 0) {
        return MakePair(std::strtoul(argv[2], nullptr, 10), argv[3], argv[4]);
    }
    if (argc == 4) {
        return Decode(argv[1], argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: bench_decode SRC DELTA OUT\n       bench_decode --make-pair MIB SRC TGT\n");
    return 2;
}
