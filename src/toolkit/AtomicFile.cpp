#include "toolkit/AtomicFile.h"

#include "toolkit/Errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tk {
namespace {
constexpr size_t kBufferSize = size_t{1} << 20;
}

AtomicFile::AtomicFile(std::string target) : m_target(std::move(target)) {
    const size_t slash = m_target.rfind('/');
    m_folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : m_target.substr(0, slash));
    const std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    // A name that does not end in ".bmp", so a temporary file never shows up as a picture.
    std::string pattern = m_folder + (m_folder == "/" ? "" : "/") + "." + name + ".XXXXXX.part";
    m_fd = ::mkostemps(pattern.data(), 5, O_CLOEXEC);
    if (m_fd < 0) fail(errno);
    m_temporary = pattern;
    // mkstemp makes the file private; give it the mode a new file normally gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(m_fd, 0666 & ~mask);
    m_buffer.reserve(kBufferSize);
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void AtomicFile::fail(int errnoValue) {
    throw fileError(errnoValue, QStringLiteral("the folder %1").arg(displayPath(m_folder)));
}

void AtomicFile::write(const uint8_t* bytes, size_t count) {
    while (count > 0) {
        const size_t n = std::min(count, kBufferSize - m_buffer.size());
        m_buffer.insert(m_buffer.end(), bytes, bytes + n);
        bytes += n;
        count -= n;
        if (m_buffer.size() == kBufferSize) flushBuffer();
    }
}

void AtomicFile::flushBuffer() {
    const uint8_t* p = m_buffer.data();
    size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(errno);
        if (n == 0) fail(ENOSPC);
        p += n;
        left -= static_cast<size_t>(n);
    }
    m_buffer.clear();
}

void AtomicFile::commit() {
    flushBuffer();
    if (::fsync(m_fd) != 0) fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) fail(errno);
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) fail(errno);
    m_committed = true;
    // Make the rename itself durable; a folder that cannot be synced is no reason to fail.
    const int dir = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace tk
