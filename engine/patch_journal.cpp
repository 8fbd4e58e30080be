#include "engine/patch_journal.h"

#include "engine/patch_path.h"

#include <cstring>

namespace hotfix::engine {

namespace {
constexpr char kJournalMagic[8] = {'H', 'F', 'X', 'J', 'R', 'N', 'L', '1'};
constexpr std::size_t kMaxJournalBytes = 64u << 20;

void Store(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

class Reader {
public:
    Reader(const std::vector<std::uint8_t>& bytes, std::size_t end) : m_bytes(bytes), m_end(end) {}
    bool Integer(int count, std::uint64_t& value) {
        if (m_end - m_position < static_cast<std::size_t>(count)) return false;
        value = 0;
        for (int i = count - 1; i >= 0; --i) value = (value << 8) | m_bytes[m_position + i];
        m_position += count;
        return true;
    }
    bool Text(std::string& text) {
        std::uint64_t length = 0;
        if (!Integer(2, length) || m_end - m_position < length) return false;
        text.assign(reinterpret_cast<const char*>(m_bytes.data() + m_position), length);
        m_position += length;
        std::string why;
        return IsSafePatchPath(text, why);
    }
    bool Bytes(std::uint8_t* out, std::size_t count) {
        if (m_end - m_position < count) return false;
        std::memcpy(out, m_bytes.data() + m_position, count);
        m_position += count;
        return true;
    }
    bool AtEnd() const { return m_position == m_end; }

private:
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_end;
    std::size_t m_position = 8;
};
} // namespace

std::string StagedPathOf(const std::string& path) { return path + kStagedSuffix; }
std::string BackupPathOf(const std::string& path) { return path + kBackupSuffix; }

std::vector<std::uint8_t> SerializeJournal(const Journal& journal) {
    std::vector<std::uint8_t> out(kJournalMagic, kJournalMagic + sizeof kJournalMagic);
    Store(out, static_cast<std::uint32_t>(journal.state), 4);
    Store(out, journal.records.size(), 4);
    for (const JournalRecord& record : journal.records) {
        Store(out, static_cast<std::uint8_t>(record.action), 1);
        Store(out, record.path.size(), 2);
        out.insert(out.end(), record.path.begin(), record.path.end());
        Store(out, record.newFile.size, 8);
        out.insert(out.end(), record.newFile.sha.begin(), record.newFile.sha.end());
    }
    Store(out, journal.createdDirectories.size(), 4);
    for (const std::string& directory : journal.createdDirectories) {
        Store(out, directory.size(), 2);
        out.insert(out.end(), directory.begin(), directory.end());
    }
    Sha256Digest digest = Sha256Of(out.data(), out.size());
    out.insert(out.end(), digest.begin(), digest.end());
    return out;
}

bool ParseJournal(const std::vector<std::uint8_t>& bytes, Journal& journal) {
    if (bytes.size() < sizeof kJournalMagic + 32 || bytes.size() > kMaxJournalBytes ||
        std::memcmp(bytes.data(), kJournalMagic, sizeof kJournalMagic) != 0)
        return false;
    const std::size_t end = bytes.size() - 32;
    Sha256Digest stored{};
    std::memcpy(stored.data(), bytes.data() + end, 32);
    if (Sha256Of(bytes.data(), end) != stored) return false;

    Reader reader(bytes, end);
    std::uint64_t state = 0, count = 0;
    if (!reader.Integer(4, state) || (state != 1 && state != 2) || !reader.Integer(4, count) || count > kMaxEntries)
        return false;
    journal = Journal{};
    journal.state = static_cast<JournalState>(state);
    for (std::uint64_t i = 0; i < count; ++i) {
        JournalRecord record;
        std::uint64_t action = 0;
        if (!reader.Integer(1, action) || action < 1 || action > 3 || !reader.Text(record.path) ||
            !reader.Integer(8, record.newFile.size) || !reader.Bytes(record.newFile.sha.data(), 32))
            return false;
        record.action = static_cast<JournalAction>(action);
        journal.records.push_back(std::move(record));
    }
    if (!reader.Integer(4, count) || count > kMaxEntries) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string directory;
        if (!reader.Text(directory)) return false;
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

} // namespace hotfix::engine
