#include "harness/sandbox.h"

#include <atomic>

#include "discovery/version_label.h"
#include "hotfix_definition.h"
#include "adapters/code_page_win32.h"
#include "adapters/version_source_win32.h"
#include "support/multibyte.h"
#include "support/win32/unique_handle.h"

namespace hotfix::testing {

const char kOpenCommandKey[] = HOTFIX_DOCUMENT_OPEN_COMMAND_KEY;
const char kDocumentTypeKey[] = HOTFIX_DOCUMENT_TYPE_KEY;
const char kSandboxRoot[] = "C:\\Program Files\\Veltrix Test\\";

namespace {

// Paths may hold double-byte characters whose trail byte is 0x5C: every search for the
// separator goes through the code page.
std::size_t LastBackslash(const std::string& path) {
    const win32::Win32CodePage codePage;
    return FindLastChar(path, '\\', codePage);
}

// The directory part of `path`, with its trailing backslash ("" when there is none).
std::string ParentOf(const std::string& path) {
    const std::size_t slash = LastBackslash(path);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool EndsWithBackslash(const std::string& path) {
    return !path.empty() && LastBackslash(path) == path.size() - 1;
}

std::string WithBackslash(std::string path) {
    if (!path.empty() && !EndsWithBackslash(path)) path += '\\';
    return path;
}

std::string WithoutBackslash(std::string path) {
    while (path.size() > 3 && EndsWithBackslash(path)) path.pop_back();
    return path;
}

bool OpenCommandKey(win32::UniqueHkey& key) {
    return ::RegCreateKeyExA(HKEY_CLASSES_ROOT, kOpenCommandKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                             key.put(), nullptr) == ERROR_SUCCESS;
}

// Deletes `subkey` of `root` with everything below it; true when it is absent afterwards.
bool DeleteKeyTree(HKEY root, const std::string& subkey) {
    const LONG status = ::RegDeleteTreeA(root, subkey.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        // RegDeleteTree empties the key; remove the key itself too.
        const LONG removed = ::RegDeleteKeyA(root, subkey.c_str());
        return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
    }
    return false;
}

void SnapshotInto(const std::string& directory, const std::string& relative,
                  DirectorySnapshot& snapshot) {
    WIN32_FIND_DATAA entry{};
    win32::UniqueFind find(::FindFirstFileA((directory + relative + "*").c_str(), &entry));
    if (!find) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            snapshot[relative + name + "\\"] = std::string();
            SnapshotInto(directory, relative + name + "\\", snapshot);
            continue;
        }
        std::string content;
        win32::UniqueFile file(::CreateFileA((directory + relative + name).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) {
            char buffer[65536];
            DWORD got = 0;
            while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
                content.append(buffer, got);
        } else {
            content = "<unreadable>";
        }
        snapshot[relative + name] = std::move(content);
    } while (::FindNextFileA(find.get(), &entry));
}

} // namespace

bool WriteOpenCommand(const std::string& value) {
    std::vector<std::uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    return WriteOpenCommandRaw(REG_SZ, bytes);
}

bool WriteOpenCommandRaw(DWORD type, const std::vector<std::uint8_t>& bytes) {
    win32::UniqueHkey key;
    if (!OpenCommandKey(key)) return false;
    return ::RegSetValueExA(key.get(), nullptr, 0, type, bytes.empty() ? nullptr : bytes.data(),
                            static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool CreateOpenCommandKeyWithoutValue() {
    win32::UniqueHkey key;
    if (!OpenCommandKey(key)) return false;
    const LONG status = ::RegDeleteValueA(key.get(), nullptr);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool DeleteDocumentType() {
    // HKEY_CLASSES_ROOT merges the machine's and the user's classes; clear both.
    const std::string classes = std::string("Software\\Classes\\") + kDocumentTypeKey;
    const bool user = DeleteKeyTree(HKEY_CURRENT_USER, classes);
    const bool machine = DeleteKeyTree(HKEY_LOCAL_MACHINE, classes);
    win32::UniqueHkey probe;
    const bool gone = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, kDocumentTypeKey, 0, KEY_READ,
                                      probe.put()) != ERROR_SUCCESS;
    return user && machine && gone;
}

std::optional<std::string> ReadOpenCommand() {
    win32::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kOpenCommandKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string value(size, '\0');
    if (::RegQueryValueExA(key.get(), nullptr, nullptr, nullptr,
                           reinterpret_cast<BYTE*>(&value[0]), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(size);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

Installation Installation::Create(const std::string& parent, const std::string& prefix) {
    static std::atomic<unsigned> counter{0};
    const std::string root = WithBackslash(parent);
    Installation made;
    if (!MakeDirectories(root)) return made;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = root + prefix + std::to_string(::GetCurrentProcessId()) + "-" +
                                      std::to_string(++counter) + "-" +
                                      std::to_string(::GetTickCount() % 100000) + "\\";
        if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
            made.m_path = candidate;
            return made;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return made;
}

Installation::Installation(Installation&& other) noexcept : m_path(std::move(other.m_path)) {
    other.m_path.clear();
}

Installation& Installation::operator=(Installation&& other) noexcept {
    if (this != &other) {
        if (Valid()) RemoveTree(m_path);
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

Installation::~Installation() {
    if (Valid()) RemoveTree(m_path);
}

bool Installation::CopyTreeFrom(const std::string& sourceDirectory) {
    return Valid() && CopyTree(sourceDirectory, m_path);
}

bool Installation::CopyFileFrom(const std::string& source, const std::string& relativeName) {
    if (!Valid()) return false;
    const std::string target = m_path + relativeName;
    if (!MakeDirectories(ParentOf(target))) return false;
    return ::CopyFileA(source.c_str(), target.c_str(), FALSE) != 0;
}

bool Installation::WriteFile(const std::string& relativeName, const std::string& bytes) {
    if (!Valid()) return false;
    const std::string target = m_path + relativeName;
    if (!MakeDirectories(ParentOf(target))) return false;
    win32::UniqueFile file(::CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool MakeDirectories(const std::string& directory) {
    const std::string path = WithoutBackslash(directory);
    if (path.empty()) return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::size_t slash = LastBackslash(path);
    if (slash != std::string::npos && slash > 2 && !MakeDirectories(path.substr(0, slash)))
        return false;
    return ::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveTree(const std::string& directory) {
    const std::string root = WithBackslash(directory);
    WIN32_FIND_DATAA entry{};
    {
        win32::UniqueFind find(::FindFirstFileA((root + "*").c_str(), &entry));
        if (find) {
            do {
                const std::string name = entry.cFileName;
                if (name == "." || name == "..") continue;
                const std::string path = root + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    // A link: what it points to is not ours to remove (ScopedUnixLink removes it).
                    continue;
                }
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileA(path.c_str());
                }
            } while (::FindNextFileA(find.get(), &entry));
        }
    }
    ::SetFileAttributesA(WithoutBackslash(root).c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryA(WithoutBackslash(root).c_str());
    return ::GetFileAttributesA(WithoutBackslash(root).c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool CopyTree(const std::string& source, const std::string& target) {
    const std::string from = WithBackslash(source);
    const std::string to = WithBackslash(target);
    if (!MakeDirectories(to)) return false;
    WIN32_FIND_DATAA entry{};
    win32::UniqueFind find(::FindFirstFileA((from + "*").c_str(), &entry));
    if (!find) return false;
    bool ok = true;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = CopyTree(from + name, to + name) && ok;
        } else {
            ok = ::CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE) && ok;
        }
    } while (::FindNextFileA(find.get(), &entry));
    return ok;
}

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(buffer, length);
}

std::optional<std::string> VersionLabelOf(const std::string& path) {
    win32::Win32VersionSource versions;
    const win32::Win32CodePage codePage;
    std::string label;
    if (!ReadVersionLabel(versions, path, label, 0, 1, codePage)) return std::nullopt;
    return label;
}

DirectorySnapshot TakeSnapshot(const std::string& directory) {
    DirectorySnapshot snapshot;
    SnapshotInto(WithBackslash(directory), std::string(), snapshot);
    return snapshot;
}

std::string DescribeDifference(const DirectorySnapshot& before, const DirectorySnapshot& after) {
    std::string report;
    for (const auto& [name, content] : before) {
        const auto found = after.find(name);
        if (found == after.end()) {
            report += "removed " + name + "\n";
        } else if (found->second != content) {
            report += "changed " + name + "\n";
        }
    }
    for (const auto& entry : after) {
        if (before.find(entry.first) == before.end()) report += "added " + entry.first + "\n";
    }
    return report;
}

} // namespace hotfix::testing
