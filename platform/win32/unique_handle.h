#pragma once
// Move-only owners of Win32 handles. Each kind names its "empty" value, because the platform
// is not consistent: OpenProcess gives NULL on failure, CreateFile and Toolhelp snapshots give
// INVALID_HANDLE_VALUE.
#include <windows.h>

#include <utility>

namespace hotfix::win32 {

template <typename T, T Invalid, typename Close>
class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(T value) noexcept : m_value(value) {}
    ~UniqueAny() { reset(); }

    UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Invalid; }
    explicit operator bool() const noexcept { return valid(); }

    // Address for out-parameters; releases what is held first.
    T* put() noexcept {
        reset();
        return &m_value;
    }

    T release() noexcept { return std::exchange(m_value, Invalid); }

    void reset(T value = Invalid) noexcept {
        T old = std::exchange(m_value, value);
        if (old != Invalid) Close{}(old);
    }

private:
    T m_value = Invalid;
};

struct CloseHandleFn { void operator()(HANDLE h) const noexcept { ::CloseHandle(h); } };
struct FindCloseFn { void operator()(HANDLE h) const noexcept { ::FindClose(h); } };
struct RegCloseKeyFn { void operator()(HKEY h) const noexcept { ::RegCloseKey(h); } };
struct FreeLibraryFn { void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); } };
struct UnmapViewFn { void operator()(void* p) const noexcept { ::UnmapViewOfFile(p); } };

// Kernel handles whose failure value is NULL (OpenProcess, CreateSemaphore, CreateFileMapping,
// OpenProcessToken, process and thread handles).
using UniqueHandle = UniqueAny<HANDLE, nullptr, CloseHandleFn>;

// Handles whose failure value is INVALID_HANDLE_VALUE (CreateFile, CreateToolhelp32Snapshot).
// A template argument cannot be INVALID_HANDLE_VALUE itself (a cast), so the owner is a class
// of its own with the same interface.
template <typename Close>
class UniqueInvalidable {
public:
    UniqueInvalidable() noexcept = default;
    explicit UniqueInvalidable(HANDLE value) noexcept : m_value(value) {}
    ~UniqueInvalidable() { reset(); }
    UniqueInvalidable(UniqueInvalidable&& other) noexcept : m_value(other.release()) {}
    UniqueInvalidable& operator=(UniqueInvalidable&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueInvalidable(const UniqueInvalidable&) = delete;
    UniqueInvalidable& operator=(const UniqueInvalidable&) = delete;

    HANDLE get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != INVALID_HANDLE_VALUE; }
    explicit operator bool() const noexcept { return valid(); }
    HANDLE release() noexcept { return std::exchange(m_value, INVALID_HANDLE_VALUE); }
    void reset(HANDLE value = INVALID_HANDLE_VALUE) noexcept {
        HANDLE old = std::exchange(m_value, value);
        if (old != INVALID_HANDLE_VALUE) Close{}(old);
    }

private:
    HANDLE m_value = INVALID_HANDLE_VALUE;
};

using UniqueFile = UniqueInvalidable<CloseHandleFn>;       // CreateFile, Toolhelp snapshots
using UniqueFind = UniqueInvalidable<FindCloseFn>;         // FindFirstFile
using UniqueHkey = UniqueAny<HKEY, nullptr, RegCloseKeyFn>;
using UniqueModule = UniqueAny<HMODULE, nullptr, FreeLibraryFn>;
using UniqueView = UniqueAny<void*, nullptr, UnmapViewFn>;

// PROCESS_INFORMATION that closes both of its handles.
class UniqueProcessInformation {
public:
    UniqueProcessInformation() noexcept = default;
    ~UniqueProcessInformation() { reset(); }
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;

    PROCESS_INFORMATION* put() noexcept {
        reset();
        return &m_info;
    }
    const PROCESS_INFORMATION& get() const noexcept { return m_info; }

    // Closes the process handle, then the thread handle.
    void reset() noexcept {
        if (m_info.hProcess) ::CloseHandle(m_info.hProcess);
        if (m_info.hThread) ::CloseHandle(m_info.hThread);
        m_info = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION m_info{};
};

} // namespace hotfix::win32
