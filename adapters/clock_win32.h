#pragma once
#include "platform/clock.h"

namespace hotfix::win32 {

// Milliseconds since the system started (GetTickCount64): monotonic, unaffected by changes
// of the calendar time.
class Win32Clock final : public Clock {
public:
    std::uint64_t NowMs() override;
};

} // namespace hotfix::win32
