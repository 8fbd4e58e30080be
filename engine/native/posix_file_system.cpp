#include "engine/native/posix_file_system.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace hotfix::engine {

namespace {

IoStatus Errno(const std::string& what) {
    int code = errno;
    return IoStatus::Failure(static_cast<std::uint32_t>(code), what + ": " + std::strerror(code));
}

class PosixReadable : public ReadableFile {
public:
    PosixReadable(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    ~PosixReadable() override {
        if (m_mapped != nullptr) ::munmap(m_mapped, static_cast<std::size_t>(m_size));
        ::close(m_fd);
    }
    PosixReadable(const PosixReadable&) = delete;
    PosixReadable& operator=(const PosixReadable&) = delete;
    std::uint64_t Size() const override { return m_size; }
    // The pages come from the page cache as they are touched, without a copy or a fault per
    // page of a buffer. A file shortened by another process meanwhile would end this process
    // (SIGBUS): this adapter serves the builder, the tests and the benchmarks, on files of the
    // user who runs them.
    std::uint8_t* MapPrivate() override {
        if (m_mapped == nullptr && m_size > 0 && m_size <= SIZE_MAX) {
            void* bytes = ::mmap(nullptr, static_cast<std::size_t>(m_size), PROT_READ | PROT_WRITE, MAP_PRIVATE, m_fd, 0);
            if (bytes != MAP_FAILED) m_mapped = static_cast<std::uint8_t*>(bytes);
        }
        return m_mapped;
    }
    IoStatus ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
        auto out = static_cast<char*>(buffer);
        while (size > 0) {
            ssize_t got = ::pread(m_fd, out, size, static_cast<off_t>(offset));
            if (got < 0) {
                if (errno == EINTR) continue;
                return Errno("read");
            }
            if (got == 0) return IoStatus::Failure(0, "read past the end of the file");
            out += got;
            offset += static_cast<std::uint64_t>(got);
            size -= static_cast<std::size_t>(got);
        }
        return IoStatus::Success();
    }

private:
    int m_fd;
    std::uint64_t m_size;
    std::uint8_t* m_mapped = nullptr;
};

class PosixWritable : public WritableFile {
public:
    explicit PosixWritable(int fd) : m_fd(fd) {}
    ~PosixWritable() override { ::close(m_fd); }
    IoStatus Write(const void* data, std::size_t size) override {
        auto in = static_cast<const char*>(data);
        while (size > 0) {
            ssize_t put = ::write(m_fd, in, size);
            if (put < 0) {
                if (errno == EINTR) continue;
                return Errno("write");
            }
            in += put;
            m_written += static_cast<std::uint64_t>(put);
            size -= static_cast<std::size_t>(put);
        }
        StartWriteBack();
        return IoStatus::Success();
    }
    // Durability comes from fsync alone; the write-back started along the way only means that
    // most of the file is on its way to the disk by then.
    IoStatus Flush() override { return ::fsync(m_fd) == 0 ? IoStatus::Success() : Errno("fsync"); }

private:
    static constexpr std::uint64_t kWriteBackChunk = 8u << 20;

    // Asks the kernel to start writing out each full chunk written, without waiting for it, so
    // that the disk works while the rest of the file is being made. A hint: failures are
    // ignored (the flush reports any).
    void StartWriteBack() {
#ifdef __linux__
        while (m_written - m_started >= kWriteBackChunk) {
            ::sync_file_range(m_fd, static_cast<off_t>(m_started), static_cast<off_t>(kWriteBackChunk),
                              SYNC_FILE_RANGE_WRITE);
            m_started += kWriteBackChunk;
        }
#endif
    }

