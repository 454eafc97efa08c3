#include "compose/PaintRun.h"

#include "storage/Threads.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace compose {

namespace {

class Run {
public:
    Run(size_t count, tk::Picture first, const PaintSteps& steps)
        : m_count(count), m_first(std::move(first)), m_steps(steps), m_done(count, 0), m_inOrderAt(steps.inOrder ? 1 : SIZE_MAX) {}

    void work(int worker) {
        for (;;) {
            size_t i = 0;
            {
                const std::lock_guard lock(m_mutex);
                if (m_stop || m_next >= m_count || m_next > m_failedAt) return;
                i = m_next++;
            }
            try {
                tk::Picture picture = i == 0 ? std::move(m_first) : m_steps.load(i);
                const auto turn = [&] { waitForPrevious(i); };
                const bool painted = goesOn(i);
                if (painted) m_steps.paint(i, picture, worker, turn);
                finish(i, painted, nullptr);
            } catch (...) {
                finish(i, false, std::current_exception());
            }
            if (m_steps.done) m_steps.done(i);
        }
    }

    // Until every worker has ended: progress on the calling thread, which may throw to stop.
    void supervise(std::vector<std::thread>& workers, const std::function<void(size_t)>& progress) {
        try {
            std::unique_lock lock(m_mutex);
            for (size_t reported = 0;;) {  // the first word once a picture is painted
                const bool ended = m_ended == workers.size();
                if (m_inOrder >= m_inOrderAt) {
                    const size_t painted = m_inOrder;
                    lock.unlock();
                    const size_t next = m_steps.inOrder(painted);
                    lock.lock();
                    m_inOrderAt = std::max(next, painted + 1);
                    continue;  // what the workers did meanwhile is looked at afresh
                }
                if (m_painted != reported) {
                    reported = m_painted;
                    lock.unlock();
                    progress(reported);
                    lock.lock();
                }
                if (ended) break;
                m_ending.wait_for(lock, std::chrono::milliseconds(50));
            }
        } catch (...) {
            stop();
            for (std::thread& t : workers) t.join();
            throw;
        }
        for (std::thread& t : workers) t.join();
        if (!m_failure) return;
        // Pictures after the failing one that other threads had already painted are taken off
        // again, so the canvas is the one a single thread leaves.
        if (m_steps.unpaint)
            for (size_t i = m_failedAt + 1; i < m_count; ++i)
                if (m_done[i] == kPainted) m_steps.unpaint(i);
        std::rethrow_exception(m_failure);
    }

    void workerEnded() {
        const std::lock_guard lock(m_mutex);
        ++m_ended;
        m_ending.notify_all();
    }

private:
    // A picture taken up is painted, even when the run is stopped meanwhile; not one after a
    // picture that failed.
    bool goesOn(size_t i) {
        const std::lock_guard lock(m_mutex);
        return i < m_failedAt;
    }

    void waitForPrevious(size_t i) {
        if (i == 0 || !m_steps.followsPrevious(i)) return;
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_changed.wait(lock, [&] { return m_done[i - 1] || m_stop; });
        --m_waiting;
        if (m_stop || i > m_failedAt) throw Skipped();
    }

    void finish(size_t i, bool painted, std::exception_ptr error) {
        const std::lock_guard lock(m_mutex);
        m_done[i] = painted ? kPainted : kNotPainted;
        if (painted) ++m_painted;
        while (m_inOrder < m_count && m_done[m_inOrder] == kPainted) ++m_inOrder;
        if (m_inOrder >= m_inOrderAt) m_ending.notify_all();  // the supervisor hands them on
        if (error && i < m_failedAt) {
            try {
                std::rethrow_exception(error);
            } catch (const Skipped&) {
                error = nullptr;  // not painted because an earlier one failed or the run stopped
            } catch (...) {
            }
            if (error) m_failedAt = i, m_failure = error;
        }
        if (m_waiting > 0) m_changed.notify_all();  // a painting waits for its turn
        if (painted && m_painted == 1) m_ending.notify_all();  // the first word comes at once
    }

    void stop() {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
        m_ending.notify_all();
    }

    struct Skipped {};
    static constexpr char kPainted = 1, kNotPainted = 2;

    const size_t m_count;
    tk::Picture m_first;
    const PaintSteps& m_steps;
    std::mutex m_mutex;
    std::condition_variable m_changed;  // a picture is done: for paintings waiting their turn
    std::condition_variable m_ending;   // a worker has returned
    int m_waiting = 0;                  // paintings waiting their turn
    std::vector<char> m_done;  // painted, or failed or given up (0 while neither)
    size_t m_next = 0;
    size_t m_painted = 0;
    size_t m_inOrder = 0;    // pictures 0 .. m_inOrder - 1 are painted
    size_t m_inOrderAt;      // when inOrder is to hear of them next
    size_t m_ended = 0;  // workers that have returned
    size_t m_failedAt = SIZE_MAX;
    std::exception_ptr m_failure;
    bool m_stop = false;
};

}  // namespace

void paintAll(size_t count, int threads, tk::Picture first, const PaintSteps& steps, const std::function<void(size_t)>& progress) {
    Run run(count, std::move(first), steps);
    std::vector<std::thread> workers;
    const int used = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(threads, 1)), std::max<size_t>(count, 1)));
    for (int w = 0; w < used; ++w) {
        // A thread the system cannot start (no memory, a limit on processes) means fewer threads.
        std::optional<std::thread> worker = storage::startThread([&run, w] {
            run.work(w);
            run.workerEnded();
        });
        if (!worker) break;
        workers.push_back(std::move(*worker));
    }
    // None at all: the calling thread paints, then hears of it all at once.
    if (workers.empty()) run.work(0);
    run.supervise(workers, progress);
}

}  // namespace compose
