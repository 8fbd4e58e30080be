#include "tools/work_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace hotfix::tools {

unsigned WorkersFor(std::size_t tasks, unsigned limit) {
    unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    if (limit != 0) workers = std::min(workers, limit);
    return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(workers, tasks)));
}

void RunNumbered(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& task) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex guard;
    std::size_t failedTask = count;
    std::exception_ptr failure;
    auto work = [&] {
        for (std::size_t i; !failed.load() && (i = next.fetch_add(1)) < count;) {
            try {
                task(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(guard);
                if (i < failedTask) {
                    failedTask = i;
                    failure = std::current_exception();
                }
                failed = true;
            }
        }
    };
    std::vector<std::thread> threads;
    try {
        for (unsigned k = 1; k < workers; ++k) threads.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and this one do the work.
    }
    work();
    for (std::thread& thread : threads) thread.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace hotfix::tools
