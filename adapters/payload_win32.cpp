#include "adapters/payload_win32.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/win32/ansi_path.h"
#include "support/win32/final_path.h"

namespace hotfix::win32 {

namespace {

const char kPayloadType[] = "PATCH";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// `directory + name` split at its last separator, as the platform sees it: a directory given
// without its backslash puts the file in that directory's parent, under a longer name. A trail
// byte 0x5C of a double-byte character is no separator.
void SplitPath(const std::string& path, std::string& directory, std::string& name) {
    const std::string::size_type last = LastSeparatorAnsi(path, false);
    directory = last == std::string::npos ? std::string(".\\") : path.substr(0, last + 1);
    name = last == std::string::npos ? path : path.substr(last + 1);
}

bool DeleteThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO dispose{TRUE};
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
}

// True when the file behind `handle` holds exactly `payload`, read through that handle.
bool HoldsExactly(HANDLE handle, const PayloadBytes& payload) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size) || size.QuadPart != static_cast<LONGLONG>(payload.size)) return false;
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(handle, start, nullptr, FILE_BEGIN)) return false;
    std::vector<char> chunk(64 * 1024);
    const char* expected = static_cast<const char*>(payload.data);
    for (std::uint32_t offset = 0; offset < payload.size;) {
        const DWORD wanted = static_cast<DWORD>(std::min<std::uint32_t>(chunk.size(), payload.size - offset));
        DWORD got = 0;
        if (!::ReadFile(handle, chunk.data(), wanted, &got, nullptr) || got != wanted) return false;
        if (std::memcmp(chunk.data(), expected + offset, got) != 0) return false;
        offset += got;
    }
    return true;
}

} // namespace

Win32PayloadPlatform::Win32PayloadPlatform(HMODULE module)
    : m_module(module ? module : ::GetModuleHandleA(nullptr)) {}

std::optional<PayloadBytes> Win32PayloadPlatform::LockPayload(const std::string& name) {
    // The lookup by name ignores letter case: "patch.exe" finds "PATCH.EXE".
    HRSRC resource = ::FindResourceA(m_module, name.c_str(), kPayloadType);
    if (!resource) return std::nullopt;
    const DWORD size = ::SizeofResource(m_module, resource);
    HGLOBAL loaded = ::LoadResource(m_module, resource);
    if (!loaded) return std::nullopt;
    // Resource memory stays mapped for the life of the module: nothing is unlocked or freed.
    const void* data = ::LockResource(loaded);
    if (!data) return std::nullopt;
    return PayloadBytes{data, size};
}

