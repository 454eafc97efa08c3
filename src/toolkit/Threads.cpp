#include "toolkit/Threads.h"

#include <atomic>
#include <system_error>

namespace tk {
namespace {
std::atomic<int> g_allowed{-1};
}  // namespace

std::optional<std::thread> startThread(std::function<void()> body) {
    for (int allowed = g_allowed.load(); allowed >= 0;)
        if (allowed == 0 || g_allowed.compare_exchange_weak(allowed, allowed - 1)) {
            if (allowed == 0) return std::nullopt;
            break;
        }
    try {
        return std::thread(std::move(body));
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

void setThreadsAllowed(int count) { g_allowed = count; }

}  // namespace tk
