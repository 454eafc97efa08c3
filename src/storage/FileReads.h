#pragma once
// Many reads, or storage hints, of one open file at once: one io_uring submission where the kernel
// offers io_uring, one pread or posix_fadvise a range where it does not (an older kernel, a
// sandbox that forbids it). Either way the same bytes arrive.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace storage {

struct FileRange {
    uint64_t offset = 0;
    size_t length = 0;
    uint8_t* into = nullptr;  // where a read puts the bytes; not used by a hint
};

// Reads every range whole. Returns 0, an errno value, or -1 when the file ends before a range does.
int readRanges(int fd, const std::vector<FileRange>& ranges);

// Asks the storage to start reading the ranges (POSIX_FADV_WILLNEED); nothing is waited for.
void hintRanges(int fd, const std::vector<FileRange>& ranges);

// Whether io_uring is tried at all: tests turn it off to take the other way. On by default.
void setRingAllowed(bool allowed);
// Tests: reorders a submission's completions (result, request) before they are taken, as the
// kernel may complete them in any order; nullptr for the order they came in.
using CompletionOrder = void (*)(std::vector<std::pair<int, uint64_t>>& completions);
void setCompletionOrder(CompletionOrder order);

}  // namespace storage
