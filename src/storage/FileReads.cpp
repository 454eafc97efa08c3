#include "storage/FileReads.h"

#include <fcntl.h>
#include <liburing.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <utility>

namespace storage {
namespace {

constexpr unsigned kDepth = 64;  // submissions in flight at once

std::atomic<bool> g_ringAllowed{true};

// One ring a thread, made when the thread first needs it; none where the kernel refuses.
class Ring {
public:
    Ring() { m_ready = g_ringAllowed && io_uring_queue_init(kDepth, &m_ring, 0) == 0; }
    ~Ring() {
        if (m_ready) io_uring_queue_exit(&m_ring);
    }
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
    io_uring* get() { return m_ready && g_ringAllowed ? &m_ring : nullptr; }
    // A ring that failed is let go: the thread goes the plain way from then on.
    void drop() {
        if (m_ready) io_uring_queue_exit(&m_ring);
        m_ready = false;
    }

private:
    io_uring m_ring{};
    bool m_ready = false;
};

Ring& perThread() {
    static thread_local Ring ring;
    return ring;
}

// The rest of a range by pread, from done bytes on.
int readRest(int fd, const FileRange& range, size_t done) {
    while (done < range.length) {
        const ssize_t n = ::pread(fd, range.into + done, range.length - done, static_cast<off_t>(range.offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return -1;
        done += static_cast<size_t>(n);
    }
    return 0;
}

std::atomic<CompletionOrder> g_completionOrder{nullptr};

// Submits the count requests prepared on the ring and takes their count completions, handing
// each result and its request's data to done. The kernel may complete requests in any order, so
// a completion is matched to its request by the data, never by its place. False when the ring
// fails; it is then let go.
bool submitAndTake(io_uring* uring, size_t count, const std::function<void(int result, uint64_t data)>& done) {
    int submitted;
    do submitted = io_uring_submit_and_wait(uring, static_cast<unsigned>(count));
    while (submitted == -EINTR);
    std::vector<std::pair<int, uint64_t>> completions;
    for (size_t seen = 0; submitted == static_cast<int>(count) && seen < count; ++seen) {
        io_uring_cqe* cqe = nullptr;
        int waited;
        do waited = io_uring_wait_cqe(uring, &cqe);
        while (waited == -EINTR);
        if (waited < 0) break;
        completions.emplace_back(cqe->res, io_uring_cqe_get_data64(cqe));
        io_uring_cqe_seen(uring, cqe);
    }
    if (completions.size() != count) {
        perThread().drop();
        return false;
    }
    if (const CompletionOrder order = g_completionOrder) order(completions);
    for (const auto& [result, data] : completions) done(result, data);
    return true;
}

}  // namespace

void setRingAllowed(bool allowed) { g_ringAllowed = allowed; }
void setCompletionOrder(CompletionOrder order) { g_completionOrder = order; }

int readRanges(int fd, const std::vector<FileRange>& ranges) {
    io_uring* uring = perThread().get();
    const auto plainly = [&] {
        for (const FileRange& range : ranges)
            if (const int error = readRest(fd, range, 0)) return error;
        return 0;
    };
    if (!uring || ranges.size() < 2) return plainly();
    for (size_t first = 0; first < ranges.size(); first += kDepth) {
        const size_t count = std::min<size_t>(kDepth, ranges.size() - first);
        for (size_t i = first; i < first + count; ++i) {
            io_uring_sqe* sqe = io_uring_get_sqe(uring);
            io_uring_prep_read(sqe, fd, ranges[i].into, static_cast<unsigned>(ranges[i].length), ranges[i].offset);
            io_uring_sqe_set_data64(sqe, i);
        }
        int error = 0;
        const bool taken = submitAndTake(uring, count, [&](int result, uint64_t i) {
            // A read cut short (or refused) is finished, or found wanting, the plain way.
            if (error == 0 && (result < 0 || static_cast<size_t>(result) < ranges[i].length))
                error = readRest(fd, ranges[i], result < 0 ? 0 : static_cast<size_t>(result));
        });
        if (!taken) return plainly();
        if (error) return error;
    }
    return 0;
}

void hintRanges(int fd, const std::vector<FileRange>& ranges) {
    io_uring* uring = perThread().get();
    const auto plainly = [&](size_t from) {
        for (size_t i = from; i < ranges.size(); ++i)
            ::posix_fadvise(fd, static_cast<off_t>(ranges[i].offset), static_cast<off_t>(ranges[i].length), POSIX_FADV_WILLNEED);
    };
    if (!uring || ranges.size() < 2) return plainly(0);
    for (size_t first = 0; first < ranges.size(); first += kDepth) {
        const size_t count = std::min<size_t>(kDepth, ranges.size() - first);
        for (size_t i = first; i < first + count; ++i)
            io_uring_prep_fadvise(io_uring_get_sqe(uring), fd, ranges[i].offset, static_cast<off_t>(ranges[i].length), POSIX_FADV_WILLNEED);
        if (!submitAndTake(uring, count, [](int, uint64_t) {})) return plainly(first);
    }
}

}  // namespace storage
