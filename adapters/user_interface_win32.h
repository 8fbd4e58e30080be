#pragma once
#include <string>

#include "platform/user_interface.h"

namespace hotfix::win32 {

// The program's title: its executable's file name without the extension, so a renamed copy
// shows its new name. Example: "C:\\dl\\HotFix_2.exe" -> "HotFix_2".
std::string ProgramTitle();

// Message boxes without an owner, captioned with the program's title.
class Win32UserInterface final : public UserInterface {
public:
    Win32UserInterface() : m_caption(ProgramTitle()) {}
    int ShowMessage(const std::string& text, unsigned style) override;

private:
    std::string m_caption;
};

class Win32Sleeper final : public Sleeper {
public:
    void Sleep(unsigned milliseconds) override;
};

} // namespace hotfix::win32
