#include "harness/ui_driver.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "harness/test_paths.h"
#include "tools/uiprobe/uiprobe.h"

namespace hotfix::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollInterval{10};
constexpr UINT kCrossProcessTimeoutMs = 5000;
constexpr int kMessageTextControl = 0xFFFF;

// Every button id a message box can carry.
constexpr int kButtonIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES,
                              IDNO, IDCLOSE, IDHELP, IDTRYAGAIN, IDCONTINUE};

struct DialogSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0) search->found.push_back(window);
    return TRUE;
}

// Text of a window of another process: WM_GETTEXT, which the system marshals across
// processes (GetWindowText alone does not read a foreign control's text).
std::string ForeignWindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                               kCrossProcessTimeoutMs, &length))
        return std::string();
    // A double-byte code page may need up to two bytes per character.
    std::vector<char> buffer(length * 2 + 2, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(),
                               reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                               kCrossProcessTimeoutMs, &copied))
        return std::string();
    return std::string(buffer.data(), std::min<std::size_t>(copied, buffer.size() - 1));
}

std::string Caption(HWND window) {
    char buffer[1024] = {};
    const int length = ::GetWindowTextA(window, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// The probe's hook procedure, from the DLL beside the test programs, loaded once.
struct Probe {
    HMODULE module = nullptr;
    HOOKPROC hook = nullptr;
};

const Probe& LoadedProbe() {
    static const Probe probe = [] {
        Probe loaded;
        const std::string path = TestProgramDirectory() + HOTFIX_UIPROBE_DLL;
        loaded.module = ::LoadLibraryA(path.c_str());
        if (loaded.module) {
            loaded.hook = reinterpret_cast<HOOKPROC>(
                reinterpret_cast<void*>(::GetProcAddress(loaded.module, HOTFIX_UIPROBE_HOOK_NAME)));
        }
        return loaded;
    }();
    return probe;
}

struct HookOwner {
    HHOOK hook = nullptr;
    ~HookOwner() {
        if (hook) ::UnhookWindowsHookEx(hook);
    }
};

} // namespace

const char* BoxIconName(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::None: return "none";
    case BoxIcon::Hand: return "hand";
    case BoxIcon::Information: return "information";
    case BoxIcon::Question: return "question";
    case BoxIcon::Exclamation: return "exclamation";
    case BoxIcon::Other: return "other";
    case BoxIcon::Unknown: break;
    }
    return "unknown";
}

std::string ButtonName(int id) {
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDCLOSE: return "Close";
    case IDHELP: return "Help";
    case IDTRYAGAIN: return "Try Again";
    case IDCONTINUE: return "Continue";
    default: return std::to_string(id);
    }
}

int ButtonIdOf(BoxAnswer answer) {
    switch (answer) {
    case BoxAnswer::Ok: return IDOK;
    case BoxAnswer::Cancel: return IDCANCEL;
    case BoxAnswer::Retry: return IDRETRY;
    case BoxAnswer::Abort: return IDABORT;
    case BoxAnswer::Ignore: return IDIGNORE;
    case BoxAnswer::Yes: return IDYES;
    case BoxAnswer::No: return IDNO;
    case BoxAnswer::Close: return 0;
    }
    return 0;
}

std::optional<BoxAnswer> ParseBoxAnswer(const std::string& text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::pair<const char*, BoxAnswer> kNames[] = {
        {"ok", BoxAnswer::Ok},         {"cancel", BoxAnswer::Cancel}, {"retry", BoxAnswer::Retry},
        {"abort", BoxAnswer::Abort},   {"ignore", BoxAnswer::Ignore}, {"yes", BoxAnswer::Yes},
        {"no", BoxAnswer::No},         {"close", BoxAnswer::Close},
    };
    for (const auto& [name, answer] : kNames) {
        if (lower == name) return answer;
    }
    return std::nullopt;
}

