#pragma once
// Threads started where the system allows it: one it refuses (no memory for its stack, a limit
// on processes) is no reason to fail, only to go on with fewer.

#include <functional>
#include <optional>
#include <thread>

namespace storage {

// The thread running body, or nothing when the system refused to start it.
std::optional<std::thread> startThread(std::function<void()> body);

// Tests: how many more threads startThread starts before it acts as if the system refused
// (-1, the default: as many as the system starts).
void setThreadsAllowed(int count);

}  // namespace storage
