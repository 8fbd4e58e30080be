#include "adapters/process_source_win32.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstring>

#include "adapters/privilege_token_win32.h"
#include "support/win32/system_library.h"
#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

namespace {

// The walk uses the 8-bit record; its size field is set before every call that fills it.
// 296 bytes on x86; on x64 its pointer-sized members make it 304.
static_assert(sizeof(PROCESSENTRY32) == (sizeof(void*) == 4 ? 296 : 304), "PROCESSENTRY32 in its 8-bit form");

constexpr DWORD kSnapshotFlags = TH32CS_SNAPPROCESS | TH32CS_SNAPMODULE;        // 0x0A
constexpr DWORD kProcessReadAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;   // 0x410
static_assert(kSnapshotFlags == 0x0A && kProcessReadAccess == 0x410, "access as the walk needs it");
constexpr DWORD kProcessQueryLimited = 0x1000;   // PROCESS_QUERY_LIMITED_INFORMATION

std::string FixedText(const char* text, std::size_t capacity) {
    const void* end = std::memchr(text, '\0', capacity);
    return std::string(text, end ? static_cast<const char*>(end) - text : capacity);
}

class Win32Snapshot final : public ProcessSnapshot {
public:
    explicit Win32Snapshot(UniqueFile snapshot) : m_snapshot(std::move(snapshot)) {}

    bool First(SnapshotRecord& record) override {
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        if (::Process32First(m_snapshot.get(), &entry) != TRUE) return false;
        Copy(entry, record);
        return true;
    }

    bool Next(SnapshotRecord& record) override {
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        if (!::Process32Next(m_snapshot.get(), &entry)) return false;
        Copy(entry, record);
        return true;
    }

private:
    static void Copy(const PROCESSENTRY32& entry, SnapshotRecord& record) {
        record.processId = entry.th32ProcessID;
        record.exeFile = FixedText(entry.szExeFile, sizeof entry.szExeFile);
    }

    UniqueFile m_snapshot;
};

class Win32StatusLibrary final : public ProcessStatusLibrary {
public:
    explicit Win32StatusLibrary(UniqueModule library) : m_library(std::move(library)) {}

    bool FindEntryPoints() override {
        m_enumModules = reinterpret_cast<EnumProcessModulesFn>(
            reinterpret_cast<void*>(::GetProcAddress(m_library.get(), "EnumProcessModules")));
        m_moduleFileName = reinterpret_cast<GetModuleFileNameExAFn>(
            reinterpret_cast<void*>(::GetProcAddress(m_library.get(), "GetModuleFileNameExA")));
        // The image-name query exists from Windows Vista on; looked up, not imported, so
        // that the installer still starts where it is missing.
        if (const HMODULE kernel = ::GetModuleHandleA("kernel32.dll"))
            m_imageName = reinterpret_cast<QueryFullProcessImageNameAFn>(
                reinterpret_cast<void*>(::GetProcAddress(kernel, "QueryFullProcessImageNameA")));
        return m_enumModules && m_moduleFileName;
    }

    std::optional<std::string> ReadExecutablePath(std::uint32_t processId) override {
        if (!m_enumModules || !m_moduleFileName) return std::nullopt;
        if (std::optional<std::string> path = ReadFirstModulePath(processId)) return path;
        return ReadImageName(processId);
    }

private:
    using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    using GetModuleFileNameExAFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
    using QueryFullProcessImageNameAFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);

    std::optional<std::string> ReadFirstModulePath(std::uint32_t processId) {
        const UniqueHandle process(::OpenProcess(kProcessReadAccess, FALSE, processId));
        if (!process) return std::nullopt;
        // The first module of a process is its executable; one slot is enough for it.
        HMODULE module = nullptr;
        DWORD needed = 0;
        if (!m_enumModules(process.get(), &module, sizeof module, &needed)) return std::nullopt;
        char path[MAX_PATH] = {};
        if (m_moduleFileName(process.get(), module, path, MAX_PATH) == 0) return std::nullopt;
        // Older systems leave a path that fills the buffer without its terminating zero.
        return FixedText(path, sizeof path);
    }

    // The image name in its Win32 form (flags 0): "C:\\Program Files\\App\\App.exe".
    std::optional<std::string> ReadImageName(std::uint32_t processId) {
        if (!m_imageName) return std::nullopt;
        const UniqueHandle process(::OpenProcess(kProcessQueryLimited, FALSE, processId));
        if (!process) return std::nullopt;
        char path[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        if (!m_imageName(process.get(), 0, path, &length) || length == 0 || length >= MAX_PATH) return std::nullopt;
        return std::string(path, length);
    }

    UniqueModule m_library;
    EnumProcessModulesFn m_enumModules = nullptr;
    GetModuleFileNameExAFn m_moduleFileName = nullptr;
    QueryFullProcessImageNameAFn m_imageName = nullptr;
};

} // namespace

std::unique_ptr<ProcessStatusLibrary> Win32ProcessSource::LoadStatusLibrary() {
    // Only the system's own copy: a psapi.dll (or any other candidate) beside the installer
    // or in the current directory is never looked at.
    UniqueModule library = LoadSystemLibrary("psapi.dll");
    if (!library) return nullptr;
    return std::make_unique<Win32StatusLibrary>(std::move(library));
}

std::unique_ptr<PrivilegeToken> Win32ProcessSource::OpenOwnToken() {
    return Win32PrivilegeToken::OpenOwn();
}

std::unique_ptr<ProcessSnapshot> Win32ProcessSource::TakeSnapshot() {
    UniqueFile snapshot(::CreateToolhelp32Snapshot(kSnapshotFlags, 0));
    if (!snapshot) return nullptr;
    return std::make_unique<Win32Snapshot>(std::move(snapshot));
}

} // namespace hotfix::win32
