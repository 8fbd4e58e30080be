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

inline std::vector<std::uint8_t> BuildWholePatch(const std::vector<FileSpec>& fileSpecs) {
    std::vector<PatchEntry> entries;
    std::vector<std::vector<std::uint8_t>> blobs;
    for (const FileSpec& fileSpec : fileSpecs) {
        PatchEntry entry;
        entry.path = fileSpec.path;
        ContentRef whole;
        if (fileSpec.isNew) {
            entry.target = DigestOf(fileSpec.newContent);
            blobs.push_back(Blob(fileSpec.newContent));
            whole = {ContentMethod::Whole, blobs.size() - 1, 0, fileSpec.newContent.size()};
        }
        entry.kind = fileSpec.olds.empty() ? EntryKind::Add : fileSpec.isNew ? EntryKind::Change : EntryKind::Remove;
        if (entry.kind == EntryKind::Add) entry.addContent = whole;
        for (const std::string& old : fileSpec.olds) entry.olds.push_back({DigestOf(old), fileSpec.isNew ? whole : ContentRef{}});
        entries.push_back(entry);
    }
    return WritePatch(entries, blobs);
}

} // namespace hotfix::engine::testing
