#pragma once
// Keeps the storage busy ahead of a reader that takes files one after another: a helper thread
// asks the kernel to start reading the next files of the list (posix_fadvise WILLNEED) while the
// current one is decoded, staying at most `window` files ahead of the reader. On a cold cache (a
// camera card, a network share, after a reboot) the storage then serves many requests at once
// instead of one at a time.
//
// On a warm cache the hints would only cost calls: the helper works only after a reader has had
// to wait for the storage (storageWaited), and then for the next 2 x window files; a storage that
// keeps the reader waiting keeps it working.
//
// It only hints: nothing but a large file's header is read into this process, the reader still
// opens and reads each file itself, in order, as the file is when its turn comes, and a file
// that is gone or unreadable is the reader's to report. Destroying it stops the helper at once.

#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace storage {

// The cell the pictures go into, in pixels: a large uncompressed picture taller than the cell is
// read only in the rows the cell samples (and, with topRows, its top cell-height rows, which drop
// to floor draws at their own size), so only those rows are hinted.
struct ReadAheadCell {
    int32_t width = 0, height = 0;
    bool topRows = false;
};

class ReadAhead {
public:
    using Cell = ReadAheadCell;
    // paths must outlive this object.
    explicit ReadAhead(const std::vector<std::string>& paths, size_t window = 64, Cell cell = {});
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The reader is about to read paths[index]: hints may run up to index + window.
    void reached(size_t index);
    // A reader found bytes it needs not in memory: the helper works on the next 2 x window files.
    void storageWaited();

    // Tests: hears each file once the helper has hinted it (null: none). Set while no ReadAhead
    // lives.
    using Hinted = void (*)(const std::string& path);
    static void setHinted(Hinted hinted);

private:
    void run();
    void hint(const std::string& path) const;

    const std::vector<std::string>& m_paths;
    const size_t m_window;
    const Cell m_cell;
    std::mutex m_mutex;
    std::condition_variable m_moved;
    size_t m_reached = 0;
    bool m_stop = false;
    size_t m_until = 0;  // the helper hints files before this one
    std::thread m_thread;  // last: starts once everything above is ready
};

}  // namespace storage
