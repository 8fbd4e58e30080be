#pragma once
// Small steps over the engine's file-system port that the transaction and its settling share.
#include "engine/engine_file_system.h"
#include "engine/rtp_format.h"

#include <string>

namespace hotfix::engine {

// The size and SHA-256 of the file at `path`, read through the port.
IoStatus HashFile(EngineFileSystem& fs, const std::string& path, FileDigest& digest);

// What is at `path` (Missing unless the port says otherwise).
IoStatus QueryKind(EngineFileSystem& fs, const std::string& path, PathKind& kind);

// Deletes `path` when it is a file; ok when nothing is there. A directory or a link under the
// name is a failure and stays.
IoStatus DeleteIfPresent(EngineFileSystem& fs, const std::string& path);

} // namespace hotfix::engine
