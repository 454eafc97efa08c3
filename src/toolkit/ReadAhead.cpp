#include "toolkit/ReadAhead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tk {

ReadAhead::ReadAhead(const std::vector<std::string>& paths, size_t window)
    : m_paths(paths), m_window(window), m_thread([this] { run(); }) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_moved.notify_all();
    m_thread.join();
}

void ReadAhead::reached(size_t index) {
    {
        const std::lock_guard lock(m_mutex);
        if (index <= m_reached) return;
        m_reached = index;
    }
    m_moved.notify_all();
}

void ReadAhead::run() {
    for (size_t i = 0; i < m_paths.size(); ++i) {
        {
            std::unique_lock lock(m_mutex);
            m_moved.wait(lock, [&] { return m_stop || i <= m_reached + m_window; });
            if (m_stop) return;
        }
        // Only regular files: a pipe or a device is the reader's to refuse, never opened here.
        struct stat st;
        if (::stat(m_paths[i].c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const int fd = ::open(m_paths[i].c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) continue;  // the reader will meet it and say why
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
        ::close(fd);
    }
}

}  // namespace tk
