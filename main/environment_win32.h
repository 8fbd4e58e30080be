#pragma once
#include <memory>

#include "app/hotfix_app.h"

namespace hotfix::win32 {

// The installer's platform services on Win32: the real registry, file system, version
// resources, process list, patch sequence and message boxes.
std::unique_ptr<HotfixEnvironment> MakeWin32Environment();

} // namespace hotfix::win32
