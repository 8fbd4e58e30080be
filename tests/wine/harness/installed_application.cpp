#include "harness/installed_application.h"

#include <chrono>
#include <thread>

#include "engine/contract/engine_contract.h"
#include "harness/helpers.h"
#include "harness/test_paths.h"

namespace hotfix::testing {

using namespace std::chrono_literals;

std::string LabelOf(const std::string& fileVersion) { return fileVersion.substr(0, 4) + " (" + fileVersion + ")"; }

std::string InstallerFilesIn(const DirectorySnapshot& snapshot) {
    std::string found;
    for (const auto& entry : snapshot) {
        const std::string lower = Lower(entry.first);
        const bool ours = lower == Lower(engine::kFrontEndName) || lower == Lower(engine::kLibraryName) ||
                          lower.find(".rtp") != std::string::npos || lower.find("hfx~") != std::string::npos;
        if (ours) found += entry.first + " ";
    }
    return found;
}

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
