#pragma once
// The engine's file-system port over a POSIX directory (native builds: the patch builder's
// verification and the benchmarks). '\\' in port paths becomes '/'.
#include "engine/engine_file_system.h"

#include <string>

namespace hotfix::engine {

class PosixFileSystem : public EngineFileSystem {
public:
    explicit PosixFileSystem(std::string root) : m_root(std::move(root)) {}

    IoStatus Query(const std::string& path, PathKind& kind) override;
    IoStatus OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) override;
    IoStatus CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) override;
    IoStatus Rename(const std::string& from, const std::string& to, bool replace) override;
    IoStatus Delete(const std::string& path) override;
    IoStatus MakeDirectory(const std::string& path) override;
    IoStatus RemoveEmptyDirectory(const std::string& path) override;
    IoStatus ReadAttributes(const std::string& path, std::uint32_t& attributes) override;
    IoStatus WriteAttributes(const std::string& path, std::uint32_t attributes) override;
    IoStatus FreeSpace(std::uint64_t& bytes) override;

    std::string FullPath(const std::string& path) const;

private:
    std::string m_root;
};

// Opens any file by its native path, for reading (the patch file).
IoStatus OpenPosixReadable(const std::string& fullPath, std::unique_ptr<ReadableFile>& file);

} // namespace hotfix::engine
