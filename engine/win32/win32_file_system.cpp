#include "engine/win32/win32_file_system.h"

#include "engine/patch_path.h"
#include "support/win32/ansi_path.h"
#include "support/win32/final_path.h"
#include "support/win32/held_files.h"

#include <windows.h>

namespace hotfix::engine {

namespace {

using FileHandle = win32::UniqueFile;

// The failure of a BOOL- or handle-returning call: GetLastError, with the system's text.
IoStatus LastError(const std::string& what) {
    DWORD code = ::GetLastError();
    char text[256] = {};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                    text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
    std::string message = what;
    if (length > 0) message += ": " + std::string(text, length);
    return IoStatus::Failure(code, message);
}

class Win32Readable : public ReadableFile {
public:
    Win32Readable(FileHandle handle, std::uint64_t size) : m_handle(std::move(handle)), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }
    IoStatus ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
        auto out = static_cast<char*>(buffer);
        while (size > 0) {
            DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            if (!::ReadFile(m_handle.get(), out, piece, &got, &at)) return LastError("ReadFile");
            if (got == 0) return IoStatus::Failure(ERROR_HANDLE_EOF, "read past the end of the file");
            out += got;
            offset += got;
            size -= got;
        }
        return IoStatus::Success();
    }

    // A copy-on-write view. The engine opens the files it maps without sharing write or delete
    // access, and a mapped file cannot be shortened: its bytes stay as they were read.
    std::uint8_t* MapPrivate() override {
        if (!m_view && m_size > 0 && m_size <= SIZE_MAX) {
            win32::UniqueHandle mapping(::CreateFileMappingA(m_handle.get(), nullptr, PAGE_WRITECOPY, 0, 0, nullptr));
            if (mapping) m_view.reset(::MapViewOfFile(mapping.get(), FILE_MAP_COPY, 0, 0, static_cast<SIZE_T>(m_size)));
        }
        return static_cast<std::uint8_t*>(m_view.get());
    }

private:
    FileHandle m_handle;
    std::uint64_t m_size;
    win32::UniqueView m_view; // a view keeps its mapping alive
};

class Win32Writable : public WritableFile {
public:
    explicit Win32Writable(FileHandle handle) : m_handle(std::move(handle)) {}
    IoStatus Write(const void* data, std::size_t size) override {
        auto in = static_cast<const char*>(data);
        while (size > 0) {
            DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD put = 0;
            if (!::WriteFile(m_handle.get(), in, piece, &put, nullptr)) return LastError("WriteFile");
            if (put == 0) return IoStatus::Failure(ERROR_WRITE_FAULT, "WriteFile wrote nothing");
            in += put;
            size -= put;
        }
        return IoStatus::Success();
    }
    IoStatus Flush() override {
        return ::FlushFileBuffers(m_handle.get()) ? IoStatus::Success() : LastError("FlushFileBuffers");
    }

private:
    FileHandle m_handle;
};


constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

IoStatus Refused(const std::string& path) {
    return IoStatus::Failure(ERROR_ACCESS_DENIED, path + " is a link or lies under one: not touched");
}

