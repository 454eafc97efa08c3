#include "storage/AtomicFile.h"

#include "storage/Failure.h"
#include "storage/Links.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

namespace storage {
namespace {

const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

AtomicFile::BeforeOpenInPlace g_beforeOpenInPlace = nullptr;

}  // namespace

// Nodes written in place: devices, named pipes, open files, and regular files a rename would
// not keep.

// A regular file the user may write that a rename could not keep: in a folder they may not write
// (no file can be made beside it), or with more than one hard link (the rename would part it from
// its other names). It is written in place, as an editor saves over such a file.
bool AtomicFile::replacedInPlace(const std::string& target, const struct stat& st) {
    return S_ISREG(st.st_mode) && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 &&
           (st.st_nlink > 1 || ::faccessat(AT_FDCWD, folderOf(target).c_str(), W_OK, AT_EACCESS) != 0);
}

bool AtomicFile::writesInPlace(const std::string& target) {
    try {
        bool openFile = false;
        const std::string followed = followLinks(target, openFile);
        struct stat existing;
        return openFile ||
               (::stat(followed.c_str(), &existing) == 0 && (!S_ISREG(existing.st_mode) || replacedInPlace(followed, existing)));
    } catch (const Failure&) {
        return true;  // a link not to be followed: the save itself says why
    }
}

AtomicFile::AtomicFile(int fd, const std::string& name) : m_target(name), m_inPlace(true) {
    m_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (m_fd < 0) fail(errno);
    m_buffer.reserve(kBufferSize);
}

void AtomicFile::setBeforeOpenInPlace(BeforeOpenInPlace hook) { g_beforeOpenInPlace = hook; }

void AtomicFile::openInPlace(const struct stat& checked, bool openFile, PipeWait pipeWait) {
    // A device, a named pipe or an open file named through /proc takes the bytes as they come:
    // it stays what it is (no temporary file, no rename). The node is opened without following a
    // final link (but /proc's own, which is the open file) and without waiting, then checked to be
    // the very node looked at, of the same kind: one swapped in between (a regular file for a
    // pipe, a planted link) is refused with nothing written. Only an open file's own regular file
    // is emptied first, as a shell's > empties it. A pipe nobody reads either waits for its reader,
    // as command-line tools do, or is given up at once with a message.
    m_inPlace = true;
    m_regularInPlace = !openFile && S_ISREG(checked.st_mode);
    const bool pipe = S_ISFIFO(checked.st_mode);
    const int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (openFile ? 0 : O_NOFOLLOW) |
                      (openFile && S_ISREG(checked.st_mode) ? O_TRUNC : 0);
    if (g_beforeOpenInPlace) g_beforeOpenInPlace(m_target);
    int fd = -1;
    for (int waited = 0; fd < 0; ++waited) {
        fd = ::open(m_target.c_str(), flags);
        if (fd >= 0 || errno == EINTR) continue;
        if (errno != ENXIO || !pipe) fail(errno);
        if (pipeWait == PipeWait::GiveUp)
            throw Failure(Refusal::Access, ENXIO, m_target,
                          "Path/File access error: no program is reading from the named pipe %1; start the program that "
                          "reads it, then save again");
        ::usleep(static_cast<useconds_t>(std::min(waited + 1, 10) * 10000));  // a reader may come at any time
    }
    m_fd = fd;
    struct stat opened {};
    const bool same = ::fstat(fd, &opened) == 0 && opened.st_dev == checked.st_dev && opened.st_ino == checked.st_ino &&
                      (opened.st_mode & S_IFMT) == (checked.st_mode & S_IFMT);
    const bool terminal = ::isatty(fd);
    if (!same || terminal) {
        ::close(std::exchange(m_fd, -1));
        if (terminal)
            throw Failure(Refusal::Access, ENOTTY, m_target,
                          "Path/File access error: %1 is a terminal; a picture is not written onto a terminal");
        throw Failure(Refusal::Access, ESTALE, m_target,
                      std::string("Path/File access error: %1 was ") + kindOf(checked.st_mode) +
                          " when it was looked at, but another node, " + kindOf(opened.st_mode) +
                          ", was opened in its place; nothing was written into it");
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);  // then write as to any file
    m_buffer.reserve(kBufferSize);
}

}  // namespace storage
