#include "storage/ReadAhead.h"

#include "bitmap/BmpReader.h"
#include "storage/FileReads.h"
#include "storage/PictureFile.h"
#include "storage/Threads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace storage {
namespace {
ReadAhead::Hinted g_hinted = nullptr;
}  // namespace

void ReadAhead::setHinted(Hinted hinted) { g_hinted = hinted; }

ReadAhead::ReadAhead(const std::vector<std::string>& paths, size_t window, Cell cell)
    : m_paths(paths), m_window(window), m_cell(cell) {
    // Hints only help: where the system starts no helper, the reader goes on without them.
    if (std::optional<std::thread> helper = startThread([this] { run(); })) m_thread = std::move(*helper);
}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_moved.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void ReadAhead::reached(size_t index) {
    bool working = false;
    {
        const std::lock_guard lock(m_mutex);
        if (index <= m_reached) return;
        m_reached = index;
        working = m_until > index;
    }
    if (working) m_moved.notify_all();
}

void ReadAhead::storageWaited() {
    {
        const std::lock_guard lock(m_mutex);
        m_until = std::max(m_until, m_reached + 1 + 2 * m_window);
    }
    m_moved.notify_all();
}

void ReadAhead::run() {
    for (size_t i = 0; i < m_paths.size(); ++i) {
        {
            std::unique_lock lock(m_mutex);
            m_moved.wait(lock, [&] {
                i = std::max(i, m_reached + 1);  // files the readers have reached are theirs: no hint would come in time
                return m_stop || (i < m_until && i <= m_reached + m_window);
            });
            if (m_stop || i >= m_paths.size()) return;
        }
        try {
            hint(m_paths[i]);
        } catch (...) {
            // Only a hint failed (a broken header, no memory): the reader meets the file and says why.
        }
        if (g_hinted) g_hinted(m_paths[i]);
    }
}

void ReadAhead::hint(const std::string& path) const {
    // Only regular files: a pipe or a device is the reader's to refuse, never opened here.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return;  // the reader will meet it and say why
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (m_cell.height > 0 && static_cast<uint64_t>(st.st_size) >= readAsPaintedFrom()) {
        // A large picture: its header says where the rows the cell samples lie.
        std::vector<uint8_t> head(kPictureHead);
        const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
        std::optional<bmp::RowReader> rows;
        try {
            if (got > 0) rows = bmp::RowReader::open(head.data(), static_cast<size_t>(got), static_cast<uint64_t>(st.st_size));
        } catch (const bmp::FormatError&) {
            return;  // the reader will refuse it
        }
        if (rows && rows->height() > m_cell.height) {
            std::vector<FileRange> ranges;
            const auto hintRow = [&](int64_t y) { ranges.push_back({rows->rowOffset(static_cast<int32_t>(y)), rows->rowBytes()}); };
            // The row each cell row takes when the picture is stretched into the cell.
            for (int64_t k = 0; k < m_cell.height; ++k) hintRow((2 * k + 1) * rows->height() / (2 * int64_t{m_cell.height}));
            if (m_cell.topRows)
                for (int64_t y = 0; y < m_cell.height; ++y) hintRow(y);
            hintRanges(fd, ranges);  // all at once where the kernel can take them so
            return;
        }
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
}

}  // namespace storage
