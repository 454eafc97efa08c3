#pragma once
// What this process can still get: memory, the least of what the system has available and what
// the address-space and data limits (ulimit -v, ulimit -d) leave (measured, not promised: a large
// picture is refused up front when it clearly cannot fit, rather than half-way); and the cores it
// may run on.

#include <cstdint>

namespace storage {

// Bytes; UINT64_MAX when nothing says otherwise.
uint64_t memoryAtHand();

// Under an address-space limit (ulimit -v), which also counts what is only reserved, every thread
// allocates from the one heap from now on: the C library would otherwise reserve 64 MiB for a
// heap of a thread's own, as many times as threads happen to allocate at once.
void oneHeapUnderAddressLimit();

// The cores the process may run on at once (its CPU affinity), at least 1.
int usableCores();

}  // namespace storage
