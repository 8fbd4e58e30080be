// Benchmark helper of the patch engine, built natively and (as bench_apply.exe, run under
// Wine) with the Win32 file system.
//   bench_apply --make-pair MIB OLD NEW   writes a synthetic pair: OLD of MIB mebibytes of
//                                         semi-compressible data, NEW with scattered edits
//                                         (changed, inserted and deleted runs every ~64 KiB)
//   bench_apply DIR PATCH                 applies PATCH to the update directory DIR with the
//                                         engine's core and prints the outcome, the wall time,
//                                         the peak resident memory (natively) and where the
//                                         time went: read, write, flush and the other calls
//                                         of the file system, the rest being computed (hash
//                                         and decode; "hash" is what hashing old + new costs
//                                         at this machine's rate, measured here)
//   bench_apply --copy DIR FROM TO        copies FROM to a new TO in DIR through the same file
//                                         system and flushes it: the peer of the apply
#include "engine/patch_apply.h"
#include "engine/sha256.h"
#include "tests/bench/timed_file_system.h"

#ifdef _WIN32
#include "engine/win32/win32_file_system.h"
#else
#include "engine/native/posix_file_system.h"
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

using namespace hotfix::engine;
using hotfix::bench::IoTimes;
using hotfix::bench::TimedFileSystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long PeakResidentKib() {
#ifdef _WIN32
    return 0; // not measured under Wine
#else
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

#ifdef _WIN32
struct FileSystem {
    explicit FileSystem(const char* root) : port(root) { status = port.Open(); }
    Win32FileSystem port;
    IoStatus status;
};
IoStatus OpenPatch(const char* path, std::unique_ptr<ReadableFile>& file) { return OpenWin32Readable(path, file); }
#else
struct FileSystem {
    explicit FileSystem(const char* root) : port(root) {}
    PosixFileSystem port;
    IoStatus status;
};
IoStatus OpenPatch(const char* path, std::unique_ptr<ReadableFile>& file) { return OpenPosixReadable(path, file); }
#endif

// This machine's hashing rate in MiB/s: the best of three passes over 16 MiB.
double HashRate() {
    std::vector<std::uint8_t> block(16u << 20, 0x5a);
    double best = 0;
    for (int pass = 0; pass < 3; ++pass) {
        auto start = Clock::now();
        Sha256Of(block.data(), block.size());
        best = std::max(best, 16 / Since(start));
    }
    return best;
}

int Apply(const char* root, const char* patchPath) {
    auto start = Clock::now();
    FileSystem fs(root);
    std::unique_ptr<ReadableFile> patch;
    IoStatus status = fs.status.ok ? OpenPatch(patchPath, patch) : fs.status;
    if (!status.ok) {
        std::fprintf(stderr, "bench_apply: %s\n", status.message.c_str());
        return 1;
    }
    IoTimes times;
    TimedFileSystem timed(fs.port, times);
    hotfix::bench::TimedReadable timedPatch(std::move(patch), times);
    ApplyListener quiet;
    ApplyResult result = ApplyPatch(timed, timedPatch, quiet);
    const double seconds = Since(start);
    const long peak = PeakResidentKib();
    const double io = times.read + times.write + times.flush + times.other;
    std::printf("outcome %d (%s) seconds %.3f peak_rss_kib %ld read %.3f write %.3f flush %.3f other %.3f "
                "compute %.3f read_mib %.1f written_mib %.1f hash_mib_per_s %.0f\n",
                static_cast<int>(result.outcome), OutcomeName(result.outcome), seconds, peak, times.read, times.write,
                times.flush, times.other, seconds - io, times.readBytes / 1048576.0, times.writtenBytes / 1048576.0, HashRate());
    return result.outcome == ApplyOutcome::Applied ? 0 : 1;
}

int Copy(const char* root, const char* from, const char* to) {
    auto start = Clock::now();
    FileSystem fs(root);
    std::unique_ptr<ReadableFile> in;
    std::unique_ptr<WritableFile> out;
    IoStatus status = fs.status;
    if (status.ok) status = fs.port.OpenRead(from, in);
    if (status.ok) status = fs.port.CreateNew(to, out);
    std::vector<std::uint8_t> chunk(1u << 20);
    for (std::uint64_t at = 0; status.ok && at < in->Size();) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), in->Size() - at));
        status = in->ReadAt(at, chunk.data(), count);
        if (status.ok) status = out->Write(chunk.data(), count);
        at += count;
    }
    if (status.ok) status = out->Flush();
    if (!status.ok) {
        std::fprintf(stderr, "bench_apply: %s\n", status.message.c_str());
        return 1;
    }
    std::printf("seconds %.3f\n", Since(start));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--make-pair") {
        std::mt19937 random(20140707);
        std::string old = MakeOld(static_cast<std::size_t>(std::strtoul(argv[2], nullptr, 10)) << 20, random);
        std::string next = MakeNew(old, random);
        return WriteAll(argv[3], old) && WriteAll(argv[4], next) ? 0 : 1;
    }
    if (argc == 5 && std::string(argv[1]) == "--copy") return Copy(argv[2], argv[3], argv[4]);
    if (argc == 3) return Apply(argv[1], argv[2]);
    std::fprintf(stderr, "usage: bench_apply --make-pair MIB OLD NEW | bench_apply DIR PATCH | "
                         "bench_apply --copy DIR FROM TO\n");
    return 2;
}
