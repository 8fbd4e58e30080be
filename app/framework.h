#pragma once
// The small application framework the installer starts through: one application object,
// constructed during static initialisation, whose InitInstance the entry point calls once.
// Returning false from InitInstance ends the program without a window or a message loop.

namespace hotfix {

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance() = 0;

    // The one application object, or nullptr before it is constructed.
    static CWinApp* TheApp();

protected:
    // Three-dimensional dialog controls are the platform's default; kept as the first step
    // of start-up, it does nothing.
    bool Enable3dControlsStatic() { return true; }
};

} // namespace hotfix
