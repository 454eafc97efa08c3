#include "storage/Threads.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <vector>
#include <system_error>

namespace storage {
namespace {
std::atomic<int> g_allowed{-1};

// Takes one thread of the tests' allowance; false once it is spent.
bool allowedOne() {
    for (int allowed = g_allowed.load(); allowed >= 0;)
        if (allowed == 0 || g_allowed.compare_exchange_weak(allowed, allowed - 1)) return allowed > 0;
    return true;
}

}  // namespace

std::optional<std::thread> startThread(std::function<void()> body) {
    try {
        // Past the allowance, as the system refuses: with the error std::thread gives.
        if (!allowedOne()) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

void setThreadsAllowed(int count) { g_allowed = count; }

void runAll(size_t count, int threads, const std::function<void(size_t)>& job) {
    std::atomic<size_t> next{0};
    std::mutex mutex;
    size_t failedAt = SIZE_MAX;
    std::exception_ptr failure;
    const auto work = [&] {
        for (size_t i; (i = next++) < count;) {
            try {
                job(i);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (i < failedAt) failedAt = i, failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> started;
    for (int t = 1; t < threads && static_cast<size_t>(t) < count; ++t) {
        std::optional<std::thread> thread = startThread(work);
        if (!thread) break;
        started.push_back(std::move(*thread));
    }
    work();
    for (std::thread& thread : started) thread.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace storage
