#include "storage/AtomicFile.h"

#include "storage/Failure.h"
#include "storage/Links.h"
#include "storage/SignalCleanup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace storage {

// The file replaced by rename: a temporary file beside the target, renamed over it once complete.

AtomicFile::AtomicFile(const std::string& target, PipeWait pipeWait) {
    bool openFile = false;
    m_target = followLinks(target, openFile);
    if (openFile) m_target = target;  // opened through its links as given, and named so in messages
    m_folder = folderOf(m_target);
    struct stat existing;
    const bool exists = ::stat(m_target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) throw Failure(EISDIR, m_target);
    if (exists && S_ISSOCK(existing.st_mode))
        throw Failure(Refusal::Access, ENXIO, m_target, "Path/File access error: %1 is a socket; a picture cannot be written into it");
    if (exists && (openFile || S_ISFIFO(existing.st_mode) || S_ISCHR(existing.st_mode) || S_ISBLK(existing.st_mode))) {
        openInPlace(existing, openFile, pipeWait);
        return;
    }
    if (exists && ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0) throw Failure(errno, m_target);
    if (exists && replacedInPlace(m_target, existing)) {
        openInPlace(existing, false, pipeWait);
        return;
    }

    // A name that does not end in ".bmp", so a temporary file never shows up as a picture.
    const std::string name = m_target.substr(m_target.rfind('/') + 1);
    std::string pattern = m_folder + (m_folder == "/" ? "" : "/") + "." + name + ".XXXXXX.part";
    int error = 0;
    {
        const SignalsHeld held;  // no signal between making the file and noting it for removal
        m_fd = ::mkostemps(pattern.data(), 5, O_CLOEXEC);
        error = errno;
        if (m_fd >= 0) {
            m_temporary = pattern;
            watchSignals(m_temporary.c_str());
        }
    }
    if (m_fd < 0) throw Failure(Refusal::None, error, m_folder, "the folder %1");

    if (exists) {
        // Keep the file as it was: its permissions, and its owner and group where we may.
        if (::fchown(m_fd, existing.st_uid, existing.st_gid) != 0) (void)!::fchown(m_fd, static_cast<uid_t>(-1), existing.st_gid);
        ::fchmod(m_fd, existing.st_mode & 07777);
    } else {
        // mkstemp makes the file private; give it the mode a new file normally gets.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(m_fd, 0666 & ~mask);
    }
    m_buffer.reserve(kBufferSize);
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
    if (!m_temporary.empty() && !m_committed) unwatchSignals(m_temporary.c_str());
}

void AtomicFile::fail(int errnoValue) { throw Failure(errnoValue, m_target); }

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
    // The storage starts on what is written while the rest is being made, so the flush at the end
    // has less to wait for (a pipe or a device does not take the hint, and needs none).
    if (!m_inPlace) ::sync_file_range(m_fd, static_cast<off_t>(m_written), static_cast<off_t>(m_buffer.size()), SYNC_FILE_RANGE_WRITE);
    m_written += m_buffer.size();
    m_buffer.clear();
}

void AtomicFile::commit() {
    finish();
    publish();
}

void AtomicFile::finish() {
    flushBuffer();
    // A regular file written in place keeps its first bytes until they are written over, and is
    // then cut to what was written.
    if (m_regularInPlace && ::ftruncate(m_fd, static_cast<off_t>(m_written)) != 0) fail(errno);
    // Pipes and terminals cannot be synced; anything else that refuses is a failed save.
    if (::fsync(m_fd) != 0 && !(m_inPlace && (errno == EINVAL || errno == EROFS || errno == ENOTSUP))) fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && !(m_inPlace && errno == EINTR)) fail(errno);
    if (m_inPlace) m_committed = true;  // the bytes are where they belong
}

void AtomicFile::publish() {
    if (m_inPlace) return;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) fail(errno);
    m_committed = true;
    unwatchSignals(m_temporary.c_str());
    // Make the rename itself durable; a folder that cannot be synced is no reason to fail.
    const int dir = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void AtomicFile::commitTogether(AtomicFile& first, AtomicFile& second) { commitAll({&first, &second}); }

void AtomicFile::commitAll(const std::vector<AtomicFile*>& files) {
    // All complete and on disk first: a failure here (a full disk) leaves every target as it was.
    for (AtomicFile* file : files) file->finish();
    // Then the renames, with no signal between them. Should one fail, each target renamed before
    // it gets back what it held, kept under a temporary name of its own until then.
    const SignalsHeld held;
    std::vector<std::string> kept(files.size());
    size_t published = 0;
    try {
        for (; published < files.size(); ++published) {
            AtomicFile& file = *files[published];
            struct stat st;
            if (!file.m_inPlace && ::lstat(file.m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                kept[published] = file.m_temporary + ".kept";
                if (::link(file.m_target.c_str(), kept[published].c_str()) != 0) kept[published].clear();
            }
            file.publish();
        }
    } catch (...) {
        for (size_t i = 0; i < published; ++i) {
            if (files[i]->m_inPlace) continue;
            if (kept[i].empty()) ::unlink(files[i]->m_target.c_str());
            else ::rename(kept[i].c_str(), files[i]->m_target.c_str());
        }
        if (published < kept.size() && !kept[published].empty()) ::unlink(kept[published].c_str());
        throw;
    }
    for (const std::string& k : kept)
        if (!k.empty()) ::unlink(k.c_str());
}

}  // namespace storage
