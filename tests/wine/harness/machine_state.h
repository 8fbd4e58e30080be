#pragma once
// What a test run leaves on the machine outside its sandbox, kept in check: the operations left
// for the next restart, and the hotfix's records (its receipt and its entry among the installed
// programs, in the registry's 64-bit view, and the kept copy of the installer).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/product_catalogue.h"
#include "support/win32/unique_handle.h"

namespace hotfix::testing {

// Keeps the machine's PendingFileRenameOperations as it was: saved when made, put back (or
// deleted, when there was none) when destroyed. Wine carries the operations out when the
// prefix restarts, and every test shares the prefix.
class ScopedPendingRenames {
public:
    ScopedPendingRenames() {
        const LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, m_key.put());
        if (opened != ERROR_SUCCESS) return;
        DWORD size = 0;
        LONG status = ::RegQueryValueExW(m_key.get(), kValue, nullptr, &m_type, nullptr, &size);
        if (status == ERROR_SUCCESS) {
            m_saved.resize(size);
            status = ::RegQueryValueExW(m_key.get(), kValue, nullptr, &m_type, m_saved.data(), &size);
            m_saved.resize(size);
            m_existed = status == ERROR_SUCCESS;
        }
        m_valid = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    ~ScopedPendingRenames() {
        if (!m_valid) return;
        if (m_existed)
            ::RegSetValueExW(m_key.get(), kValue, 0, m_type, m_saved.data(), static_cast<DWORD>(m_saved.size()));
        else
            ::RegDeleteValueW(m_key.get(), kValue);
    }
    ScopedPendingRenames(const ScopedPendingRenames&) = delete;
    ScopedPendingRenames& operator=(const ScopedPendingRenames&) = delete;

    bool Valid() const { return m_valid; }

private:
    static constexpr const wchar_t* kKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const wchar_t* kValue = L"PendingFileRenameOperations";
    win32::UniqueHkey m_key;
    bool m_valid = false;
    bool m_existed = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_saved;
};

// The string value `name` of HKLM\<subkey> in the 64-bit view; none when it cannot be read.
std::optional<std::string> MachineString(const std::string& subkey, const std::string& name);
bool MachineKeyExists(const std::string& subkey);

// Where `hotfix` keeps its installer: <%CommonProgramFiles%>\<name>\<installer file name>.
std::string KeptInstallerPath(const HotfixIdentity& hotfix);

// Deletes `hotfix`'s receipt, its entry and its kept installer's folder.
void ForgetHotfixRecords(const HotfixIdentity& hotfix);

// No records of `hotfix` before the test, none after it.
class ScopedHotfixRecords {
public:
    explicit ScopedHotfixRecords(const HotfixIdentity& hotfix) : m_hotfix(hotfix) { ForgetHotfixRecords(m_hotfix); }
    ~ScopedHotfixRecords() { ForgetHotfixRecords(m_hotfix); }
    ScopedHotfixRecords(const ScopedHotfixRecords&) = delete;
    ScopedHotfixRecords& operator=(const ScopedHotfixRecords&) = delete;

private:
    HotfixIdentity m_hotfix;
};

} // namespace hotfix::testing
