#pragma once
// Port: the installer's only user interface, one modal message box at a time.
#include <string>

namespace hotfix {

// Message box styles and answers, with the platform's values.
constexpr unsigned kStyleOk = 0x00;
constexpr unsigned kStyleRetryCancel = 0x05;
constexpr unsigned kIconHand = 0x10;
constexpr unsigned kIconInformation = 0x40;
constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;
constexpr int kAnswerRetry = 4;

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Shows a modal box with `text` and `style`, captioned with the program's title, without
    // an owner window. Returns the identifier of the button that closed it.
    virtual int ShowMessage(const std::string& text, unsigned style) = 0;
};

// Port: pausing the process's one thread.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void Sleep(unsigned milliseconds) = 0;
};

} // namespace hotfix
