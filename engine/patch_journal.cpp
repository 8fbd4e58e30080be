#include "engine/patch_journal.h"

#include "engine/patch_path.h"

#include <cstring>

namespace hotfix::engine {

namespace {

// Layout, little-endian: magic (8), state (4), patch digest (32), directory count (4), each
// directory as length (2) and bytes, then the SHA-256 of everything before it (32).
constexpr char kJournalMagic[8] = {'H', 'F', 'X', 'J', 'R', 'N', 'L', '2'};
constexpr std::size_t kMaxJournalBytes = 16u << 20;
constexpr std::uint64_t kMaxDirectories = 65536;

void Store(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t end) : m_data(data), m_end(end) {}
    bool Integer(int count, std::uint64_t& value) {
        if (m_end - m_position < static_cast<std::size_t>(count)) return false;
        value = 0;
        for (int i = count - 1; i >= 0; --i) value = (value << 8) | m_data[m_position + i];
        m_position += count;
        return true;
    }
    bool Bytes(std::uint8_t* out, std::size_t count) {
        if (m_end - m_position < count) return false;
        std::memcpy(out, m_data + m_position, count);
        m_position += count;
        return true;
    }
    bool SafePath(std::string& text) {
        std::uint64_t length = 0;
        if (!Integer(2, length) || m_end - m_position < length) return false;
        text.assign(reinterpret_cast<const char*>(m_data + m_position), static_cast<std::size_t>(length));
        m_position += static_cast<std::size_t>(length);
        std::string why;
        return IsSafePatchPath(text, why);
    }
    bool AtEnd() const { return m_position == m_end; }

private:
    const std::uint8_t* m_data;
    std::size_t m_end;
    std::size_t m_position = sizeof kJournalMagic;
};

} // namespace

std::string StagedPathOf(const std::string& path) { return path + kStagedSuffix; }
std::string BackupPathOf(const std::string& path) { return path + kBackupSuffix; }

std::vector<std::uint8_t> SerializeJournal(const Journal& journal) {
    std::vector<std::uint8_t> out(kJournalMagic, kJournalMagic + sizeof kJournalMagic);
    Store(out, static_cast<std::uint32_t>(journal.state), 4);
    out.insert(out.end(), journal.patchDigest.begin(), journal.patchDigest.end());
    Store(out, journal.createdDirectories.size(), 4);
    for (const std::string& directory : journal.createdDirectories) {
        Store(out, directory.size(), 2);
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

    Reader reader(data, end);
    std::uint64_t state = 0, count = 0;
    journal = Journal{};
    if (!reader.Integer(4, state) || (state != 1 && state != 2) ||
        !reader.Bytes(journal.patchDigest.data(), journal.patchDigest.size()) || !reader.Integer(4, count) ||
        count > kMaxDirectories)
        return false;
    journal.state = static_cast<JournalState>(state);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string directory;
        if (!reader.SafePath(directory)) return false;
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
