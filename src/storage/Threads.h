#pragma once
// Threads started where the system allows it: one it refuses (no memory for its stack, a limit
// on processes) is no reason to fail, only to go on with fewer.

#include <cstddef>
#include <functional>
#include <optional>
#include <thread>

namespace storage {

// The thread running body, or nothing when the system refused to start it.
std::optional<std::thread> startThread(std::function<void()> body);

// Runs job(0) .. job(count - 1), each once, on up to `threads` threads, the calling one among
// them (alone where the system starts no other); returns once all have run, throwing the
// failure of the first failing job in index order.
void runAll(size_t count, int threads, const std::function<void(size_t)>& job);

// Tests: how many more threads startThread starts before it acts as if the system refused
// (-1, the default: as many as the system starts).
void setThreadsAllowed(int count);

}  // namespace storage
