#pragma once
// Move-only owners of Win32 handles. Each kind names its "empty" value, because the platform
// is not consistent: OpenProcess gives NULL on failure, CreateFile and Toolhelp snapshots give
// INVALID_HANDLE_VALUE.
#include <windows.h>

#include <utility>

namespace hotfix::win32 {

// The "empty" value of an owner: a value-initialised T (NULL, nullptr) by default, or
// INVALID_HANDLE_VALUE, which cannot be a template argument itself (it is a cast).
template <typename T>
struct NullIsEmpty {
    static T Value() noexcept { return T(); }
};
struct InvalidIsEmpty {
    static HANDLE Value() noexcept { return INVALID_HANDLE_VALUE; }
};

template <typename T, typename Close, typename Empty = NullIsEmpty<T>>
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
    bool valid() const noexcept { return m_value != Empty::Value(); }
    explicit operator bool() const noexcept { return valid(); }

    // Address for out-parameters; releases what is held first.
    T* put() noexcept {
        reset();
        return &m_value;
    }

    T release() noexcept { return std::exchange(m_value, Empty::Value()); }

    void reset(T value = Empty::Value()) noexcept {
        T old = std::exchange(m_value, value);
        if (old != Empty::Value()) Close{}(old);
    }

private:
    T m_value = Empty::Value();
};

struct CloseHandleFn { void operator()(HANDLE h) const noexcept { ::CloseHandle(h); } };
struct FindCloseFn { void operator()(HANDLE h) const noexcept { ::FindClose(h); } };
struct RegCloseKeyFn { void operator()(HKEY h) const noexcept { ::RegCloseKey(h); } };
struct FreeLibraryFn { void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); } };
struct UnmapViewFn { void operator()(void* p) const noexcept { ::UnmapViewOfFile(p); } };

// Kernel handles whose failure value is NULL (OpenProcess, CreateSemaphore, CreateFileMapping,
// OpenProcessToken, process and thread handles).
using UniqueHandle = UniqueAny<HANDLE, CloseHandleFn>;
// Handles whose failure value is INVALID_HANDLE_VALUE.
using UniqueFile = UniqueAny<HANDLE, CloseHandleFn, InvalidIsEmpty>;   // CreateFile, Toolhelp snapshots
using UniqueFind = UniqueAny<HANDLE, FindCloseFn, InvalidIsEmpty>;     // FindFirstFile
using UniqueHkey = UniqueAny<HKEY, RegCloseKeyFn>;
using UniqueModule = UniqueAny<HMODULE, FreeLibraryFn>;
using UniqueView = UniqueAny<void*, UnmapViewFn>;                      // MapViewOfFile

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
