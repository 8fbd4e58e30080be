#include "engine/rtp_format.h"

#include "engine/match_delta.h"
#include "engine/patch_path.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace hotfix::engine {

namespace {

constexpr std::size_t kContentRecordSize = 1 + 8 + 8 + 8;
constexpr std::size_t kDigestRecordSize = 8 + 32;
constexpr std::size_t kEntryFixedSize = 1 + 1 + 2 + 4;
constexpr std::size_t kHashChunk = 1u << 20;

std::uint64_t Load(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

void Store(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Reads fields from the entry table, never past its end.
class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Take(std::size_t count, const std::uint8_t*& where) {
        if (m_size - m_position < count) return false;
        where = m_data + m_position;
        m_position += count;
        return true;
    }
    bool Integer(int bytes, std::uint64_t& value) {
        const std::uint8_t* p = nullptr;
        if (!Take(static_cast<std::size_t>(bytes), p)) return false;
        value = Load(p, bytes);
        return true;
    }
    bool Digest(FileDigest& digest) {
        const std::uint8_t* p = nullptr;
        if (!Integer(8, digest.size) || !Take(32, p)) return false;
        std::memcpy(digest.sha.data(), p, 32);
        return true;
    }
    bool Content(ContentRef& content) {
        std::uint64_t method = 0;
        if (!Integer(1, method) || !Integer(8, content.offset) || !Integer(8, content.storedSize) ||
            !Integer(8, content.rawSize))
            return false;
        content.method = static_cast<ContentMethod>(method);
        return method <= static_cast<std::uint64_t>(ContentMethod::MatchDelta);
    }
    bool AtEnd() const { return m_position == m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

struct Layout {
    std::uint64_t contentBegin = 0;
    std::uint64_t contentEnd = 0;
};

bool CheckContent(const ContentRef& content, const FileDigest& target, const Layout& layout, std::string& error) {
    auto inContentArea = [&] {
        if (content.offset < layout.contentBegin || content.offset > layout.contentEnd ||
            content.storedSize > layout.contentEnd - content.offset) {
            error = "content outside the content area";
            return false;
        }
        return true;
    };
    if (content.method == ContentMethod::MatchDelta) {
        // Not deflated: its own header bounds its streams (checked when it is decoded).
        if (content.rawSize != target.size || content.storedSize < kMatchDeltaHeaderSize) {
            error = "match delta sizes out of bounds";
            return false;
        }
        return inContentArea();
    }
    if (content.method == ContentMethod::Whole) {
        if (content.rawSize != target.size) {
            error = "whole content size differs from the new file size";
            return false;
        }
    } else if (content.method == ContentMethod::Delta) {
        if (content.rawSize == 0 || content.rawSize > target.size + kDeltaSlack) {
            error = "delta size out of bounds";
            return false;
        }
    } else {
        error = "entry without content";
        return false;
    }
    // zlib never expands by more than a few bytes per 16 KiB block.
    std::uint64_t maxStored = content.rawSize + content.rawSize / 256 + 64;
    if (content.storedSize < 2 || content.storedSize > maxStored) {
        error = "compressed size out of bounds";
        return false;
    }
    return inContentArea();
}

bool IsZero(const ContentRef& content) {
    return content.method == ContentMethod::None && content.offset == 0 && content.storedSize == 0 &&
           content.rawSize == 0;
}

bool ParseEntry(Cursor& cursor, const Layout& layout, PatchEntry& entry, std::string& error) {
    std::uint64_t kind = 0, oldCount = 0, pathLength = 0, reserved = 0;
    if (!cursor.Integer(1, kind) || !cursor.Integer(1, oldCount) || !cursor.Integer(2, pathLength) ||
        !cursor.Integer(4, reserved)) {
        error = "entry table cut short";
        return false;
    }
    if (kind < 1 || kind > 3 || reserved != 0) {
        error = "unknown entry kind or reserved bits set";
        return false;
    }
    entry.kind = static_cast<EntryKind>(kind);
    const std::uint8_t* pathBytes = nullptr;
    if (pathLength == 0 || pathLength > kMaxPatchPathLength || !cursor.Take(pathLength, pathBytes)) {
        error = "path length out of bounds";
        return false;
    }
    entry.path.assign(reinterpret_cast<const char*>(pathBytes), pathLength);
    std::string why;
    if (!IsSafePatchPath(entry.path, why)) {
        error = "unsafe path in patch file (" + why + ")";
        return false;
    }
    if (!cursor.Digest(entry.target)) {
        error = "entry table cut short";
        return false;
    }
    if (entry.kind == EntryKind::Add && !cursor.Content(entry.addContent)) {
        error = "entry table cut short or unknown content method";
        return false;
    }
    if (oldCount > kMaxOldVersions) {
        error = "too many old versions";
        return false;
    }
    entry.olds.resize(oldCount);
    for (OldVersion& old : entry.olds) {
        if (!cursor.Digest(old.digest) || !cursor.Content(old.content)) {
            error = "entry table cut short or unknown content method";
            return false;
        }
        if (old.digest.size > kMaxFileSize) {
            error = "old file size out of bounds";
            return false;
        }
    }
    for (std::size_t i = 0; i < entry.olds.size(); ++i)
        for (std::size_t j = i + 1; j < entry.olds.size(); ++j)
            if (entry.olds[i].digest == entry.olds[j].digest) {
                error = "old version listed twice";
                return false;
            }
    switch (entry.kind) {
    case EntryKind::Change:
        if (entry.olds.empty() || entry.target.size > kMaxFileSize) {
            error = "change entry without old versions or with a new size out of bounds";
            return false;
        }
        for (const OldVersion& old : entry.olds)
            if (!CheckContent(old.content, entry.target, layout, error)) return false;
        return true;
    case EntryKind::Add:
        if (!entry.olds.empty() || entry.target.size > kMaxFileSize) {
            error = "add entry with old versions or with a new size out of bounds";
            return false;
        }
        if (entry.addContent.method != ContentMethod::Whole) {
            error = "add entry without whole content";
            return false;
        }
        return CheckContent(entry.addContent, entry.target, layout, error);
    case EntryKind::Remove:
        if (entry.olds.empty() || entry.target != FileDigest{}) {
            error = "remove entry without old versions or with a new file";
            return false;
        }
        for (const OldVersion& old : entry.olds)
            if (!IsZero(old.content)) {
                error = "remove entry with content";
                return false;
            }
        return true;
    }
    return false;
}

// No two entries may name the same file, and no entry may name a directory of another.
bool CheckPathConflicts(const std::vector<PatchEntry>& entries, std::string& error) {
    std::set<std::string> keys;
    for (const PatchEntry& entry : entries) {
        if (!keys.insert(PathKey(entry.path)).second) {
            error = "two entries name the same file: " + entry.path;
            return false;
        }
    }
    for (const PatchEntry& entry : entries) {
        std::string parent = ParentOf(PathKey(entry.path));
        while (!parent.empty()) {
            if (keys.count(parent) != 0) {
                error = "an entry names a directory of another entry: " + entry.path;
                return false;
            }
            parent = ParentOf(parent);
        }
    }
    return true;
}

bool ParseTable(const std::uint8_t* table, std::size_t tableSize, std::uint32_t entryCount, const Layout& layout,
                PatchModel& model, std::string& error) {
    Cursor cursor(table, tableSize);
    model.entries.clear();
    // Every entry takes at least this much: the declared count cannot make us allocate more
    // than the table could describe.
    if (entryCount > tableSize / (kEntryFixedSize + 1 + kDigestRecordSize)) {
        error = "entry count larger than the entry table";
        return false;
    }
    model.entries.resize(entryCount);
    for (PatchEntry& entry : model.entries)
        if (!ParseEntry(cursor, layout, entry, error)) return false;
    if (!cursor.AtEnd()) {
        error = "bytes after the last entry";
        return false;
    }
    return CheckPathConflicts(model.entries, error);
}

struct Header {
    std::uint32_t entryCount = 0;
    std::uint64_t fileSize = 0;
    std::uint32_t tableSize = 0;
};

bool ParseHeader(const std::uint8_t* p, std::uint64_t actualSize, Header& header, std::string& error) {
    if (std::memcmp(p, kRtpMagic, sizeof kRtpMagic) != 0) {
        error = "not a patch file (bad magic)";
        return false;
    }
    if (Load(p + 8, 2) != kRtpFormatVersion) {
        error = "unsupported patch format version " + std::to_string(Load(p + 8, 2));
        return false;
    }
    if (Load(p + 10, 2) != 0 || Load(p + 28, 4) != 0) {
        error = "unknown flags in the header";
        return false;
    }
    header.entryCount = static_cast<std::uint32_t>(Load(p + 12, 4));
    header.fileSize = Load(p + 16, 8);
    header.tableSize = static_cast<std::uint32_t>(Load(p + 24, 4));
    if (header.fileSize != actualSize) {
        error = "patch file is truncated or has extra bytes";
        return false;
    }
    if (header.entryCount == 0 || header.entryCount > kMaxEntries) {
        error = "entry count out of bounds";
        return false;
    }
    if (header.tableSize > kMaxEntryTableSize ||
        header.tableSize > actualSize - kRtpHeaderSize - kRtpDigestSize) {
        error = "entry table size out of bounds";
        return false;
    }
    return true;
}

} // namespace

IoStatus MemoryReadableFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
    if (offset > m_size || size > m_size - offset) return IoStatus::Failure(0, "read past the end of the file");
    if (size > 0) std::memcpy(buffer, m_data + offset, size);
    return IoStatus::Success();
}

bool ReadPatch(ReadableFile& file, PatchModel& model, std::string& error, bool& ioFailed) {
    ioFailed = false;
    const std::uint64_t size = file.Size();
    if (size < kRtpHeaderSize + kRtpDigestSize) {
        error = "patch file too short";
        return false;
    }
    auto readAt = [&](std::uint64_t offset, void* buffer, std::size_t count) {
        IoStatus status = file.ReadAt(offset, buffer, count);
        if (!status.ok) {
            ioFailed = true;
            error = "cannot read the patch file: " + status.message;
        }
        return status.ok;
    };
    std::uint8_t headerBytes[kRtpHeaderSize];
    if (!readAt(0, headerBytes, sizeof headerBytes)) return false;
    Header header;
    if (!ParseHeader(headerBytes, size, header, error)) return false;

    // The digest covers everything before it; nothing else is trusted until it matches.
    const std::uint64_t digestOffset = size - kRtpDigestSize;
    Sha256 hasher;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kHashChunk, digestOffset)));
    for (std::uint64_t offset = 0; offset < digestOffset;) {
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), digestOffset - offset));
        if (!readAt(offset, chunk.data(), count)) return false;
        hasher.Update(chunk.data(), count);
        offset += count;
    }
    Sha256Digest stored{};
    if (!readAt(digestOffset, stored.data(), stored.size())) return false;
    if (!hasher.Ok() || hasher.Finish() != stored) {
        error = "patch file digest does not match (damaged file)";
        return false;
    }

    std::vector<std::uint8_t> table(header.tableSize);
    if (!table.empty() && !readAt(kRtpHeaderSize, table.data(), table.size())) return false;
    Layout layout{kRtpHeaderSize + header.tableSize, digestOffset};
    model.fileSize = size;
    model.digest = stored;
    return ParseTable(table.data(), table.size(), header.entryCount, layout, model, error);
}

