#pragma once
// What this process can still get: memory, the least of what the system has available and what
// the address-space and data limits (ulimit -v, ulimit -d) leave (measured, not promised: a large
// picture is refused up front when it clearly cannot fit, rather than half-way); and the cores it
// may run on.

#include <cstdint>

namespace storage {

// Bytes; UINT64_MAX when nothing says otherwise.
uint64_t memoryAtHand();

// Whether an address-space limit (ulimit -v) is set: it also counts what is only reserved, such
// as the 64 MiB the C library reserves for each thread's own allocations.
bool addressSpaceLimited();

// The cores the process may run on at once (its CPU affinity), at least 1.
int usableCores();

}  // namespace storage
