#include "engine/patch_journal.h"

#include "engine/little_endian.h"
#include "engine/patch_path.h"

#include <cstring>

namespace hotfix::engine {

namespace {

// Layout, little-endian: magic (8), state (4), patch digest (32), directory count (4), each
// directory as length (2) and bytes, then the SHA-256 of everything before it (32).
constexpr char kJournalMagic[8] = {'H', 'F', 'X', 'J', 'R', 'N', 'L', '2'};
constexpr std::size_t kMaxJournalBytes = 16u << 20;
constexpr std::uint64_t kMaxDirectories = 65536;

bool ReadSafePath(LittleEndianReader& reader, std::string& text) {
    std::uint16_t length = 0;
    const std::uint8_t* bytes = nullptr;
    if (!reader.U16(length) || !reader.Take(length, bytes)) return false;
    text.assign(reinterpret_cast<const char*>(bytes), length);
    std::string why;
    return IsSafePatchPath(text, why);
}

} // namespace

std::string StagedPathOf(const std::string& path) { return path + kStagedSuffix; }
std::string BackupPathOf(const std::string& path) { return path + kBackupSuffix; }

std::vector<std::uint8_t> SerializeJournal(const Journal& journal) {
    std::vector<std::uint8_t> out(kJournalMagic, kJournalMagic + sizeof kJournalMagic);
    LittleEndianWriter writer(out);
    writer.U32(static_cast<std::uint32_t>(journal.state));
    out.insert(out.end(), journal.patchDigest.begin(), journal.patchDigest.end());
    writer.U32(static_cast<std::uint32_t>(journal.createdDirectories.size()));
    for (const std::string& directory : journal.createdDirectories) {
        writer.U16(static_cast<std::uint16_t>(directory.size()));
        out.insert(out.end(), directory.begin(), directory.end());
    }
    Sha256Digest digest = Sha256Of(out.data(), out.size());
    out.insert(out.end(), digest.begin(), digest.end());
    return out;
}

bool ParseJournal(const std::uint8_t* data, std::size_t size, Journal& journal) {
    if (size < sizeof kJournalMagic + 32 || size > kMaxJournalBytes ||
        std::memcmp(data, kJournalMagic, sizeof kJournalMagic) != 0)
        return false;
    const std::size_t end = size - 32;
    Sha256Digest stored{};
    std::memcpy(stored.data(), data + end, 32);
    if (Sha256Of(data, end) != stored) return false;

    LittleEndianReader reader(data + sizeof kJournalMagic, end - sizeof kJournalMagic);
    std::uint32_t state = 0, count = 0;
    journal = Journal{};
    if (!reader.U32(state) || (state != 1 && state != 2) ||
        !reader.Bytes(journal.patchDigest.data(), journal.patchDigest.size()) || !reader.U32(count) ||
        count > kMaxDirectories)
        return false;
    journal.state = static_cast<JournalState>(state);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string directory;
        if (!ReadSafePath(reader, directory)) return false;
        journal.createdDirectories.push_back(std::move(directory));
    }
    return reader.AtEnd();
}

IoStatus WriteJournal(EngineFileSystem& fs, const Journal& journal) {
    PathKind kind = PathKind::Missing;
    IoStatus status = fs.Query(kJournalTempName, kind);
    if (!status.ok) return status;
    if (kind == PathKind::File && !(status = fs.Delete(kJournalTempName)).ok) return status;
    std::vector<std::uint8_t> bytes = SerializeJournal(journal);
    {
        std::unique_ptr<WritableFile> file;
        if (!(status = fs.CreateNew(kJournalTempName, file)).ok) return status;
        if (!(status = file->Write(bytes.data(), bytes.size())).ok || !(status = file->Flush()).ok) {
            file.reset();
            fs.Delete(kJournalTempName);
            return status;
        }
    }
    status = fs.Rename(kJournalTempName, kJournalName, true);
    if (!status.ok) fs.Delete(kJournalTempName);
    return status;
}

IoStatus FindJournal(EngineFileSystem& fs, const Sha256Digest& patchDigest, JournalFinding& finding,
                     Journal& journal) {
    finding = JournalFinding::None;
    PathKind kind = PathKind::Missing;
    IoStatus status = fs.Query(kJournalName, kind);
    if (!status.ok || kind == PathKind::Missing) return status;
    finding = JournalFinding::Damaged;
    if (kind != PathKind::File) return IoStatus::Success();
    std::unique_ptr<ReadableFile> file;
    if (!(status = fs.OpenRead(kJournalName, file)).ok) return status;
    if (file->Size() > kMaxJournalBytes) return IoStatus::Success();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file->Size()));
    if (!bytes.empty() && !(status = file->ReadAt(0, bytes.data(), bytes.size())).ok) return status;
    if (!ParseJournal(bytes.data(), bytes.size(), journal)) return IoStatus::Success();
    finding = journal.patchDigest == patchDigest ? JournalFinding::Bound : JournalFinding::Foreign;
    return IoStatus::Success();
}

} // namespace hotfix::engine
