#pragma once
// The running test: is some process executing the installed application's executable?
#include <string>

#include "platform/code_page.h"
#include "platform/process_source.h"

namespace hotfix {

// Seam through which a hotfix run reaches the running test.
class RunningTest {
public:
    virtual ~RunningTest() = default;
    // False when some running process (other than id 0) executes `executablePath`;
    // true otherwise, also when the processes cannot be listed.
    virtual bool IsApplicationStopped(const std::string& executablePath) = 0;
};

// False when a listed process other than id 0 has `executablePath` as its path, equal as a
// whole text by SameFileName; true otherwise, also when no list could be built. Takes a fresh
// list every time and drops it before answering. A process whose path could not be read is
// listed under its bare file name, which never equals a full path: it counts as not running.
bool IsApplicationStopped(std::string executablePath, ProcessSource& source, const CodePage& codePage);

// The running test as the hotfix run reaches it.
class ProcessRunningTest final : public RunningTest {
public:
    ProcessRunningTest(ProcessSource& source, const CodePage& codePage)
        : m_source(source), m_codePage(codePage) {}

    bool IsApplicationStopped(const std::string& executablePath) override {
        return hotfix::IsApplicationStopped(executablePath, m_source, m_codePage);
    }

private:
    ProcessSource& m_source;
    const CodePage& m_codePage;
};

} // namespace hotfix
