#include "app/quiet_user_interface.h"

namespace hotfix {

QuietUserInterface::QuietUserInterface(Clock& clock, unsigned waitSeconds)
    : m_clock(clock), m_startMs(clock.NowMs()), m_budgetMs(static_cast<std::uint64_t>(waitSeconds) * 1000) {}

int QuietUserInterface::ShowMessage(const std::string& text, unsigned style) {
    m_lastText = text;
    ++m_count;
    if ((style & 0x0F) != kStyleRetryCancel) return kAnswerOk;
    const std::uint64_t now = m_clock.NowMs();
    const std::uint64_t elapsed = now > m_startMs ? now - m_startMs : 0;
    return elapsed < m_budgetMs ? kAnswerRetry : kAnswerCancel;
}

} // namespace hotfix