std::string QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    // The runtime's rules: backslashes are literal unless they precede a quote.
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
            backslashes = 0;
        } else {
            quoted.append(backslashes, '\\');
            backslashes = 0;
        }
        if (c != '\\') quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::vector<HWND> FindDialogWindows(unsigned long processId) {
    DialogSearch search{processId, {}};
    ::EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BoxIcon ProbeBoxIcon(HWND box) {
    const Probe& probe = LoadedProbe();
    if (!probe.hook) return BoxIcon::Unknown;
    const DWORD thread = ::GetWindowThreadProcessId(box, nullptr);
    if (!thread) return BoxIcon::Unknown;

    static const UINT message = ::RegisterWindowMessageA(HOTFIX_UIPROBE_MESSAGE);
    HookOwner owner;
    owner.hook = ::SetWindowsHookExA(WH_CALLWNDPROC, probe.hook, probe.module, thread);
    if (!owner.hook) return BoxIcon::Unknown;

    ::RemovePropA(box, HOTFIX_UIPROBE_ICON_PROPERTY);
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutA(box, message, 0, 0, SMTO_ABORTIFHUNG, kCrossProcessTimeoutMs,
                               &ignored))
        return BoxIcon::Unknown;

    switch (reinterpret_cast<INT_PTR>(::GetPropA(box, HOTFIX_UIPROBE_ICON_PROPERTY))) {
    case kProbeIconNone: return BoxIcon::None;
    case kProbeIconHand: return BoxIcon::Hand;
    case kProbeIconInformation: return BoxIcon::Information;
    case kProbeIconQuestion: return BoxIcon::Question;
    case kProbeIconExclamation: return BoxIcon::Exclamation;
    case kProbeIconOther: return BoxIcon::Other;
    default: return BoxIcon::Unknown;
    }
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo info;
    info.window = box;
    info.seenAt = Clock::now();
    info.caption = Caption(box);
    if (HWND text = ::GetDlgItem(box, kMessageTextControl)) info.text = ForeignWindowText(text);
    for (int id : kButtonIds) {
        HWND button = ::GetDlgItem(box, id);
        if (button && ::IsWindowVisible(button)) info.buttons.push_back(id);
    }
    std::sort(info.buttons.begin(), info.buttons.end());
    info.icon = ProbeBoxIcon(box);
    return info;
}

DrivenProcess DrivenProcess::Start(const std::string& commandLine,
                                   const std::string& currentDirectory) {
    DrivenProcess driven;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    win32::UniqueProcessInformation info;
    driven.m_startedAt = Clock::now();
    if (!::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                          info.put())) {
        driven.m_startError = ::GetLastError();
        return driven;
    }
    // Keep the process handle; the thread handle goes with `info`.
    PROCESS_INFORMATION& raw = const_cast<PROCESS_INFORMATION&>(info.get());
    driven.m_process.reset(std::exchange(raw.hProcess, nullptr));
    driven.m_processId = raw.dwProcessId;
    return driven;
}

DrivenProcess& DrivenProcess::operator=(DrivenProcess&& other) noexcept {
    if (this != &other) {
        Terminate();
        m_process = std::move(other.m_process);
        m_processId = other.m_processId;
        m_startError = other.m_startError;
        m_startedAt = other.m_startedAt;
        m_answered = std::move(other.m_answered);
    }
    return *this;
}

DrivenProcess::~DrivenProcess() { Terminate(); }

bool DrivenProcess::IsRunning() const {
    return m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

void DrivenProcess::Terminate() {
    if (!IsRunning()) return;
    ::TerminateProcess(m_process.get(), 1);
    ::WaitForSingleObject(m_process.get(), 10000);
}

std::optional<MessageBoxInfo> DrivenProcess::WaitForMessageBox(std::chrono::milliseconds timeout) {
    if (!m_process) return std::nullopt;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        m_answered.erase(std::remove_if(m_answered.begin(), m_answered.end(),
                                        [](HWND w) { return !::IsWindow(w); }),
                         m_answered.end());
        for (HWND box : FindDialogWindows(m_processId)) {
            if (std::find(m_answered.begin(), m_answered.end(), box) != m_answered.end()) continue;
            const auto seenAt = Clock::now();
            MessageBoxInfo info = ReadMessageBox(box);
            info.seenAt = seenAt;
            return info;
        }
        // A box may appear and the process end between two polls: look once more after an exit.
        if (!IsRunning()) {
            if (!FindDialogWindows(m_processId).empty()) continue;
            return std::nullopt;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool DrivenProcess::Answer(const MessageBoxInfo& box, BoxAnswer answer,
                           std::chrono::milliseconds timeout) {
    if (!::IsWindow(box.window)) return false;
    const int id = ButtonIdOf(answer);
    if (answer == BoxAnswer::Close) {
        ::PostMessageA(box.window, WM_CLOSE, 0, 0);
    } else {
        HWND button = ::GetDlgItem(box.window, id);
        if (!button || !::IsWindowVisible(button)) return false;
        ::PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    }
    m_answered.push_back(box.window);
    const auto deadline = Clock::now() + timeout;
    while (::IsWindow(box.window)) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::optional<unsigned long> DrivenProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (!m_process) return std::nullopt;
    if (::WaitForSingleObject(m_process.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(m_process.get(), &code)) return std::nullopt;
    return code;
}

} // namespace hotfix::testing
