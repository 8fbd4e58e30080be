#pragma once
// The contract between the UI driver and the probe DLL it hooks into a message box's thread.
//
// A message box's icon is a handle that means something only inside the box's own process, so
// the driver cannot compare it from outside. Instead it installs `UiProbeCallWndProc` as a
// WH_CALLWNDPROC hook on the box's thread (the system loads this DLL into that process) and
// sends the box the registered message kUiProbeMessage. The hook, running on the box's thread,
// finds the box's SS_ICON static, asks it for its icon (STM_GETICON), compares the handle with
// the system's shared icons, and stores the answer as the window property kUiProbeIconProperty
// on the box. Window properties live with the window manager, so the driver reads the answer
// with GetPropA once its SendMessage returns.

// Registered window message that asks the probe to inspect the window it is sent to.
#define HOTFIX_UIPROBE_MESSAGE "HotfixUiProbe.InspectIcon"
// Window property that receives the answer: one of the HotfixProbeIcon values below, as a HANDLE.
#define HOTFIX_UIPROBE_ICON_PROPERTY "HotfixUiProbe.Icon"
// Exported name of the hook procedure.
#define HOTFIX_UIPROBE_HOOK_NAME "UiProbeCallWndProc"
// File name of the probe, built beside the test programs.
#define HOTFIX_UIPROBE_DLL "hotfix_uiprobe.dll"

// Answers stored in the property. Zero is never stored, so a missing property (value 0) means
// the probe did not run.
enum HotfixProbeIcon {
    kProbeIconNone = 1,          // no icon static, or it shows no icon
    kProbeIconHand = 2,          // IDI_HAND (MB_ICONHAND, MB_ICONERROR, MB_ICONSTOP)
    kProbeIconInformation = 3,   // IDI_ASTERISK (MB_ICONINFORMATION)
    kProbeIconQuestion = 4,      // IDI_QUESTION (MB_ICONQUESTION)
    kProbeIconExclamation = 5,   // IDI_EXCLAMATION (MB_ICONEXCLAMATION, MB_ICONWARNING)
    kProbeIconOther = 6,         // an icon, but none of the system's message-box icons
};
