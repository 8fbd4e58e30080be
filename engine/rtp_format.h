#pragma once
// The patch-file format (.RTP): reading with every bound checked, and writing. The layout is
// described in docs/rtp-format.md. Portable, no platform headers.
#include "engine/engine_file_system.h"
#include "engine/sha256.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hotfix::engine {

constexpr char kRtpMagic[8] = {'H', 'F', 'X', 'P', 'A', 'T', 'C', 'H'};
constexpr std::uint16_t kRtpFormatVersion = 1;
constexpr std::size_t kRtpHeaderSize = 32;
constexpr std::size_t kRtpDigestSize = 32;

// Bounds of everything a patch file may declare.
constexpr std::uint32_t kMaxEntries = 65536;
constexpr std::uint32_t kMaxEntryTableSize = 16u << 20;
constexpr std::size_t kMaxOldVersions = 32;
constexpr std::uint64_t kMaxFileSize = std::uint64_t(1) << 31; // a target, old or new
// A delta may be this much larger than the file it makes (VCDIFF framing of added data).
constexpr std::uint64_t kDeltaSlack = 1u << 20;

enum class EntryKind : std::uint8_t { Change = 1, Add = 2, Remove = 3 };
// Delta: a deflated VCDIFF delta. MatchDelta: our own approximate-match delta in LZMA2 streams
// (engine/match_delta.h), not deflated.
enum class ContentMethod : std::uint8_t { None = 0, Whole = 1, Delta = 2, MatchDelta = 3 };

struct FileDigest {
    std::uint64_t size = 0;
    Sha256Digest sha{};
    bool operator==(const FileDigest& other) const { return size == other.size && sha == other.sha; }
    bool operator!=(const FileDigest& other) const { return !(*this == other); }
};

// Where the content of a file is in the patch file: `storedSize` bytes at `offset`. Whole and
// Delta: a zlib stream that inflates to exactly `rawSize` bytes (the whole new file, or a VCDIFF
// delta). MatchDelta: a match delta whose `rawSize` is the new file's size.
struct ContentRef {
    ContentMethod method = ContentMethod::None;
    std::uint64_t offset = 0;
    std::uint64_t storedSize = 0;
    std::uint64_t rawSize = 0;
};

// One accepted old version of a file, and how to make the new file from it: Whole content, or a
// Delta or MatchDelta whose source is this old version. (Remove entries carry no content.)
struct OldVersion {
    FileDigest digest;
    ContentRef content;
};

// Change: the file exists in one of `olds` and becomes `target`.
// Add:    the file is absent and becomes `target` from `addContent` (Whole).
// Remove: the file exists in one of `olds` and is deleted; `target` is unused (zero).
struct PatchEntry {
    EntryKind kind = EntryKind::Change;
    std::string path;
    FileDigest target;
    ContentRef addContent;
    std::vector<OldVersion> olds;
};

struct PatchModel {
    std::vector<PatchEntry> entries;
    std::uint64_t fileSize = 0;
    Sha256Digest digest{}; // the file's own digest: what ties a journal to this patch
};

// Reads and checks a whole patch file: header, digest of the whole file (read in full, in
// pieces), entry table, every path (IsSafePatchPath, no two entries naming the same file or one
// naming a directory of another), every content range inside the content area. On failure
// returns false, `model` is unspecified and `error` says what is wrong; `ioFailed` tells a read
// failure apart from a corrupt file.
bool ReadPatch(ReadableFile& file, PatchModel& model, std::string& error, bool& ioFailed);

// Parses from memory, for the fuzzer and the tests.
bool ParsePatchBytes(const std::uint8_t* data, std::size_t size, PatchModel& model, std::string& error);

// Writes a patch file. `entries` are written in the order given (callers sort them); each
// ContentRef's `offset` is, on input, an index into `blobs` (stored contents), and `storedSize`
// is taken from the blob. Blobs may be shared by several references.
std::vector<std::uint8_t> WritePatch(const std::vector<PatchEntry>& entries,
                                     const std::vector<std::vector<std::uint8_t>>& blobs);

// A ReadableFile over bytes in memory (the caller keeps them alive).
class MemoryReadableFile : public ReadableFile {
public:
    MemoryReadableFile(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }
    IoStatus ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

} // namespace hotfix::engine
