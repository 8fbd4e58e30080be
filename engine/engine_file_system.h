#pragma once
// The file-system port of the patch engine. The engine's core decides; an adapter (Win32, POSIX,
// or the in-memory fake of the tests) does exactly the one operation asked and says whether it
// happened. Portable: std types only.
//
// Paths given to an EngineFileSystem are relative to the update directory the adapter is rooted
// at, with components separated by '\\' ("bin\\app.dll"). The core validates every path that
// comes from a patch file before it reaches the port.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hotfix::engine {

// The outcome of one operation. `code` is the platform's error code (GetLastError, errno) when
// the operation failed, 0 when it did not come from the platform; `message` says what failed.
struct IoStatus {
    bool ok = true;
    std::uint32_t code = 0;
    std::string message;

    static IoStatus Success() { return {}; }
    static IoStatus Failure(std::uint32_t errorCode, std::string text) { return {false, errorCode, std::move(text)}; }
};

// A file open for reading. ReadAt reads exactly `size` bytes at `offset` or fails (a short file
// is a failure).
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    virtual std::uint64_t Size() const = 0;
    virtual IoStatus ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
    // The whole file mapped into memory as a private copy: its bytes may be changed here and no
    // change reaches the file. Valid while the file stays open. nullptr where the adapter maps
    // nothing, the file is empty or the mapping failed: then the file is read instead.
    virtual std::uint8_t* MapPrivate() { return nullptr; }
};

// A file being written, sequentially. Flush makes the bytes written so far durable before it
// returns. Destroying it closes the file (without a flush).
class WritableFile {
public:
    virtual ~WritableFile() = default;
    virtual IoStatus Write(const void* data, std::size_t size) = 0;
    virtual IoStatus Flush() = 0;
};

// Link: a symbolic link, junction or other reparse point, or an entry reached through one (its
// final path lies elsewhere than its name says). The engine never follows, opens, renames or
// deletes a Link.
enum class PathKind { Missing, File, Directory, Link };

// The attributes a replaced file keeps, as the platform's bits (FILE_ATTRIBUTE_*).
constexpr std::uint32_t kAttributeReadOnly = 0x1;
constexpr std::uint32_t kAttributeHidden = 0x2;
constexpr std::uint32_t kAttributeSystem = 0x4;
constexpr std::uint32_t kAttributeArchive = 0x20;
constexpr std::uint32_t kAttributeNotContentIndexed = 0x2000;
constexpr std::uint32_t kKeptAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                          kAttributeArchive | kAttributeNotContentIndexed;

// Every operation acts on the entry named, inside the update directory, and never through a link:
// an adapter checks where each name really leads (on Win32 the final path of the handle it
// opened) and refuses, changing nothing, anything that is a Link or lies under one.
class EngineFileSystem {
public:
    virtual ~EngineFileSystem() = default;

    // What is at `path`. A failure means the question could not be answered (not "missing").
    virtual IoStatus Query(const std::string& path, PathKind& kind) = 0;
    // Opens an existing file for reading; other readers may share it, writers may not.
    virtual IoStatus OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) = 0;
    // Creates a new file; fails when anything exists at `path` already.
    virtual IoStatus CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) = 0;
    // Renames the file `from` to `to` durably (written through before it returns). With
    // `replace` an existing file at `to`, read-only or not, is replaced in the same step;
    // without it an existing `to` fails.
    virtual IoStatus Rename(const std::string& from, const std::string& to, bool replace) = 0;
    // Deletes a file, read-only or not.
    virtual IoStatus Delete(const std::string& path) = 0;
    // Creates one directory (its parent exists); removes an empty directory.
    virtual IoStatus MakeDirectory(const std::string& path) = 0;
    virtual IoStatus RemoveEmptyDirectory(const std::string& path) = 0;
    // The kKeptAttributes bits of a file, and setting them (other bits are left as they are).
    virtual IoStatus ReadAttributes(const std::string& path, std::uint32_t& attributes) = 0;
    virtual IoStatus WriteAttributes(const std::string& path, std::uint32_t attributes) = 0;
    // Free bytes available to this caller on the update directory's volume.
    // On success `message` may name that volume for the user ("the volume of C:\\App\\");
    // on failure `bytes` is unchanged.
    virtual IoStatus FreeSpace(std::uint64_t& bytes) = 0;
};

} // namespace hotfix::engine
