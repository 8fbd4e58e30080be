#pragma once
// The installer's application object.
#include <memory>

#include "app/framework.h"
#include "app/hotfix_run.h"

namespace hotfix {

// The platform services of one process: built when the application starts, dropped when it ends.
class HotfixEnvironment {
public:
    virtual ~HotfixEnvironment() = default;
    virtual HotfixContext& Context() = 0;
    virtual Sleeper& Pause() = 0;
};

using EnvironmentFactory = std::unique_ptr<HotfixEnvironment> (*)();

class HotfixApp : public CWinApp {
public:
    explicit HotfixApp(EnvironmentFactory makeEnvironment) : m_makeEnvironment(makeEnvironment) {}

    // Runs hotfix runs until one is finished, 2000 ms apart; always returns false, so the
    // program ends without a window.
    bool InitInstance() override;

private:
    EnvironmentFactory m_makeEnvironment;
};

} // namespace hotfix
