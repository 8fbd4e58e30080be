// Background work on a std::thread (winpthreads under MinGW, already part of its C++ library).
#include "engine/background_work.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace hotfix::engine {

namespace {

class ThreadWork : public BackgroundWork {
public:
    ThreadWork() {
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No thread: tasks run where they are posted.
        }
    }
    ~ThreadWork() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

    std::uint64_t Post(std::function<void()> task) override {
        if (!m_thread.joinable()) {
            task();
            return ++m_posted;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
        m_wake.notify_all();
        return ++m_posted;
    }

    void WaitFor(std::uint64_t number) override {
        if (!m_thread.joinable()) return;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return m_finished >= number; });
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty()) return; // stopping, and every task has run
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
            ++m_finished;
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<std::function<void()>> m_tasks;
    std::uint64_t m_posted = 0; // only the posting thread touches it
    std::uint64_t m_finished = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace

std::unique_ptr<BackgroundWork> StartBackgroundWork() { return std::make_unique<ThreadWork>(); }

} // namespace hotfix::engine
