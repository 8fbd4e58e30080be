#include "app/framework.h"

namespace hotfix {

namespace {
CWinApp* theApp = nullptr;
}

CWinApp::CWinApp() { theApp = this; }

CWinApp::~CWinApp() {
    if (theApp == this) theApp = nullptr;
}

CWinApp* CWinApp::TheApp() { return theApp; }

} // namespace hotfix
