#include "adapters/clock_win32.h"

#include <windows.h>

namespace hotfix::win32 {

std::uint64_t Win32Clock::NowMs() { return ::GetTickCount64(); }

} // namespace hotfix::win32
