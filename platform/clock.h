#pragma once
// Port: a monotonic clock for budgets of waiting (not the calendar: setting the system time
// during a wait neither lengthens nor shortens it).
#include <cstdint>

namespace hotfix {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed start; never goes backwards.
    virtual std::uint64_t NowMs() = 0;
};

} // namespace hotfix
