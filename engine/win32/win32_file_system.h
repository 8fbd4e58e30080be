#pragma once
// The engine's file-system port over a Win32 directory, with the A functions.
#include "engine/engine_file_system.h"

#include <string>

namespace hotfix::engine {

class Win32FileSystem : public EngineFileSystem {
public:
    // `root`: the update directory, as given ("." or "C:\\Program Files\\App", with or without a
    // trailing backslash).
    explicit Win32FileSystem(std::string root);

    IoStatus Query(const std::string& path, PathKind& kind) override;
    IoStatus OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) override;
    IoStatus CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) override;
    IoStatus Rename(const std::string& from, const std::string& to, bool replace) override;
    IoStatus Delete(const std::string& path) override;
    IoStatus MakeDirectory(const std::string& path) override;
    IoStatus RemoveEmptyDirectory(const std::string& path) override;

    std::string FullPath(const std::string& path) const;

private:
    std::string m_root;
};

// Opens any file by its Win32 path for reading, sharing it with readers only.
IoStatus OpenWin32Readable(const std::string& fullPath, std::unique_ptr<ReadableFile>& file);

} // namespace hotfix::engine
