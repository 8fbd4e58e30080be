#pragma once
#include <memory>
#include <string>

#include "platform/log_sink.h"
#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

// The log as a text file that lines are appended to, each stamped "YYYY-MM-DD hh:mm:ss.mmm "
// in local time and ended with CR LF. Other programs may read it (and other writers append
// to it) while it is open.
class Win32FileLog final : public LogSink {
public:
    // Opens or creates `path` for appending; none when it cannot be opened. The path is
    // resolved once, here, so the current directory changing later does not move the log.
    static std::unique_ptr<Win32FileLog> Open(const std::string& path);

    void WriteLine(const std::string& text) override;

private:
    explicit Win32FileLog(UniqueFile file) : m_file(std::move(file)) {}
    UniqueFile m_file;
};

} // namespace hotfix::win32