bool ParsePatchBytes(const std::uint8_t* data, std::size_t size, PatchModel& model, std::string& error) {
    MemoryReadableFile file(data, size);
    bool ioFailed = false;
    return ReadPatch(file, model, error, ioFailed);
}

std::vector<std::uint8_t> WritePatch(const std::vector<PatchEntry>& entries,
                                     const std::vector<std::vector<std::uint8_t>>& blobs) {
    auto contentRecord = [](std::vector<std::uint8_t>& out, const ContentRef& content) {
        Store(out, static_cast<std::uint8_t>(content.method), 1);
        Store(out, content.offset, 8);
        Store(out, content.storedSize, 8);
        Store(out, content.rawSize, 8);
    };
    auto digestRecord = [](std::vector<std::uint8_t>& out, const FileDigest& digest) {
        Store(out, digest.size, 8);
        out.insert(out.end(), digest.sha.begin(), digest.sha.end());
    };
    // Size of the table first: content offsets depend on it.
    std::size_t tableSize = 0;
    for (const PatchEntry& entry : entries) {
        tableSize += kEntryFixedSize + entry.path.size() + kDigestRecordSize;
        if (entry.kind == EntryKind::Add) tableSize += kContentRecordSize;
        tableSize += entry.olds.size() * (kDigestRecordSize + kContentRecordSize);
    }
    std::vector<std::uint64_t> blobOffsets(blobs.size());
    std::uint64_t offset = kRtpHeaderSize + tableSize;
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        blobOffsets[i] = offset;
        offset += blobs[i].size();
    }
    const std::uint64_t fileSize = offset + kRtpDigestSize;
    auto resolve = [&](ContentRef content) {
        if (content.method != ContentMethod::None) {
            std::size_t index = static_cast<std::size_t>(content.offset);
            content.offset = blobOffsets.at(index);
            content.storedSize = blobs.at(index).size();
        }
        return content;
    };

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(fileSize));
    for (char c : kRtpMagic) out.push_back(static_cast<std::uint8_t>(c));
    Store(out, kRtpFormatVersion, 2);
    Store(out, 0, 2);
    Store(out, entries.size(), 4);
    Store(out, fileSize, 8);
    Store(out, tableSize, 4);
    Store(out, 0, 4);
    for (const PatchEntry& entry : entries) {
        Store(out, static_cast<std::uint8_t>(entry.kind), 1);
        Store(out, entry.olds.size(), 1);
        Store(out, entry.path.size(), 2);
        Store(out, 0, 4);
        out.insert(out.end(), entry.path.begin(), entry.path.end());
        digestRecord(out, entry.target);
        if (entry.kind == EntryKind::Add) contentRecord(out, resolve(entry.addContent));
        for (const OldVersion& old : entry.olds) {
            digestRecord(out, old.digest);
            contentRecord(out, resolve(old.content));
        }
    }
    for (const auto& blob : blobs) out.insert(out.end(), blob.begin(), blob.end());
    Sha256Digest digest = Sha256Of(out.data(), out.size());
    out.insert(out.end(), digest.begin(), digest.end());
    return out;
}

} // namespace hotfix::engine
