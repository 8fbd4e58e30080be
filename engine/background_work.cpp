// Background work on a std::thread (winpthreads under MinGW, already part of its C++ library).
#include "engine/background_work.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace hotfix::engine {

namespace {

constexpr int kQueues = 2;

// One thread and its queues, the first served first; ended when the last queue's handle goes.
class Worker {
public:
    Worker() {
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No thread: tasks run where they are posted.
        }
    }
    ~Worker() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    std::uint64_t Post(int queue, std::function<void()> task) {
        if (!m_thread.joinable()) {
            task();
            return ++m_posted[queue];
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks[queue].push_back(std::move(task));
        m_wake.notify_all();
        return ++m_posted[queue];
    }

    void WaitFor(int queue, std::uint64_t number) {
        if (!m_thread.joinable()) return;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return m_finished[queue] >= number; });
    }
    std::uint64_t Posted(int queue) const { return m_posted[queue]; }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || !m_tasks[0].empty() || !m_tasks[1].empty(); });
            const int queue = !m_tasks[0].empty() ? 0 : !m_tasks[1].empty() ? 1 : -1;
            if (queue < 0) return; // stopping, and every task has run
            std::function<void()> task = std::move(m_tasks[queue].front());
            m_tasks[queue].pop_front();
            lock.unlock();
            task();
            lock.lock();
            ++m_finished[queue];
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<std::function<void()>> m_tasks[kQueues];
    std::uint64_t m_posted[kQueues] = {}; // each touched only by the thread posting to its queue
    std::uint64_t m_finished[kQueues] = {};
    bool m_stopping = false;
    std::thread m_thread;
};

class Queue : public BackgroundWork {
public:
    Queue(std::shared_ptr<Worker> worker, int queue) : m_worker(std::move(worker)), m_queue(queue) {}
    ~Queue() override { m_worker->WaitFor(m_queue, m_worker->Posted(m_queue)); }
    std::uint64_t Post(std::function<void()> task) override { return m_worker->Post(m_queue, std::move(task)); }
    void WaitFor(std::uint64_t number) override { m_worker->WaitFor(m_queue, number); }

private:
    std::shared_ptr<Worker> m_worker;
    int m_queue;
};

} // namespace

std::unique_ptr<BackgroundWork> StartBackgroundWork() { return std::make_unique<Queue>(std::make_shared<Worker>(), 0); }

SharedBackgroundWork StartSharedBackgroundWork() {
    const auto worker = std::make_shared<Worker>();
    return {std::make_unique<Queue>(worker, 0), std::make_unique<Queue>(worker, 1)};
}

} // namespace hotfix::engine
