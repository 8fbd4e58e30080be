#pragma once
// Port: where the installer's plain-text log goes.
#include <string>

namespace hotfix {

class LogSink {
public:
    virtual ~LogSink() = default;
    // Appends `text` as one line, stamped with the local time. `text` holds no line break.
    // Failures to write are not reported: a log never changes what the installer does.
    virtual void WriteLine(const std::string& text) = 0;
};

} // namespace hotfix
