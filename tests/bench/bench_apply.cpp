// Benchmark helper of the patch engine (native).
//   bench_apply --make-pair MIB OLD NEW   writes a synthetic pair: OLD of MIB mebibytes of
//                                         semi-compressible data, NEW with scattered edits
//                                         (changed, inserted and deleted runs every ~64 KiB)
//   bench_apply DIR PATCH                 applies PATCH to the update directory DIR with the
//                                         engine's core and prints the outcome, the wall time
//                                         and the peak resident memory (getrusage)
#include "engine/native/posix_file_system.h"
#include "engine/patch_apply.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>

namespace {

std::string MakeOld(std::size_t size, std::mt19937& random) {
    static const char* const kWords[] = {"mov", "eax", "call", "push", "ret", "jmp", "0x00", "lea", "xor", "int3"};
    std::string bytes;
    bytes.reserve(size + 64);
    while (bytes.size() < size) {
        if (random() % 4 == 0) {
            for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<char>(random()));
        } else {
            bytes += kWords[random() % 10];
            bytes.push_back(static_cast<char>(random() % 8));
        }
    }
    bytes.resize(size);
    return bytes;
}

std::string MakeNew(const std::string& old, std::mt19937& random) {
    std::string bytes;
    bytes.reserve(old.size() + old.size() / 1000);
    std::size_t at = 0;
    while (at < old.size()) {
        std::size_t run = 32768 + random() % 65536;
        if (run > old.size() - at) run = old.size() - at;
        bytes.append(old, at, run);
        at += run;
        switch (random() % 3) {
        case 0: // changed bytes
            for (int i = 0; i < 24 && at < old.size(); ++i, ++at) bytes.push_back(static_cast<char>(random()));
            break;
        case 1: // inserted bytes
            for (int i = 0; i < 40; ++i) bytes.push_back(static_cast<char>(random()));
            break;
        default: // deleted bytes
            at += 32;
            break;
        }
    }
    return bytes;
}

bool WriteAll(const char* path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--make-pair") {
        std::mt19937 random(20140707);
        std::string old = MakeOld(static_cast<std::size_t>(std::strtoul(argv[2], nullptr, 10)) << 20, random);
        std::string next = MakeNew(old, random);
        return WriteAll(argv[3], old) && WriteAll(argv[4], next) ? 0 : 1;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_apply --make-pair MIB OLD NEW | bench_apply DIR PATCH\n");
        return 2;
    }
    using namespace hotfix::engine;
    auto start = std::chrono::steady_clock::now();
    PosixFileSystem fs(argv[1]);
    std::unique_ptr<ReadableFile> patch;
    IoStatus status = OpenPosixReadable(argv[2], patch);
    if (!status.ok) {
        std::fprintf(stderr, "bench_apply: %s\n", status.message.c_str());
        return 1;
    }
    ApplyListener quiet;
    ApplyResult result = ApplyPatch(fs, *patch, quiet);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("outcome %d (%s) seconds %.3f peak_rss_kib %ld\n", static_cast<int>(result.outcome),
                OutcomeName(result.outcome), seconds, usage.ru_maxrss);
    return result.outcome == ApplyOutcome::Applied ? 0 : 1;
}
