#pragma once
// Planting libraries where a program must not look for them: Wine's load order for one
// executable name, and the marker variable that the planted library (hotfix_planted.dll)
// reports its loading through.
#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "harness/helpers.h"
#include "support/win32/unique_handle.h"

namespace hotfix::testing {

// Wine prefers a native copy of the named libraries, wherever the search finds one, in
// processes of one executable name, until destroyed. A child takes its load order from the
// registry: the Wine variables of its environment come from the test runner's own
// environment, not from the parent's.
class ScopedNativeFirst {
public:
    explicit ScopedNativeFirst(const std::string& exeName)
        : m_key("Software\\Wine\\AppDefaults\\" + exeName) {}
    ~ScopedNativeFirst() { ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str()); }
    ScopedNativeFirst(const ScopedNativeFirst&) = delete;
    ScopedNativeFirst& operator=(const ScopedNativeFirst&) = delete;

    // True when every override was written.
    bool Prefer(std::initializer_list<const char*> libraries) {
        win32::UniqueHkey key;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, (m_key + "\\DllOverrides").c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
            return false;
        static const char kOrder[] = "native,builtin";
        for (const char* library : libraries) {
            if (::RegSetValueExA(key.get(), library, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder),
                                 sizeof kOrder) != ERROR_SUCCESS)
                return false;
        }
        return true;
    }

private:
    std::string m_key;
};

// Points the planted library's markers at `directory` for the children started meanwhile.
class ScopedMarkerDirectory {
public:
    explicit ScopedMarkerDirectory(const std::string& directory) : m_directory(directory) {
        ::SetEnvironmentVariableA(kVariable, directory.c_str());
    }
    ~ScopedMarkerDirectory() { ::SetEnvironmentVariableA(kVariable, nullptr); }
    ScopedMarkerDirectory(const ScopedMarkerDirectory&) = delete;
    ScopedMarkerDirectory& operator=(const ScopedMarkerDirectory&) = delete;

    // True when a library planted as `name` was loaded.
    bool Loaded(const std::string& name) const { return FileExists(m_directory + name + ".loaded"); }

private:
    static constexpr const char* kVariable = "HOTFIX_PLANTED_MARKERS";
    std::string m_directory;   // with a trailing backslash
};

} // namespace hotfix::testing
