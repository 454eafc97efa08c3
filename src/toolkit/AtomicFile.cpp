#include "toolkit/AtomicFile.h"

#include "toolkit/Errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace tk {
namespace {

constexpr size_t kBufferSize = size_t{1} << 20;
constexpr int kLinkHops = 40;  // as the kernel allows when it follows links itself

// The temporary files being written, for the signal handler to remove: a sheet and its frame list
// may be open together.
constexpr size_t kMostOpen = 4;
std::atomic<const char*> g_partFiles[kMostOpen] = {};
int g_watching = 0;  // temporary files noted; the handlers are in place while there is one
constexpr int kCleanUpSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};  // SIGXFSZ: past the user's file size limit
struct sigaction g_previous[std::size(kCleanUpSignals)];
bool g_installed[std::size(kCleanUpSignals)] = {};

void removePartFilesAndDie(int signal) {
    for (auto& slot : g_partFiles)
        if (const char* part = slot.exchange(nullptr)) ::unlink(part);
    for (size_t i = 0; i < std::size(kCleanUpSignals); ++i)
        if (kCleanUpSignals[i] == signal) ::sigaction(signal, &g_previous[i], nullptr);
    ::raise(signal);  // as the signal would have ended the program without us
}

void watchSignals(const char* part) {
    for (auto& slot : g_partFiles) {
        const char* none = nullptr;
        if (slot.compare_exchange_strong(none, part)) break;
    }
    if (g_watching++ > 0) return;
    for (size_t i = 0; i < std::size(kCleanUpSignals); ++i) {
        struct sigaction now {};
        now.sa_handler = removePartFilesAndDie;
        sigemptyset(&now.sa_mask);
        struct sigaction before {};
        ::sigaction(kCleanUpSignals[i], nullptr, &before);
        if (before.sa_handler == SIG_IGN) continue;  // a background job ignores it: so do we
        g_installed[i] = ::sigaction(kCleanUpSignals[i], &now, &g_previous[i]) == 0;
    }
}

void unwatchSignals(const char* part) {
    for (auto& slot : g_partFiles) {
        const char* expected = part;
        if (slot.compare_exchange_strong(expected, nullptr)) break;
    }
    if (--g_watching > 0) return;
    for (size_t i = 0; i < std::size(kCleanUpSignals); ++i)
        if (std::exchange(g_installed[i], false)) ::sigaction(kCleanUpSignals[i], &g_previous[i], nullptr);
}

// Blocks every signal while it lives, so that nothing ends the program between two steps.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t all;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &m_before);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_before;
};

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// A link in a sticky folder that anybody may write to (such as /tmp) is followed only when it
// belongs to the user or to the folder's owner, the rule the kernel applies itself where
// fs.protected_symlinks is on: another user's planted link could otherwise turn a save into
// the replacement of any file the user may write.
void refuseForeignLink(const std::string& link, const struct stat& linkStat) {
    struct stat folder;
    if (::stat(folderOf(link).c_str(), &folder) != 0) return;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    if (!shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == folder.st_uid) return;
    throw Error(kPermissionDenied, QStringLiteral("Permission denied: %1 is a link that belongs to another user in a "
                                                  "folder anybody may write to; it is not followed")
                                       .arg(displayPath(link)));
}

// Whether a folder is one of /proc's, where a link names an open file (/dev/fd/1, /dev/stdout and
// what a shell's >(...) gives all lead there) rather than a place in a folder.
bool inProc(const std::string& folder) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr), &std::free);
    return real && (std::strcmp(real.get(), "/proc") == 0 || std::strncmp(real.get(), "/proc/", 6) == 0);
}

// The file a path names once its symbolic links are followed; a dangling link gives the path
// it points to, where the file will be made. openFile is set when the path ends in a link of
// /proc's: what it names is an open file, not a place in a folder.
std::string followLinks(std::string path, bool& openFile) {
    for (int hop = 0; hop < kLinkHops; ++hop) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        refuseForeignLink(path, st);
        if (inProc(folderOf(path))) {
            openFile = true;
            return path;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return path;
        link.resize(static_cast<size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    throw fileError(ELOOP, displayPath(path));
}

const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

// A writable regular file that a rename could not keep: in a folder the user may not write (no
// file can be made beside it), or with more than one hard link (the rename would part it from its
// other names). It is written in place, as an editor saves over such a file.
bool replacedInPlace(const std::string& target, const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_nlink > 1 || ::faccessat(AT_FDCWD, folderOf(target).c_str(), W_OK, AT_EACCESS) != 0);
}

AtomicFile::BeforeOpenInPlace g_beforeOpenInPlace = nullptr;

}  // namespace

