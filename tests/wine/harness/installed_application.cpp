#include "harness/installed_application.h"

#include <chrono>
#include <thread>

#include "harness/helpers.h"
#include "harness/test_paths.h"

namespace hotfix::testing {

using namespace std::chrono_literals;

void InstalledApplication::InstallStandIn(const std::string& fileVersion) {
    ASSERT_TRUE(m_install.Valid());
    ASSERT_TRUE(m_install.CopyFileFrom(VersionedTestProgram(fileVersion), "Tarnovex.exe"));
    ASSERT_TRUE(WriteOpenCommand(AppPath() + " /dde"));
}

void InstalledApplication::StartApplication() {
    m_app = DrivenProcess::Start(QuoteArgument(AppPath()) + " wait");
    ASSERT_TRUE(m_app.Started()) << "error " << m_app.StartError();
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!SeenRunning(AppPath()) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(SeenRunning(AppPath()));
}

} // namespace hotfix::testing
