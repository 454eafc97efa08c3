#pragma once
// How much more memory this process can get: the least of what the system has available and
// what the address-space and data limits (ulimit -v, ulimit -d) leave. Measured, not promised:
// a large picture is refused up front when it clearly cannot fit, rather than half-way.

#include <cstdint>

namespace tk {

// Bytes; UINT64_MAX when nothing says otherwise.
uint64_t memoryAtHand();

}  // namespace tk
