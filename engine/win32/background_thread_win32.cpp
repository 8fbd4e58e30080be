// Background work on a Win32 thread (the toolchain's C++ library has no std::thread).
#include "engine/background_work.h"

#include <windows.h>

#include <deque>

namespace hotfix::engine {

namespace {

class Win32Work : public BackgroundWork {
public:
    Win32Work() {
        InitializeCriticalSection(&m_lock);
        InitializeConditionVariable(&m_wake);
        InitializeConditionVariable(&m_done);
        m_thread = CreateThread(nullptr, 0, &Win32Work::Start, this, 0, nullptr);
        // No thread (nullptr): tasks run where they are posted.
    }
    ~Win32Work() override {
        if (m_thread != nullptr) {
            EnterCriticalSection(&m_lock);
            m_stopping = true;
            LeaveCriticalSection(&m_lock);
            WakeAllConditionVariable(&m_wake);
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
        }
        DeleteCriticalSection(&m_lock);
    }
    Win32Work(const Win32Work&) = delete;
    Win32Work& operator=(const Win32Work&) = delete;

    std::uint64_t Post(std::function<void()> task) override {
        if (m_thread == nullptr) {
            task();
            return ++m_posted;
        }
        EnterCriticalSection(&m_lock);
        try {
            m_tasks.push_back(std::move(task));
        } catch (...) {
            LeaveCriticalSection(&m_lock);
            throw;
        }
        LeaveCriticalSection(&m_lock);
        WakeAllConditionVariable(&m_wake);
        return ++m_posted;
    }

    void WaitFor(std::uint64_t number) override {
        if (m_thread == nullptr) return;
        EnterCriticalSection(&m_lock);
        while (m_finished < number) SleepConditionVariableCS(&m_done, &m_lock, INFINITE);
        LeaveCriticalSection(&m_lock);
    }

private:
    static DWORD WINAPI Start(void* self) {
        static_cast<Win32Work*>(self)->Run();
        return 0;
    }
    void Run() {
        EnterCriticalSection(&m_lock);
        for (;;) {
            while (!m_stopping && m_tasks.empty()) SleepConditionVariableCS(&m_wake, &m_lock, INFINITE);
            if (m_tasks.empty()) break; // stopping, and every task has run
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            LeaveCriticalSection(&m_lock);
            task();
            EnterCriticalSection(&m_lock);
            ++m_finished;
            WakeAllConditionVariable(&m_done);
        }
        LeaveCriticalSection(&m_lock);
    }

    CRITICAL_SECTION m_lock;
    CONDITION_VARIABLE m_wake;
    CONDITION_VARIABLE m_done;
    std::deque<std::function<void()>> m_tasks;
    std::uint64_t m_posted = 0; // only the posting thread touches it
    std::uint64_t m_finished = 0;
    bool m_stopping = false;
    HANDLE m_thread = nullptr;
};

} // namespace

std::unique_ptr<BackgroundWork> StartBackgroundWork() { return std::make_unique<Win32Work>(); }

} // namespace hotfix::engine