AtomicFile::AtomicFile(const std::string& target, PipeWait pipeWait) {
    bool openFile = false;
    m_target = followLinks(target, openFile);
    if (openFile) m_target = target;  // opened through its links as given, and named so in messages
    m_folder = folderOf(m_target);
    struct stat existing;
    const bool exists = ::stat(m_target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) throw fileError(EISDIR, displayPath(m_target));
    if (exists && S_ISSOCK(existing.st_mode))
        throw Error(kPathFileAccess, QStringLiteral("Path/File access error: %1 is a socket; a picture cannot be "
                                                    "written into it").arg(displayPath(m_target)));
    if (exists && (openFile || S_ISFIFO(existing.st_mode) || S_ISCHR(existing.st_mode) || S_ISBLK(existing.st_mode))) {
        openInPlace(existing, openFile, pipeWait);
        return;
    }
    if (exists && ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0) throw fileError(errno, displayPath(m_target));
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
    if (m_fd < 0) throw fileError(error, QStringLiteral("the folder %1").arg(displayPath(m_folder)));

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

bool AtomicFile::writesInPlace(const std::string& target) {
    try {
        bool openFile = false;
        const std::string followed = followLinks(target, openFile);
        struct stat existing;
        return openFile || (::stat(followed.c_str(), &existing) == 0 &&
                            (!S_ISREG(existing.st_mode) || (::faccessat(AT_FDCWD, followed.c_str(), W_OK, AT_EACCESS) == 0 &&
                                                            replacedInPlace(followed, existing))));
    } catch (const Error&) {
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
            throw Error(kPathFileAccess, QStringLiteral("Path/File access error: no program is reading from the named pipe "
                                                        "%1; start the program that reads it, then save again")
                                             .arg(displayPath(m_target)));
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
            throw Error(kPathFileAccess, QStringLiteral("Path/File access error: %1 is a terminal; a picture is not "
                                                        "written onto a terminal").arg(displayPath(m_target)));
        throw Error(kPathFileAccess, QStringLiteral("Path/File access error: %1 was %2 when it was looked at, but another "
                                                    "node, %3, was opened in its place; nothing was written into it")
                                         .arg(displayPath(m_target), QLatin1String(kindOf(checked.st_mode)),
                                              QLatin1String(kindOf(opened.st_mode))));
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);  // then write as to any file
    m_buffer.reserve(kBufferSize);
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
    if (!m_temporary.empty() && !m_committed) unwatchSignals(m_temporary.c_str());
}

void AtomicFile::fail(int errnoValue) { throw fileError(errnoValue, displayPath(m_target)); }

void AtomicFile::write(const uint8_t* bytes, size_t count) {
    while (count > 0) {
        const size_t n = std::min(count, kBufferSize - m_buffer.size());
        m_buffer.insert(m_buffer.end(), bytes, bytes + n);
        bytes += n;
        count -= n;
        if (m_buffer.size() == kBufferSize) flushBuffer();
    }
}

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
    int result;
    while ((result = ::fallocate(m_fd, m_regularInPlace ? FALLOC_FL_KEEP_SIZE : 0, 0, static_cast<off_t>(size))) != 0 && errno == EINTR) {
    }
    // A size past the user's limit is left to the writes, which fail where the limit is.
    if (result != 0 && (errno == ENOSPC || errno == EDQUOT)) fail(errno);
}

void AtomicFile::useCache() {
    const std::lock_guard lock(m_directMutex);
    if (m_direct.exchange(false)) ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_DIRECT);
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

void AtomicFile::commitTogether(AtomicFile& first, AtomicFile& second) {
    // Both complete and on disk first: a failure here (a full disk) leaves both targets as they were.
    first.finish();
    second.finish();
    // Then the two renames, with no signal between them. Should the second fail, the first target
    // gets back what it held, kept under a temporary name of its own until then.
    const SignalsHeld held;
    std::string kept;
    struct stat st;
    if (!first.m_inPlace && ::lstat(first.m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        kept = first.m_temporary + ".kept";
        if (::link(first.m_target.c_str(), kept.c_str()) != 0) kept.clear();
    }
    first.publish();
    try {
        second.publish();
    } catch (...) {
        if (!first.m_inPlace) {
            if (kept.empty()) ::unlink(first.m_target.c_str());
            else ::rename(kept.c_str(), first.m_target.c_str());
        }
        throw;
    }
    if (!kept.empty()) ::unlink(kept.c_str());
}

}  // namespace tk
