#include "engine/rtp_format.h"

#include "engine/little_endian.h"
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

bool ReadDigest(LittleEndianReader& reader, FileDigest& digest) {
    return reader.U64(digest.size) && reader.Bytes(digest.sha.data(), digest.sha.size());
}

// False when cut short or when the method is unknown.
bool ReadContent(LittleEndianReader& reader, ContentRef& content) {
    std::uint8_t method = 0;
    if (!reader.U8(method) || !reader.U64(content.offset) || !reader.U64(content.storedSize) ||
        !reader.U64(content.rawSize))
        return false;
    content.method = static_cast<ContentMethod>(method);
    return method <= static_cast<std::uint8_t>(ContentMethod::MatchDelta);
}

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

bool ParseEntry(LittleEndianReader& reader, const Layout& layout, PatchEntry& entry, std::string& error) {
    std::uint8_t kind = 0, oldCount = 0;
    std::uint16_t pathLength = 0;
    std::uint32_t reserved = 0;
    if (!reader.U8(kind) || !reader.U8(oldCount) || !reader.U16(pathLength) || !reader.U32(reserved)) {
        error = "entry table cut short";
        return false;
    }
    if (kind < 1 || kind > 3 || reserved != 0) {
        error = "unknown entry kind or reserved bits set";
        return false;
    }
    entry.kind = static_cast<EntryKind>(kind);
    const std::uint8_t* pathBytes = nullptr;
    if (pathLength == 0 || pathLength > kMaxPatchPathLength || !reader.Take(pathLength, pathBytes)) {
        error = "path length out of bounds";
        return false;
    }
    entry.path.assign(reinterpret_cast<const char*>(pathBytes), pathLength);
    std::string why;
    if (!IsSafePatchPath(entry.path, why)) {
        error = "unsafe path in patch file (" + why + ")";
        return false;
    }
    if (!ReadDigest(reader, entry.target)) {
        error = "entry table cut short";
        return false;
    }
    if (entry.kind == EntryKind::Add && !ReadContent(reader, entry.addContent)) {
        error = "entry table cut short or unknown content method";
        return false;
    }
    if (oldCount > kMaxOldVersions) {
        error = "too many old versions";
        return false;
    }
    entry.olds.resize(oldCount);
    for (OldVersion& old : entry.olds) {
        if (!ReadDigest(reader, old.digest) || !ReadContent(reader, old.content)) {
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
    LittleEndianReader reader(table, tableSize);
    model.entries.clear();
    // Every entry takes at least this much: the declared count cannot make us allocate more
    // than the table could describe.
    if (entryCount > tableSize / (kEntryFixedSize + 1 + kDigestRecordSize)) {
        error = "entry count larger than the entry table";
        return false;
    }
    model.entries.resize(entryCount);
    for (PatchEntry& entry : model.entries)
        if (!ParseEntry(reader, layout, entry, error)) return false;
    if (!reader.AtEnd()) {
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
    const auto version = LoadLittleEndian<std::uint16_t>(p + 8);
    if (version != kRtpFormatVersion) {
        error = "unsupported patch format version " + std::to_string(version);
        return false;
    }
    if (LoadLittleEndian<std::uint16_t>(p + 10) != 0 || LoadLittleEndian<std::uint32_t>(p + 28) != 0) {
        error = "unknown flags in the header";
        return false;
    }
    header.entryCount = LoadLittleEndian<std::uint32_t>(p + 12);
    header.fileSize = LoadLittleEndian<std::uint64_t>(p + 16);
    header.tableSize = LoadLittleEndian<std::uint32_t>(p + 24);
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
    std::vector<std::uint8_t> out;
    LittleEndianWriter writer(out);
    auto contentRecord = [&](const ContentRef& content) {
        writer.U8(static_cast<std::uint8_t>(content.method));
        writer.U64(content.offset);
        writer.U64(content.storedSize);
        writer.U64(content.rawSize);
    };
    auto digestRecord = [&](const FileDigest& digest) {
        writer.U64(digest.size);
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

    out.reserve(static_cast<std::size_t>(fileSize));
    out.insert(out.end(), kRtpMagic, kRtpMagic + sizeof kRtpMagic);
    writer.U16(kRtpFormatVersion);
    writer.U16(0);
    writer.U32(static_cast<std::uint32_t>(entries.size()));
    writer.U64(fileSize);
    writer.U32(static_cast<std::uint32_t>(tableSize));
    writer.U32(0);
    for (const PatchEntry& entry : entries) {
        writer.U8(static_cast<std::uint8_t>(entry.kind));
        writer.U8(static_cast<std::uint8_t>(entry.olds.size()));
        writer.U16(static_cast<std::uint16_t>(entry.path.size()));
        writer.U32(0);
        out.insert(out.end(), entry.path.begin(), entry.path.end());
        digestRecord(entry.target);
        if (entry.kind == EntryKind::Add) contentRecord(resolve(entry.addContent));
        for (const OldVersion& old : entry.olds) {
            digestRecord(old.digest);
            contentRecord(resolve(old.content));
        }
    }
    for (const auto& blob : blobs) out.insert(out.end(), blob.begin(), blob.end());
    Sha256Digest digest = Sha256Of(out.data(), out.size());
    out.insert(out.end(), digest.begin(), digest.end());
    return out;
}

} // namespace hotfix::engine
