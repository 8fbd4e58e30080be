#pragma once
// The user interface of a quiet run: shows nothing and answers as an administrator would.
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/user_interface.h"

namespace hotfix {

// Pause between two runs while the application still runs.
constexpr unsigned kRetryPauseMs = 2000;

class QuietUserInterface final : public UserInterface {
public:
    // The wait budget of `waitSeconds` counts from now on `clock`.
    QuietUserInterface(Clock& clock, unsigned waitSeconds);

    // Shows nothing. The Retry/Cancel question (the application is still running) is answered
    // Retry while less than the budget has passed, and Cancel once it has: the application
    // gets the whole time asked to quit, and the last try comes at most one pause later.
    // Every other message is answered OK. With a budget of 0 the first answer is Cancel.
    int ShowMessage(const std::string& text, unsigned style) override;

    // The text of the last message "shown", and how many there were.
    const std::string& LastText() const { return m_lastText; }
    int Count() const { return m_count; }

private:
    Clock& m_clock;
    std::uint64_t m_startMs;
    std::uint64_t m_budgetMs;
    std::string m_lastText;
    int m_count = 0;
};

// A Sleeper that also keeps time by adding up its pauses: the clock of last resort when the
// platform offers none (the time a run itself takes is then not counted).
class PauseCountingClock final : public Clock, public Sleeper {
public:
    explicit PauseCountingClock(Sleeper& inner) : m_inner(inner) {}
    std::uint64_t NowMs() override { return m_elapsedMs; }
    void Sleep(unsigned milliseconds) override {
        m_inner.Sleep(milliseconds);
        m_elapsedMs += milliseconds;
    }

private:
    Sleeper& m_inner;
    std::uint64_t m_elapsedMs = 0;
};

} // namespace hotfix
