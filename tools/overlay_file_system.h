#pragma once
// The engine's file-system port over a directory on disk that is never written: whatever the
// engine changes (staged files, backups, the journal, renames, deletions) lives in memory over
// it. The patch builder's verification applies a patch to an old tree this way, so it neither
// copies the tree nor waits for the disk: nothing is flushed, since nothing here must outlive
// the process. Memory grows by the files the engine writes, not by the tree.
#include "engine/engine_file_system.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hotfix::tools {

class OverlayFileSystem : public engine::EngineFileSystem {
public:
    // Lists `root` (files and directories; anything else is refused by the builder's scan
    // before this is reached). Throws std::runtime_error when it cannot be listed.
    explicit OverlayFileSystem(const std::string& root);

    engine::IoStatus Query(const std::string& path, engine::PathKind& kind) override;
    engine::IoStatus OpenRead(const std::string& path, std::unique_ptr<engine::ReadableFile>& file) override;
    engine::IoStatus CreateNew(const std::string& path, std::unique_ptr<engine::WritableFile>& file) override;
    engine::IoStatus Rename(const std::string& from, const std::string& to, bool replace) override;
    engine::IoStatus Delete(const std::string& path) override;
    engine::IoStatus MakeDirectory(const std::string& path) override;
    engine::IoStatus RemoveEmptyDirectory(const std::string& path) override;
    engine::IoStatus ReadAttributes(const std::string& path, std::uint32_t& attributes) override;
    engine::IoStatus WriteAttributes(const std::string& path, std::uint32_t attributes) override;
    // What the engine writes lives in memory, so no volume limits it: as much as can be counted.
    engine::IoStatus FreeSpace(std::uint64_t& bytes) override;

    // The files there are now, by '\\'-separated path, and the bytes of one of them (read from
    // disk when the engine did not write it). False when `path` is not a file.
    std::vector<std::string> Files() const;
    bool Contents(const std::string& path, std::vector<std::uint8_t>& bytes) const;

private:
    struct Node {
        bool directory = false;
        std::string diskPath;                                // a file as it is on disk, or
        std::shared_ptr<std::vector<std::uint8_t>> written;  // a file the engine wrote
    };
    bool ParentIsDirectory(const std::string& path) const;

    std::map<std::string, Node> m_nodes; // every path below the root
};

} // namespace hotfix::tools
