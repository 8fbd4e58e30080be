#pragma once
// Work done beside the engine's own thread: hashing a file's bytes while the next ones are read,
// decoded or written. Tasks run one at a time, in the order they were posted, on a std::thread
// of their own.
#include <cstdint>
#include <functional>
#include <memory>

namespace hotfix::engine {

class BackgroundWork {
public:
    virtual ~BackgroundWork() = default; // waits for every posted task first

    // Queues `task` behind every task posted before it and returns its number: 1, 2, ...
    // A task must not throw. Where no thread could be started, it runs here, before Post returns.
    virtual std::uint64_t Post(std::function<void()> task) = 0;

    // Returns once task `number` and every task before it have run.
    virtual void WaitFor(std::uint64_t number) = 0;
};

std::unique_ptr<BackgroundWork> StartBackgroundWork();

// Two queues served by one thread: a task of `first` runs before any waiting task of `second`,
// which takes the time `first` leaves. Each keeps its own order and numbers.
struct SharedBackgroundWork {
    std::unique_ptr<BackgroundWork> first;
    std::unique_ptr<BackgroundWork> second;
};
SharedBackgroundWork StartSharedBackgroundWork();

} // namespace hotfix::engine
