#include "app/hotfix_app.h"

namespace hotfix {

bool HotfixApp::InitInstance() {
    Enable3dControlsStatic();
    std::unique_ptr<HotfixEnvironment> environment = m_makeEnvironment();
    if (environment) RunUntilFinished(environment->Context(), environment->Pause());
    return false;
}

} // namespace hotfix
