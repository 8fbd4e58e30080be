#include "harness/links.h"

#include <windows.h>

#include "harness/helpers.h"
#include "harness/sandbox.h"
#include "support/win32/unique_handle.h"

namespace hotfix::testing {

namespace {

// Runs a Unix program (Wine starts ELF binaries given by their Z: path) and waits for it.
void RunUnix(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    win32::UniqueProcessInformation process;
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process.put()))
        return;
    ::WaitForSingleObject(process.get().hProcess, 10000);
}

} // namespace

std::string UnixPathOf(const std::string& windowsPath) {
    using Translate = char*(__cdecl*)(const WCHAR*);
    auto translate = reinterpret_cast<Translate>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (translate == nullptr) return std::string();
    WCHAR wide[MAX_PATH] = {};
    if (::MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH) == 0) return std::string();
    char* unix = translate(wide);
    if (unix == nullptr) return std::string();
    std::string result = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

OutsideArea::OutsideArea() {
    static int counter = 0;
    m_path = "Z:\\tmp\\hotfix-outside-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) + "\\";
    RemoveTree(m_path);
    if (!MakeDirectories(m_path)) m_path.clear();
}

OutsideArea::~OutsideArea() {
    if (!m_path.empty()) RemoveTree(m_path);
}

std::string OutsideArea::UnixPath() const { return UnixPathOf(m_path); }

ScopedUnixLink::ScopedUnixLink(const std::string& windowsLink, const std::string& unixTarget) {
    // The link's own directory must exist; the link itself does not.
    const std::string::size_type slash = windowsLink.find_last_of('\\');
    const std::string parent = UnixPathOf(windowsLink.substr(0, slash));
    if (parent.empty()) return;
    m_unixLink = parent + "/" + windowsLink.substr(slash + 1);
    RunUnix("Z:\\bin\\ln -s " + Quoted(unixTarget) + " " + Quoted(m_unixLink));
    // Wine may report the Unix program ended before it has run: wait for the link to show.
    for (int tries = 0; tries < 200 && !m_made; ++tries) {
        WIN32_FIND_DATAA found{};
        HANDLE find = ::FindFirstFileA(windowsLink.c_str(), &found);
        m_made = find != INVALID_HANDLE_VALUE;
        if (m_made) ::FindClose(find);
        else ::Sleep(10);
    }
}

ScopedUnixLink::~ScopedUnixLink() {
    if (!m_unixLink.empty()) RunUnix("Z:\\bin\\rm -f " + Quoted(m_unixLink));
}

} // namespace hotfix::testing
