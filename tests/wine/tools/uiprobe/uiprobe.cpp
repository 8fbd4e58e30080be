// The probe DLL: answers, inside a message box's own process, which icon the box shows.
// See uiprobe.h for the protocol.
#include <windows.h>

#include "uiprobe.h"

namespace {

UINT ProbeMessage() {
    static const UINT message = ::RegisterWindowMessageA(HOTFIX_UIPROBE_MESSAGE);
    return message;
}

BOOL CALLBACK FindIconStatic(HWND child, LPARAM found) {
    char className[16] = {};
    ::GetClassNameA(child, className, sizeof className);
    const LONG style = ::GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

HotfixProbeIcon ClassifyIcon(HWND box) {
    HWND iconStatic = nullptr;
    ::EnumChildWindows(box, FindIconStatic, reinterpret_cast<LPARAM>(&iconStatic));
    if (!iconStatic || !::IsWindowVisible(iconStatic)) return kProbeIconNone;

    const HICON shown = reinterpret_cast<HICON>(::SendMessageA(iconStatic, STM_GETICON, 0, 0));
    if (!shown) return kProbeIconNone;

    // The system's icons are shared: LoadIcon gives the same handle the box was given.
    struct Known { LPCSTR id; HotfixProbeIcon kind; };
    static const Known kKnown[] = {
        {IDI_HAND, kProbeIconHand},
        {IDI_ASTERISK, kProbeIconInformation},
        {IDI_QUESTION, kProbeIconQuestion},
        {IDI_EXCLAMATION, kProbeIconExclamation},
    };
    for (const Known& known : kKnown) {
        if (::LoadIconA(nullptr, known.id) == shown) return known.kind;
    }
    return kProbeIconOther;
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK UiProbeCallWndProc(int code, WPARAM wParam,
                                                                     LPARAM lParam) {
    if (code == HC_ACTION && lParam) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == ProbeMessage() && call->hwnd) {
            const HotfixProbeIcon kind = ClassifyIcon(call->hwnd);
            ::SetPropA(call->hwnd, HOTFIX_UIPROBE_ICON_PROPERTY,
                       reinterpret_cast<HANDLE>(static_cast<INT_PTR>(kind)));
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
