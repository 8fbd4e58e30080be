#pragma once
// Fakes for the roll-out tests: a clock moved by the sleeper, a log kept in memory, and an
// engine configuration that remembers what it was told.
#include <string>
#include <vector>

#include "patch/patch_events.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/user_interface.h"

namespace hotfix::fakes {

// Time passes only when the sleeper sleeps, plus `runCostMs` on each reading after the first.
class FakeClockSleeper final : public Clock, public Sleeper {
public:
    std::uint64_t nowMs = 0;
    std::vector<unsigned> pauses;
    void Sleep(unsigned milliseconds) override {
        pauses.push_back(milliseconds);
        nowMs += milliseconds;
    }
    std::uint64_t NowMs() override { return nowMs; }
};

class MemoryLog final : public LogSink {
public:
    std::vector<std::string> lines;
    void WriteLine(const std::string& text) override { lines.push_back(text); }

    // Index of the first line starting with `prefix` at or after `from`, or -1.
    int Find(const std::string& prefix, int from = 0) const {
        for (int i = from; i < static_cast<int>(lines.size()); ++i)
            if (lines[i].compare(0, prefix.size(), prefix) == 0) return i;
        return -1;
    }
};

class FakeEngineConfiguration final : public EngineConfiguration {
public:
    std::vector<EngineRunMode> modes;
    PatchEvents* events = nullptr;
    void Configure(const EngineRunMode& mode, PatchEvents* listener) override {
        modes.push_back(mode);
        events = listener;
    }
};

} // namespace hotfix::fakes
