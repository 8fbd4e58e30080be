#include "engine/file_steps.h"

#include <algorithm>
#include <vector>

namespace hotfix::engine {

namespace {
constexpr std::size_t kReadChunk = 1u << 20;
} // namespace

IoStatus HashFile(EngineFileSystem& fs, const std::string& path, FileDigest& digest) {
    std::unique_ptr<ReadableFile> file;
    IoStatus status = fs.OpenRead(path, file);
    if (!status.ok) return status;
    digest.size = file->Size();
    Sha256 hasher;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, digest.size)));
    for (std::uint64_t offset = 0; offset < digest.size;) {
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), digest.size - offset));
        if (!(status = file->ReadAt(offset, chunk.data(), count)).ok) return status;
        hasher.Update(chunk.data(), count);
        offset += count;
    }
    if (!hasher.Ok()) return IoStatus::Failure(0, "hashing failed");
    digest.sha = hasher.Finish();
    return IoStatus::Success();
}

IoStatus QueryKind(EngineFileSystem& fs, const std::string& path, PathKind& kind) {
    kind = PathKind::Missing;
    return fs.Query(path, kind);
}

IoStatus DeleteIfPresent(EngineFileSystem& fs, const std::string& path) {
    PathKind kind;
    IoStatus status = QueryKind(fs, path, kind);
    if (!status.ok || kind == PathKind::Missing) return status;
    if (kind != PathKind::File) return IoStatus::Failure(0, path + " is a directory or a link; it was left alone");
    return fs.Delete(path);
}

} // namespace hotfix::engine
