#pragma once
#include "platform/process_source.h"

namespace hotfix::win32 {

// The running processes through a Toolhelp snapshot, their executable paths through the
// process-status library, which is loaded from the system directory only.
class Win32ProcessSource final : public ProcessSource {
public:
    std::unique_ptr<ProcessStatusLibrary> LoadStatusLibrary() override;
    std::unique_ptr<PrivilegeToken> OpenOwnToken() override;
    std::unique_ptr<ProcessSnapshot> TakeSnapshot() override;
};

} // namespace hotfix::win32
