#include "engine/win32/win32_file_system.h"

#include "engine/win32/ansi_path.h"
#include "platform/win32/unique_handle.h"

#include <windows.h>

namespace hotfix::engine {

namespace {

using FileHandle = win32::UniqueInvalidable<win32::CloseHandleFn>;

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

private:
    FileHandle m_handle;
    std::uint64_t m_size;
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

} // namespace

Win32FileSystem::Win32FileSystem(std::string root) : m_root(std::move(root)) {
    if (!m_root.empty() && !EndsWithSeparatorAnsi(m_root)) m_root += '\\';
}

std::string Win32FileSystem::FullPath(const std::string& path) const { return m_root + path; }

IoStatus Win32FileSystem::Query(const std::string& path, PathKind& kind) {
    DWORD attributes = ::GetFileAttributesA(FullPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            kind = PathKind::Missing;
            return IoStatus::Success();
        }
        ::SetLastError(code);
        return LastError("GetFileAttributes " + path);
    }
    kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
    return IoStatus::Success();
}

IoStatus OpenWin32Readable(const std::string& fullPath, std::unique_ptr<ReadableFile>& file) {
    FileHandle handle(::CreateFileA(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) return LastError("cannot open " + fullPath);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.get(), &size)) return LastError("GetFileSizeEx " + fullPath);
    file = std::make_unique<Win32Readable>(std::move(handle), static_cast<std::uint64_t>(size.QuadPart));
    return IoStatus::Success();
}

IoStatus Win32FileSystem::OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) {
    return OpenWin32Readable(FullPath(path), file);
}

IoStatus Win32FileSystem::CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) {
    FileHandle handle(::CreateFileA(FullPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return LastError("CreateFile " + path);
    file = std::make_unique<Win32Writable>(std::move(handle));
    return IoStatus::Success();
}

IoStatus Win32FileSystem::Rename(const std::string& from, const std::string& to, bool replace) {
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExA(FullPath(from).c_str(), FullPath(to).c_str(), flags))
        return LastError("MoveFileEx " + from + " -> " + to);
    return IoStatus::Success();
}

IoStatus Win32FileSystem::Delete(const std::string& path) {
    const std::string full = FullPath(path);
    if (::DeleteFileA(full.c_str())) return IoStatus::Success();
    IoStatus failure = LastError("DeleteFile " + path);
    // A backup keeps the old file's attributes: a read-only one must lose them to go.
    DWORD attributes = ::GetFileAttributesA(full.c_str());
    if (failure.code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        ::SetFileAttributesA(full.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        if (::DeleteFileA(full.c_str())) return IoStatus::Success();
        ::SetFileAttributesA(full.c_str(), attributes);
    }
    return failure;
}

IoStatus Win32FileSystem::MakeDirectory(const std::string& path) {
    if (!::CreateDirectoryA(FullPath(path).c_str(), nullptr)) return LastError("CreateDirectory " + path);
    return IoStatus::Success();
}

IoStatus Win32FileSystem::RemoveEmptyDirectory(const std::string& path) {
    if (!::RemoveDirectoryA(FullPath(path).c_str())) return LastError("RemoveDirectory " + path);
    return IoStatus::Success();
}

} // namespace hotfix::engine
