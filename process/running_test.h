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

// False when a listed process other than id 0 executes `executablePath`; true otherwise, also
// when no list could be built. Takes a fresh list every time and drops it before answering.
// A process whose path was read executes it when that path equals `executablePath` as a whole
// text by SameFileName. A process whose path could not be read (a 64-bit process seen from a
// 32-bit one, a process of another user) is listed under its bare file name, and counts as
// executing it when that name equals the file name of `executablePath`: the user can close it
// and retry, where patching a running application would fail or be reported wrongly.
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