bool IsMissing(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

// Sets the attributes of an open handle, keeping its times. Only the bits a file may be given
// this way are passed on.
bool SetHandleAttributes(HANDLE handle, DWORD attributes) {
    constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return false;
    attributes &= kSettable;
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

} // namespace

Win32FileSystem::Win32FileSystem(std::string root) : m_root(std::move(root)) {
    if (!m_root.empty() && !win32::EndsWithSeparatorAnsi(m_root)) m_root += '\\';
}

std::string Win32FileSystem::FullPath(const std::string& path) const { return m_root + path; }

bool Win32FileSystem::Held(const std::vector<std::string>& paths, const std::function<bool()>& attempt) {
    return win32::RetryWhileHeld(paths, attempt, m_waitReport);
}

IoStatus Win32FileSystem::Open() {
    m_rootHandle.reset(::CreateFileA(m_root.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m_rootHandle) return LastError("cannot open the update directory " + m_root);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(m_rootHandle.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return IoStatus::Failure(ERROR_DIRECTORY, "the update directory " + m_root + " is not a directory");
    m_rootFinal = win32::FinalPathOf(m_rootHandle.get());
    if (m_rootFinal.empty()) return LastError("cannot tell where the update directory " + m_root + " lies");
    return IoStatus::Success();
}

IoStatus Win32FileSystem::OpenEntry(const std::string& path, DWORD access, DWORD share, DWORD flags, Found& found,
                                    FileHandle& handle, BY_HANDLE_FILE_INFORMATION& info) {
    found = Found::Missing;
    const std::string full = FullPath(path);
    Held({full}, [&] {
        handle.reset(::CreateFileA(full.c_str(), access, share, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
        return handle.valid();
    });
    if (!handle) {
        const DWORD code = ::GetLastError();
        if (IsMissing(code)) return IoStatus::Success();
        ::SetLastError(code);
        return LastError("cannot open " + path);
    }
    if (!::GetFileInformationByHandle(handle.get(), &info)) return LastError("cannot look at " + path);
    const bool here = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                      win32::IsFinalPathOf(win32::FinalPathOf(handle.get()), m_rootFinal, path);
    found = here ? Found::Here : Found::Elsewhere;
    if (!here) handle.reset();
    return IoStatus::Success();
}

IoStatus Win32FileSystem::HoldDirectory(const std::string& directory) {
    if (directory.empty()) return IoStatus::Success();
    const std::string key = PathKey(directory);
    if (m_held.count(key) != 0) return IoStatus::Success();
    IoStatus status = HoldDirectory(ParentOf(directory));
    if (!status.ok) return status;
    Found found;
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    // No FILE_SHARE_DELETE: while it is held, nobody can rename the directory away.
    status = OpenEntry(directory, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, found, handle, info);
    if (!status.ok) return status;
    if (found == Found::Elsewhere) return Refused(directory);
    if (found == Found::Missing || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return IoStatus::Failure(ERROR_PATH_NOT_FOUND, directory + " is not a directory");
    m_held.emplace(key, std::move(handle));
    return IoStatus::Success();
}

IoStatus Win32FileSystem::HoldParentOf(const std::string& path) { return HoldDirectory(ParentOf(path)); }

IoStatus Win32FileSystem::Query(const std::string& path, PathKind& kind) {
    Found found;
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    IoStatus status = OpenEntry(path, FILE_READ_ATTRIBUTES, kShareAll, 0, found, handle, info);
    if (!status.ok) return status;
    switch (found) {
    case Found::Missing: {
        // Missing here, or missing behind a link higher up: what the parent is decides.
        kind = PathKind::Missing;
        if (ParentOf(path).empty()) return status;
        PathKind parent = PathKind::Missing;
        status = Query(ParentOf(path), parent);
        if (status.ok && parent == PathKind::Link) kind = PathKind::Link;
        return status;
    }
    case Found::Elsewhere: kind = PathKind::Link; return status;
    case Found::Here:
        kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
        return status;
    }
    return status;
}

IoStatus OpenWin32Readable(const std::string& fullPath, std::unique_ptr<ReadableFile>& file) {
    FileHandle handle(::CreateFileA(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) return LastError("cannot open " + fullPath);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.get(), &size)) return LastError("GetFileSizeEx " + fullPath);
    file = std::make_unique<Win32Readable>(std::move(handle), static_cast<std::uint64_t>(size.QuadPart));
    return IoStatus::Success();
}

IoStatus Win32FileSystem::OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) {
    Found found;
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    IoStatus status = OpenEntry(path, GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN, found, handle, info);
    if (!status.ok) return status;
    if (found == Found::Elsewhere) return Refused(path);
    if (found == Found::Missing) return IoStatus::Failure(ERROR_FILE_NOT_FOUND, "cannot open " + path + ": not found");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return IoStatus::Failure(ERROR_ACCESS_DENIED, path + " is a directory");
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    file = std::make_unique<Win32Readable>(std::move(handle), size);
    return IoStatus::Success();
}

IoStatus Win32FileSystem::CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) {
    IoStatus status = HoldParentOf(path);
    if (!status.ok) return status;
    const std::string full = FullPath(path);
    FileHandle handle;
    Held({full}, [&] {
        handle.reset(::CreateFileA(full.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        return handle.valid();
    });
    if (!handle) return LastError("CreateFile " + path);
    if (!win32::IsFinalPathOf(win32::FinalPathOf(handle.get()), m_rootFinal, path)) {
        // Its directory was swapped for a link in the moment before: take back what was made.
        FILE_DISPOSITION_INFO dispose{TRUE};
        ::SetFileInformationByHandle(handle.get(), FileDispositionInfo, &dispose, sizeof dispose);
        return Refused(path);
    }
    file = std::make_unique<Win32Writable>(std::move(handle));
    return IoStatus::Success();
}

IoStatus Win32FileSystem::Rename(const std::string& from, const std::string& to, bool replace) {
    IoStatus status = HoldParentOf(from);
    if (status.ok) status = HoldParentOf(to);
    if (!status.ok) return status;
    Found found;
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!(status = OpenEntry(from, FILE_READ_ATTRIBUTES, kShareAll, 0, found, handle, info)).ok) return status;
    if (found == Found::Elsewhere) return Refused(from);
    if (found == Found::Missing) return IoStatus::Failure(ERROR_FILE_NOT_FOUND, "MoveFileEx " + from + ": not found");
    handle.reset();
    if (replace) {
        // What is replaced must be a file of the directory, and a read-only one loses the flag first.
        if (!(status = OpenEntry(to, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, 0, found, handle, info)).ok)
            return status;
        if (found == Found::Elsewhere) return Refused(to);
        if (found == Found::Here && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            !SetHandleAttributes(handle.get(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY))
            return LastError("cannot clear the read-only attribute of " + to);
        handle.reset();
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    const std::string source = FullPath(from);
    const std::string target = FullPath(to);
    if (!Held({source, target}, [&] { return ::MoveFileExA(source.c_str(), target.c_str(), flags) != FALSE; }))
        return LastError("MoveFileEx " + from + " -> " + to);
    return IoStatus::Success();
}

IoStatus Win32FileSystem::Delete(const std::string& path) {
    Found found;
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    IoStatus status = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, 0, found,
                                handle, info);
    if (!status.ok) return status;
    if (found == Found::Elsewhere) return Refused(path);
    if (found == Found::Missing) return IoStatus::Failure(ERROR_FILE_NOT_FOUND, "DeleteFile " + path + ": not found");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return IoStatus::Failure(ERROR_ACCESS_DENIED, path + " is a directory");
    // A backup keeps the old file's attributes: a read-only one must lose them to go.
    const bool readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetHandleAttributes(handle.get(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY))
        return LastError("cannot clear the read-only attribute of " + path);
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (!Held({FullPath(path)}, [&] {
            return ::SetFileInformationByHandle(handle.get(), FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
        })) {
        IoStatus failure = LastError("DeleteFile " + path);
        if (readOnly) SetHandleAttributes(handle.get(), info.dwFileAttributes);
        return failure;
    }
    return IoStatus::Success();
}

IoStatus Win32FileSystem::MakeDirectory(const std::string& path) {
    IoStatus status = HoldParentOf(path);
    if (!status.ok) return status;
    if (!::CreateDirectoryA(FullPath(path).c_str(), nullptr)) return LastError("CreateDirectory " + path);
    return HoldDirectory(path);
}

IoStatus Win32FileSystem::RemoveEmptyDirectory(const std::string& path) {
    // Our own holds on it, and below it, go first.
    const std::string key = PathKey(path);
    for (auto held = m_held.begin(); held != m_held.end();) {
        if (held->first == key || held->first.compare(0, key.size() + 1, key + "\\") == 0) held = m_held.erase(held);
        else ++held;
    }
    PathKind kind;
    IoStatus status = Query(path, kind);
    if (!status.ok) return status;
    if (kind != PathKind::Directory) return kind == PathKind::Link ? Refused(path) : IoStatus::Failure(ERROR_DIRECTORY, path + " is not a directory");
    const std::string full = FullPath(path);
    if (!Held({full}, [&] { return ::RemoveDirectoryA(full.c_str()) != FALSE; }))
        return LastError("RemoveDirectory " + path);
    return IoStatus::Success();
}

IoStatus Win32FileSystem::ReadAttributes(const std::string& path, std::uint32_t& attributes) {
    Found found;
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    IoStatus status = OpenEntry(path, FILE_READ_ATTRIBUTES, kShareAll, 0, found, handle, info);
    if (!status.ok) return status;
    if (found != Found::Here) return found == Found::Elsewhere ? Refused(path) : IoStatus::Failure(ERROR_FILE_NOT_FOUND, path + ": not found");
    attributes = info.dwFileAttributes & kKeptAttributes;
    return IoStatus::Success();
}

IoStatus Win32FileSystem::WriteAttributes(const std::string& path, std::uint32_t attributes) {
    Found found;
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    IoStatus status = OpenEntry(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, 0, found, handle, info);
    if (!status.ok) return status;
    if (found != Found::Here) return found == Found::Elsewhere ? Refused(path) : IoStatus::Failure(ERROR_FILE_NOT_FOUND, path + ": not found");
    const DWORD wanted = (info.dwFileAttributes & ~kKeptAttributes) | (attributes & kKeptAttributes);
    if (!SetHandleAttributes(handle.get(), wanted)) return LastError("cannot set the attributes of " + path);
    return IoStatus::Success();
}

// GetDiskFreeSpaceExA takes any directory of the volume: the update directory as given (its
// caller's quota counted). "" is the current directory, whose volume NULL names.
IoStatus Win32FileSystem::FreeSpace(std::uint64_t& bytes) {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExA(m_root.empty() ? nullptr : m_root.c_str(), &available, nullptr, nullptr))
        return LastError("cannot tell the free space of " + m_root);
    bytes = available.QuadPart;
    IoStatus status;
    status.message = "the volume of " + (m_root.empty() ? std::string(".") : m_root);
    return status;
}

} // namespace hotfix::engine
