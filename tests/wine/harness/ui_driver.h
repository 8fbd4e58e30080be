#pragma once
// The UI driver: starts a program, finds its message boxes, reads them and answers them.
//
// A message box is a top-level "#32770" dialog owned by the program's process. Its caption is
// the window text, its text is control 0xFFFF, its buttons carry the IDOK/IDCANCEL/IDRETRY...
// ids, and its icon is told by the probe DLL (hotfix_uiprobe.dll, beside the test programs)
// hooked into the box's thread.
//
// Typical use:
//
//   DrivenProcess installer = DrivenProcess::Start(QuoteArgument(InstallerPath()));
//   std::optional<MessageBoxInfo> box = installer.WaitForMessageBox();
//   ASSERT_TRUE(box);
//   EXPECT_EQ(box->text, "...");
//   EXPECT_EQ(box->icon, BoxIcon::Hand);
//   installer.Answer(*box, BoxAnswer::Ok);
//   EXPECT_EQ(installer.WaitForExit(), std::optional<unsigned long>(0));
//
// A DrivenProcess still running when it is destroyed is terminated, so a failed test never
// leaves a box or a process behind. Nothing here throws; failures are empty results or false.
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/win32/unique_handle.h"

namespace hotfix::testing {

// Default time to wait for a box or an exit: long enough for a cold Wine process start.
constexpr std::chrono::milliseconds kDefaultUiTimeout{30000};

enum class BoxIcon { None, Hand, Information, Question, Exclamation, Other, Unknown };

// How a box is answered: a button (WM_COMMAND/BN_CLICKED with its id), or closing the box
// (WM_CLOSE, like the title bar's close button or Escape).
enum class BoxAnswer { Ok, Cancel, Retry, Abort, Ignore, Yes, No, Close };

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;        // window text of the box
    std::string text;           // text of control 0xFFFF, line feeds as they are
    std::vector<int> buttons;   // ids of the visible buttons, in id order (IDOK=1, IDCANCEL=2, ...)
    BoxIcon icon = BoxIcon::Unknown;  // Unknown: the probe could not be asked
    // When the driver first saw the box (it polls every 10 ms).
    std::chrono::steady_clock::time_point seenAt;
};

// "hand", "information", "question", "exclamation", "none", "other", "unknown".
const char* BoxIconName(BoxIcon icon);
// "OK", "Cancel", "Retry", "Abort", "Ignore", "Yes", "No", "Try Again", "Continue", "Help",
// or the number for another id.
std::string ButtonName(int id);
// The button id an answer presses; 0 for BoxAnswer::Close.
int ButtonIdOf(BoxAnswer answer);
// Parses "ok", "cancel", "retry", "abort", "ignore", "yes", "no", "close" (any case).
std::optional<BoxAnswer> ParseBoxAnswer(const std::string& text);

// `argument` quoted for a command line when it holds a blank or a quote, else as it is.
std::string QuoteArgument(const std::string& argument);

class DrivenProcess {
public:
    // Starts `commandLine` (CreateProcessA: the first token names the program) in
    // `currentDirectory` (empty: the caller's). An invalid DrivenProcess (Started() false) when
    // the program cannot be started; StartError() then holds GetLastError().
    static DrivenProcess Start(const std::string& commandLine,
                               const std::string& currentDirectory = std::string());

    DrivenProcess() = default;
    DrivenProcess(DrivenProcess&&) noexcept = default;
    DrivenProcess& operator=(DrivenProcess&&) noexcept;
    ~DrivenProcess();

    bool Started() const { return m_process.valid(); }
    unsigned long StartError() const { return m_startError; }
    unsigned long ProcessId() const { return m_processId; }
    HANDLE ProcessHandle() const { return m_process.get(); }
    std::chrono::steady_clock::time_point StartedAt() const { return m_startedAt; }

    // Waits for a visible message box of this process that has not been answered through this
    // object yet, and reads it. Empty when none appears in time or the process ends first.
    std::optional<MessageBoxInfo> WaitForMessageBox(
        std::chrono::milliseconds timeout = kDefaultUiTimeout);

    // Presses the answer's button (or closes the box) and waits until the box is gone.
    // False when the box has no such button or does not go away within `timeout`.
    bool Answer(const MessageBoxInfo& box, BoxAnswer answer,
                std::chrono::milliseconds timeout = kDefaultUiTimeout);

    // The exit code once the process has ended; empty when it is still running at `timeout`.
    std::optional<unsigned long> WaitForExit(std::chrono::milliseconds timeout = kDefaultUiTimeout);

    // True while the process runs.
    bool IsRunning() const;

    // Ends the process (exit code 1) and waits for it; does nothing when it has ended.
    void Terminate();

private:
    win32::UniqueHandle m_process;
    unsigned long m_processId = 0;
    unsigned long m_startError = 0;
    std::chrono::steady_clock::time_point m_startedAt;
    std::vector<HWND> m_answered;
};

// Reads a box that is already on screen (caption, text, buttons, icon); seenAt is now.
MessageBoxInfo ReadMessageBox(HWND box);

// Asks the probe DLL which icon `box` shows. Unknown when the probe cannot be loaded or hooked.
BoxIcon ProbeBoxIcon(HWND box);

// The visible "#32770" top-level windows of process `processId`.
std::vector<HWND> FindDialogWindows(unsigned long processId);

} // namespace hotfix::testing