Win32PayloadPlatform::HeldDirectory* Win32PayloadPlatform::Directory(const std::string& directory) {
    auto found = m_directories.find(directory);
    if (found != m_directories.end()) return &found->second;
    // The directory itself may lie behind links (a junction to another drive, say): only what
    // is below it is checked. No FILE_SHARE_DELETE: nobody renames it while it is held.
    HeldDirectory held;
    held.handle.reset(::CreateFileA(directory.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!held.handle) return nullptr;
    held.finalPath = FinalPathOf(held.handle.get());
    if (held.finalPath.empty()) return nullptr;
    return &m_directories.emplace(directory, std::move(held)).first->second;
}

void Win32PayloadPlatform::ReleaseIdle(const std::string& directory) {
    auto found = m_directories.find(directory);
    if (found != m_directories.end() && found->second.files <= 0) m_directories.erase(found);
}

bool Win32PayloadPlatform::IsWhereNamed(HANDLE handle, const std::string& directory, const std::string& name) {
    HeldDirectory* held = Directory(directory);
    BY_HANDLE_FILE_INFORMATION info{};
    return held != nullptr && ::GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           IsFinalPathOf(FinalPathOf(handle), held->finalPath, name);
}

bool Win32PayloadPlatform::ClearTarget(const std::string& givenDirectory, const std::string& givenName) {
    const std::string path = givenDirectory + givenName;
    std::string directory, name;
    SplitPath(path, directory, name);
    bool cleared = false;
    {
        // The entry itself: a link at the name is opened as the link, not as what it names.
        UniqueFile entry;
        RetryWhileHeld({path}, [&] {
            entry.reset(::CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr));
            return entry.valid();
        }, m_waitReport);
        if (!entry) {
            const DWORD code = ::GetLastError();
            cleared = code == ERROR_FILE_NOT_FOUND;
        } else {
            BY_HANDLE_FILE_INFORMATION info{};
            HeldDirectory* held = Directory(directory);
            const bool link = ::GetFileInformationByHandle(entry.get(), &info) &&
                              (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            // A link opened as itself has its own path; one that was followed (Wine's Unix
            // links) leads elsewhere and is left alone, like a directory.
            const bool here = held != nullptr && IsFinalPathOf(FinalPathOf(entry.get()), held->finalPath, name);
            const bool directoryEntry = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link;
            if (here && !directoryEntry) {
                // A read-only entry loses the flag to go, unless it has other names: they may lie
                // outside, and the flag belongs to the file, not to this name (its removal then
                // fails and the run ends without placing anything).
                if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 && info.nNumberOfLinks == 1) {
                    FILE_BASIC_INFO basic{};
                    if (::GetFileInformationByHandleEx(entry.get(), FileBasicInfo, &basic, sizeof basic)) {
                        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
                        ::SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic);
                    }
                }
                cleared = RetryWhileHeld({path}, [&] { return DeleteThrough(entry.get()); }, m_waitReport);
            }
        }
    }
    ReleaseIdle(directory);
    // Deleted when our handle closed, unless someone else still holds it open: then it stands.
    return cleared && ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool Win32PayloadPlatform::WriteTarget(const std::string& givenDirectory, const std::string& givenName,
                                       const PayloadBytes& payload) {
    const std::string path = givenDirectory + givenName;
    std::string directory, name;
    SplitPath(path, directory, name);
    bool written = false;
    {
        UniqueFile target;
        RetryWhileHeld({path}, [&] {
            target.reset(::CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            return target.valid();
        }, m_waitReport);
        if (target) {
            DWORD count = 0;
            written = IsWhereNamed(target.get(), directory, name) &&
                      ::WriteFile(target.get(), payload.data, payload.size, &count, nullptr) && count == payload.size;
            if (!written) DeleteThrough(target.get());
            else written = ::CloseHandle(target.release()) != FALSE;
        }
    }
    ReleaseIdle(directory);
    return written;
}

bool Win32PayloadPlatform::HoldTarget(const std::string& givenDirectory, const std::string& givenName,
                                      const PayloadBytes& payload) {
    const std::string path = givenDirectory + givenName;
    std::string directory, name;
    SplitPath(path, directory, name);
    // Others may read it, load it and run it; nobody may write, rename or delete it.
    // A scanner reading the file just written may keep it from being opened so for a moment.
    UniqueFile held;
    RetryWhileHeld({path}, [&] {
        held.reset(::CreateFileA(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        return held.valid();
    }, m_waitReport);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = held && ::GetFileInformationByHandle(held.get(), &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && info.nNumberOfLinks == 1 &&
                    IsWhereNamed(held.get(), directory, name) && HoldsExactly(held.get(), payload);
    if (!ok) {
        held.reset();
        ReleaseIdle(directory);
        return false;
    }
    m_held[path] = std::move(held);
    ++Directory(directory)->files;
    return true;
}

std::uint32_t Win32PayloadPlatform::DeleteHeld(const std::string& givenDirectory, const std::string& givenName) {
    const std::string path = givenDirectory + givenName;
    std::string directory, name;
    SplitPath(path, directory, name);
    auto found = m_held.find(path);
    if (found == m_held.end()) return ERROR_FILE_NOT_FOUND;
    if (!RetryWhileHeld({path}, [&] { return DeleteThrough(found->second.get()); }, m_waitReport))
        return ::GetLastError();
    m_held.erase(found);
    auto held = m_directories.find(directory);
    if (held != m_directories.end()) --held->second.files;
    ReleaseIdle(directory);
    return 0;
}

} // namespace hotfix::win32
