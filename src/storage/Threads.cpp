#include "storage/Threads.h"

#include <atomic>
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

}  // namespace storage