    int m_fd;
    std::uint64_t m_written = 0;
    std::uint64_t m_started = 0; // write-back was started for the bytes before this offset
};

void SyncDirectoryOf(const std::string& path) {
    std::string directory = path.substr(0, path.rfind('/'));
    int fd = ::open(directory.empty() ? "/" : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::string PosixFileSystem::FullPath(const std::string& path) const {
    std::string native = path;
    for (char& c : native)
        if (c == '\\') c = '/';
    return m_root + "/" + native;
}

IoStatus PosixFileSystem::Query(const std::string& path, PathKind& kind) {
    // Component by component: a symbolic link anywhere below the root makes the path a Link.
    std::string walked;
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find('\\', start);
        walked += (walked.empty() ? "" : "\\") + path.substr(start, end == std::string::npos ? end : end - start);
        struct stat info {};
        if (::lstat(FullPath(walked).c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                kind = PathKind::Missing;
                return IoStatus::Success();
            }
            return Errno("stat " + walked);
        }
        if (S_ISLNK(info.st_mode)) {
            kind = PathKind::Link;
            return IoStatus::Success();
        }
        if (end == std::string::npos) {
            if (S_ISREG(info.st_mode)) kind = PathKind::File;
            else if (S_ISDIR(info.st_mode)) kind = PathKind::Directory;
            else return IoStatus::Failure(0, path + " is neither a file nor a directory");
            return IoStatus::Success();
        }
        start = end + 1;
    }
}

IoStatus OpenPosixReadable(const std::string& fullPath, std::unique_ptr<ReadableFile>& file) {
    int fd = ::open(fullPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Errno("open " + fullPath);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        IoStatus status = Errno("not a regular file: " + fullPath);
        ::close(fd);
        return status;
    }
    file = std::make_unique<PosixReadable>(fd, static_cast<std::uint64_t>(info.st_size));
    return IoStatus::Success();
}

IoStatus PosixFileSystem::OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) {
    return OpenPosixReadable(FullPath(path), file);
}

IoStatus PosixFileSystem::CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) {
    int fd = ::open(FullPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return Errno("create " + path);
    file = std::make_unique<PosixWritable>(fd);
    return IoStatus::Success();
}

IoStatus PosixFileSystem::Rename(const std::string& from, const std::string& to, bool replace) {
    const std::string source = FullPath(from), target = FullPath(to);
    if (replace) {
        if (::rename(source.c_str(), target.c_str()) != 0) return Errno("rename " + from);
    } else {
        // A hard link fails when the target exists: a rename that never replaces.
        if (::link(source.c_str(), target.c_str()) != 0) return Errno("rename " + from);
        if (::unlink(source.c_str()) != 0) return Errno("rename " + from);
    }
    SyncDirectoryOf(target);
    return IoStatus::Success();
}

IoStatus PosixFileSystem::Delete(const std::string& path) {
    if (::unlink(FullPath(path).c_str()) != 0) return Errno("delete " + path);
    return IoStatus::Success();
}

IoStatus PosixFileSystem::MakeDirectory(const std::string& path) {
    if (::mkdir(FullPath(path).c_str(), 0755) != 0) return Errno("mkdir " + path);
    return IoStatus::Success();
}

IoStatus PosixFileSystem::RemoveEmptyDirectory(const std::string& path) {
    if (::rmdir(FullPath(path).c_str()) != 0) return Errno("rmdir " + path);
    return IoStatus::Success();
}

// POSIX trees (the builder's copies) carry no such attributes.
IoStatus PosixFileSystem::ReadAttributes(const std::string&, std::uint32_t& attributes) {
    attributes = 0;
    return IoStatus::Success();
}

IoStatus PosixFileSystem::WriteAttributes(const std::string&, std::uint32_t) { return IoStatus::Success(); }

// The blocks an unprivileged caller may still use (f_bavail), not those kept for root.
IoStatus PosixFileSystem::FreeSpace(std::uint64_t& bytes) {
    struct statvfs volume {};
    if (::statvfs(m_root.c_str(), &volume) != 0) return Errno("statvfs " + m_root);
    bytes = static_cast<std::uint64_t>(volume.f_bavail) * static_cast<std::uint64_t>(volume.f_frsize);
    IoStatus status;
    status.message = "the volume of " + m_root;
    return status;
}

} // namespace hotfix::engine
