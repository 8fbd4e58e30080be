#include "engine/hashed_streams.h"

#include <algorithm>

namespace hotfix::engine {

namespace {
// Source bytes are hashed in pieces of this size as soon as each is read.
constexpr std::size_t kSourcePiece = 4u << 20;
// A mapped source is hashed in pieces of this size (one that is changed in place read from the
// file through a buffer of this size).
constexpr std::size_t kHashPiece = 1u << 20;
} // namespace

DeltaSource::~DeltaSource() { m_work.WaitFor(m_lastTask); }

IoStatus DeltaSource::Read(EngineFileSystem& fs, const std::string& path, std::uint64_t size, Use use) {
    IoStatus status = fs.OpenRead(path, m_file);
    if (!status.ok) return status;
    if (m_file->Size() != size) {
        m_otherSize = true;
        return IoStatus::Success();
    }
    m_size = static_cast<std::size_t>(size);
    if ((m_bytes = m_file->MapPrivate()) != nullptr) {
        // In pieces, so that work queued before the hashing of this file's end can run between.
        if (use == Use::ChangedInPlace) m_piece.reset(new std::uint8_t[kHashPiece]);
        for (std::size_t at = 0; at < m_size; at += kHashPiece) {
            const std::size_t count = std::min(kHashPiece, m_size - at);
            if (use == Use::AsRead) {
                m_lastTask = m_work.Post([this, at, count] { m_hasher.Update(m_bytes + at, count); });
            } else {
                m_lastTask = m_work.Post([this, at, count] {
                    if (m_hashStatus.ok && (m_hashStatus = m_file->ReadAt(at, m_piece.get(), count)).ok)
                        m_hasher.Update(m_piece.get(), count);
                });
            }
        }
        return IoStatus::Success();
    }
    m_read.reset(new std::uint8_t[m_size == 0 ? 1 : m_size]);
    m_bytes = m_read.get();
    for (std::size_t at = 0; at < m_size;) {
        const std::size_t piece = std::min(kSourcePiece, m_size - at);
        if (!(status = m_file->ReadAt(at, m_bytes + at, piece)).ok) return status;
        const std::uint8_t* bytes = m_bytes + at;
        m_lastTask = m_work.Post([this, bytes, piece] { m_hasher.Update(bytes, piece); });
        at += piece;
    }
    if (use == Use::ChangedInPlace) m_work.WaitFor(m_lastTask);
    return IoStatus::Success();
}

bool DeltaSource::IsVersion(const FileDigest& version) {
    m_work.WaitFor(m_lastTask);
    return !m_otherSize && m_hashStatus.ok && m_size == version.size && m_hasher.Ok() &&
           m_hasher.Finish() == version.sha;
}

StagedWriter::~StagedWriter() { m_work.WaitFor(m_lastTask); }

bool StagedWriter::Write(const std::uint8_t* data, std::size_t size) {
    if (size > m_expected - m_written) {
        m_tooLong = true;
        return false;
    }
    if (!m_status.ok) return false;
    m_written += size;
    while (size > 0) {
        if (m_filled == 0) {
            // This buffer's previous bytes must be hashed before it is filled again.
            m_work.WaitFor(m_hashTask[m_current]);
            if (!m_buffers[m_current]) m_buffers[m_current].reset(new std::uint8_t[kChunk]);
        }
        const std::size_t take = std::min(size, kChunk - m_filled);
        std::copy(data, data + take, m_buffers[m_current].get() + m_filled);
        m_filled += take;
        data += take;
        size -= take;
        if (m_filled == kChunk && !Drain()) return false;
    }
    return true;
}

bool StagedWriter::Drain() {
    if (!m_status.ok || m_filled == 0) return m_status.ok;
    const std::uint8_t* bytes = m_buffers[m_current].get();
    const std::size_t count = m_filled;
    m_lastTask = m_hashTask[m_current] = m_work.Post([this, bytes, count] { m_hasher.Update(bytes, count); });
    m_status = m_file.Write(bytes, count);
    m_current = (m_current + 1) % kBuffers;
    m_filled = 0;
    return m_status.ok;
}

bool StagedWriter::Matches(const FileDigest& target) {
    Drain();
    m_work.WaitFor(m_lastTask);
    return m_status.ok && !m_tooLong && m_written == target.size && m_hasher.Ok() && m_hasher.Finish() == target.sha;
}

} // namespace hotfix::engine
