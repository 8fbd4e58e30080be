#include "adapters/command_runner_win32.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace hotfix::win32 {

std::uint32_t Win32ChildProcessHost::Start(const std::string& commandLine, int showMode) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showMode);

    // CreateProcessA may write into the command line, so it gets a private buffer holding all of it.
    std::vector<char> buffer(std::max<std::size_t>(commandLine.size() + 1, MAX_PATH), '\0');
    commandLine.copy(buffer.data(), commandLine.size());

    if (!::CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, m_child.put())) {
        const DWORD error = ::GetLastError();
        m_child.reset();
        return error;
    }
    return 0;
}

void Win32ChildProcessHost::ServeMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void Win32ChildProcessHost::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::uint32_t Win32ChildProcessHost::ExitCode() {
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_child.get().hProcess, &code);
    return code;
}

bool Win32ChildProcessHost::HasEnded() {
    return ::WaitForSingleObject(m_child.get().hProcess, 0) == WAIT_OBJECT_0;
}

void Win32ChildProcessHost::Terminate(std::uint32_t exitCode) {
    ::TerminateProcess(m_child.get().hProcess, exitCode);
}

void Win32ChildProcessHost::Release() {
    m_child.reset();
}

std::optional<std::string> Win32ChildProcessHost::TakeCaptureFile(const std::string& path) {
    std::optional<std::string> text;
    {
        UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return std::nullopt;   // not ours to delete: someone else may hold it

        DWORD high = 0;
        const DWORD length = ::GetFileSize(file.get(), &high);
        if (length != INVALID_FILE_SIZE && high == 0 && length < 0x7FFFFFFF) {
            std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
            DWORD total = 0;
            bool ok = true;
            while (ok && total < length) {
                DWORD read = 0;
                ok = ::ReadFile(file.get(), buffer.data() + total, length - total, &read, nullptr) && read > 0;
                total += read;
            }
            if (ok) {
                buffer[length] = '\0';
                ::OemToCharA(buffer.data(), buffer.data());
                text = std::string(buffer.data(), length);
            }
        }
    }
    ::DeleteFileA(path.c_str());
    return text;
}

} // namespace hotfix::win32
