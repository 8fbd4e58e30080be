#pragma once
#include "platform/file_lookup.h"

namespace hotfix::win32 {

class Win32FileLookup final : public FileLookup {
public:
    std::optional<std::string> FindStoredName(const std::string& path) override;
};

} // namespace hotfix::win32
