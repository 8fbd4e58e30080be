#pragma once
// Builds small patch files for the tests, with whole (deflated) content.
#include "engine/rtp_format.h"
#include "engine/sha256.h"
#include "engine/zlib_stream.h"

#include <string>
#include <vector>

namespace hotfix::engine::testing {

// olds empty + isNew: add.  olds + isNew: change.  olds + !isNew: remove.
struct FileSpec {
    std::string path;
    std::vector<std::string> olds;
    bool isNew = true;
    std::string newContent;
};

inline FileDigest DigestOf(const std::string& bytes) {
    return {bytes.size(), Sha256Of(bytes.data(), bytes.size())};
}

inline std::vector<std::uint8_t> Blob(const std::string& bytes) {
    return DeflateBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

inline std::vector<std::uint8_t> BuildWholePatch(const std::vector<FileSpec>& specs) {
    std::vector<PatchEntry> entries;
    std::vector<std::vector<std::uint8_t>> blobs;
    for (const FileSpec& spec : specs) {
        PatchEntry entry;
        entry.path = spec.path;
        ContentRef whole;
        if (spec.isNew) {
            entry.target = DigestOf(spec.newContent);
            blobs.push_back(Blob(spec.newContent));
            whole = {ContentMethod::Whole, blobs.size() - 1, 0, spec.newContent.size()};
        }
        entry.kind = spec.olds.empty() ? EntryKind::Add : spec.isNew ? EntryKind::Change : EntryKind::Remove;
        if (entry.kind == EntryKind::Add) entry.addContent = whole;
        for (const std::string& old : spec.olds) entry.olds.push_back({DigestOf(old), spec.isNew ? whole : ContentRef{}});
        entries.push_back(entry);
    }
    return WritePatch(entries, blobs);
}

} // namespace hotfix::engine::testing
