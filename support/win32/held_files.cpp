#include "support/win32/held_files.h"

#include <restartmanager.h>

#include <algorithm>

#include "support/win32/system_library.h"

namespace hotfix::win32 {

namespace {

// Something stands at `path`: a file or directory, or one already deleted that a holder still
// keeps open (its attributes then answer access denied).
bool EntryExists(const std::string& path) {
    if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return ::GetLastError() == ERROR_ACCESS_DENIED;
}

std::wstring Wide(const std::string& text) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string Narrow(const wchar_t* text) {
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], length, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(length - 1));
    return narrow;
}

// A Restart Manager session, ended when it goes.
class RestartManagerSession {
public:
    using StartFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
    using EndFn = DWORD(WINAPI*)(DWORD);
    using RegisterFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
    using ListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);

    explicit RestartManagerSession(UniqueModule library) : m_library(std::move(library)) {
        if (!m_library) return;
        m_start = Entry<StartFn>("RmStartSession");
        m_end = Entry<EndFn>("RmEndSession");
        m_register = Entry<RegisterFn>("RmRegisterResources");
        m_list = Entry<ListFn>("RmGetList");
    }
    ~RestartManagerSession() {
        if (m_open) m_end(m_session);
    }
    RestartManagerSession(const RestartManagerSession&) = delete;
    RestartManagerSession& operator=(const RestartManagerSession&) = delete;

    // The holders of `paths`, or why they cannot be told.
    std::string Holders(const std::vector<std::string>& paths) {
        if (!m_start || !m_end || !m_register || !m_list) return "holders unknown (no Restart Manager)";
        WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
        DWORD code = m_start(&m_session, 0, key);
        if (code != ERROR_SUCCESS) return Failed("RmStartSession", code);
        m_open = true;
        std::vector<std::wstring> wide;
        for (const std::string& path : paths) wide.push_back(Wide(path));
        std::vector<LPCWSTR> names;
        for (const std::wstring& name : wide) names.push_back(name.c_str());
        code = m_register(m_session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr);
        if (code != ERROR_SUCCESS) return Failed("RmRegisterResources", code);
        std::vector<RM_PROCESS_INFO> found(8);
        for (int attempt = 0; attempt < 3; ++attempt) {
            UINT needed = 0;
            UINT count = static_cast<UINT>(found.size());
            DWORD reasons = 0;
            code = m_list(m_session, &needed, &count, found.data(), &reasons);
            if (code == ERROR_MORE_DATA) {
                found.resize(needed);
                continue;
            }
            if (code != ERROR_SUCCESS) return Failed("RmGetList", code);
            if (count == 0) return "holders unknown (the Restart Manager names none)";
            std::string names;
            for (UINT i = 0; i < count; ++i) {
                if (!names.empty()) names += ", ";
                names += Narrow(found[i].strAppName) + " (pid " + std::to_string(found[i].Process.dwProcessId) + ")";
            }
            return "held by " + names;
        }
        return Failed("RmGetList", code);
    }

private:
    template <class Function>
    Function Entry(const char* name) {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(m_library.get(), name)));
    }
    static std::string Failed(const char* call, DWORD code) {
        return "holders unknown (" + std::string(call) + ": error " + std::to_string(code) + ")";
    }

    UniqueModule m_library;
    StartFn m_start = nullptr;
    EndFn m_end = nullptr;
    RegisterFn m_register = nullptr;
    ListFn m_list = nullptr;
    DWORD m_session = 0;
    bool m_open = false;
};

} // namespace

bool IsHeldError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

std::string HoldersOf(const std::vector<std::string>& paths) {
    RestartManagerSession session(LoadSystemLibrary("rstrtmgr.dll"));
    return session.Holders(paths);
}

bool RetryWhileHeld(const std::vector<std::string>& paths, const std::function<bool()>& attempt,
                    const HeldWaitReport& report) {
    if (attempt()) return true;
    DWORD code = ::GetLastError();
    if (!IsHeldError(code) || paths.empty() || !EntryExists(paths.front())) {
        ::SetLastError(code);
        return false;
    }
    HeldWait wait;
    wait.path = paths.front();
    wait.error = code;
    wait.holders = HoldersOf(paths);
    DWORD pause = 50;
    const ULONGLONG start = ::GetTickCount64();
    bool done = false;
    for (;;) {
        const ULONGLONG waited = ::GetTickCount64() - start;
        if (waited >= kHeldWaitLimitMs) break;
        ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, kHeldWaitLimitMs - waited)));
        pause = std::min<DWORD>(pause * 2, 1000);
        done = attempt();
        code = ::GetLastError();
        if (done || !IsHeldError(code) || !EntryExists(paths.front())) break;
    }
    wait.waitedMs = static_cast<DWORD>(::GetTickCount64() - start);
    wait.wentThrough = done;
    if (report) report(wait);
    ::SetLastError(done ? ERROR_SUCCESS : code);
    return done;
}

} // namespace hotfix::win32
