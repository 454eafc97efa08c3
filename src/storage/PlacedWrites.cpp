#include "storage/AtomicFile.h"

#include "storage/Failure.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace storage {

// Bytes put at places of their own by many threads at once, past the page cache where the file
// system allows it, into room set aside first.

void AtomicFile::writeAt(const uint8_t* bytes, size_t count, uint64_t offset) {
    for (size_t done = 0; done < count;) {
        const bool direct = m_direct;
        const ssize_t n = ::pwrite(m_fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        // A file system that takes direct writes in general may still refuse one (a part of the
        // file it keeps otherwise): from then on the cache is used, by every thread.
        if (n < 0 && errno == EINVAL && direct) {
            useCache();
            continue;
        }
        if (n < 0) fail(errno);
        if (n == 0) fail(ENOSPC);
        done += static_cast<size_t>(n);
    }
    if (!m_direct) ::sync_file_range(m_fd, static_cast<off_t>(offset), static_cast<off_t>(count), SYNC_FILE_RANGE_WRITE);
}

size_t AtomicFile::bypassCache() {
    if (m_inPlace || m_fd < 0) return 0;
    // What the file system asks of direct writes (Linux 6.1 and later say; else no bypass).
    struct statx st {};
    if (::statx(m_fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &st) != 0 || !(st.stx_mask & STATX_DIOALIGN) ||
        st.stx_dio_offset_align == 0 || st.stx_dio_mem_align == 0)
        return 0;
    const size_t multiple = std::max<size_t>({st.stx_dio_offset_align, st.stx_dio_mem_align, 4096});
    if (multiple > 4096 || ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_DIRECT) != 0) return 0;
    m_direct = true;
    return multiple;
}

void AtomicFile::reserve(uint64_t size) {
    if ((m_inPlace && !m_regularInPlace) || size == 0) return;
    // A file the user's size limit cannot hold is refused before a byte is written: written in
    // place, the writes would stop at the limit with the old file half overwritten.
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur) fail(EFBIG);
    int result;
    while ((result = ::fallocate(m_fd, m_regularInPlace ? FALLOC_FL_KEEP_SIZE : 0, 0, static_cast<off_t>(size))) != 0 && errno == EINTR) {
    }
    if (result != 0 && (errno == ENOSPC || errno == EDQUOT)) fail(errno);
}

void AtomicFile::useCache() {
    const std::lock_guard lock(m_directMutex);
    if (m_direct.exchange(false)) ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_DIRECT);
}

}  // namespace storage
