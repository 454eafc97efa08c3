#include "storage/PictureFile.h"

#include "storage/FileReads.h"
#include "storage/Failure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>

namespace storage {
namespace {

// No bitmap this program reads is larger: 256 Mi pixels of 64 bits, plus headers.
constexpr uint64_t kLargestFile = (uint64_t{1} << 31) + (uint64_t{1} << 20);

std::atomic<uint64_t> g_readAsPaintedFrom{uint64_t{256} << 10};

ssize_t kernelNoWaitRead(int fd, uint8_t* data, size_t size) {
    iovec part{data, size};
    return ::preadv2(fd, &part, 1, -1, RWF_NOWAIT);
}
std::atomic<NoWaitRead> g_noWaitRead{kernelNoWaitRead};

[[noreturn]] void notAPicture(const std::string& path, const std::string& reason) {
    throw Failure(Refusal::NotAPicture, EILSEQ, path, "Invalid picture: %1\n" + reason);
}

[[noreturn]] void outOfMemory(const std::string& path) {
    throw Failure(Refusal::OutOfMemory, ENOMEM, path, "Out of memory loading %1");
}

// One reusable read buffer a thread: loading thousands of small files allocates once.
struct ReadBuffer {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    uint8_t* reserve(size_t size) {
        if (size > capacity) {
            bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
            capacity = size;
        }
        return bytes.get();
    }
};
thread_local ReadBuffer t_buffer;

const char* kindOfNode(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

void refuseUnlessRegular(const struct stat& st, const std::string& path) {
    if (S_ISDIR(st.st_mode)) throw Failure(EISDIR, path);
    if (!S_ISREG(st.st_mode)) notAPicture(path, std::string(kindOfNode(st.st_mode)) + ", not a picture file");
}

// Reads from the file's position until size bytes or the end of the file. With storageWait, it
// first takes only what memory holds (RWF_NOWAIT), and storageWait hears when the rest must come
// from the storage (or the file system cannot say) before the reads that wait for it.
size_t readUpTo(int fd, uint8_t* data, size_t size, const std::function<void()>& storageWait, const std::string& path) {
    size_t got = 0;
    while (storageWait && got < size) {
        const ssize_t n = g_noWaitRead(fd, data + got, size - got);
        if (n == 0) return got;  // the end of the file
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            storageWait();
            break;
        }
        got += static_cast<size_t>(n);
    }
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(errno, path);
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

}  // namespace

uint64_t readAsPaintedFrom() { return g_readAsPaintedFrom; }
void setReadAsPaintedFrom(uint64_t bytes) { g_readAsPaintedFrom = bytes; }
void setNoWaitRead(NoWaitRead read) { g_noWaitRead = read ? read : kernelNoWaitRead; }

PictureFile::~PictureFile() { ::close(m_fd); }

void PictureFile::shrank() const {
    struct stat st {};
    ::fstat(m_fd, &st);
    notAPicture(m_path, "the file ends before its pixel data ends; it changed while it was read (" + std::to_string(st.st_size) +
                            " bytes now)");
}

void PictureFile::readAt(uint8_t* into, size_t count, uint64_t offset) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, into + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(errno, m_path);
        if (n == 0) shrank();
        got += static_cast<size_t>(n);
    }
}

const bmp::Image& PictureFile::whole() {
    if (m_whole) return *m_whole;
    const int32_t width = m_reader.width(), height = m_reader.height();
    const uint64_t first = std::min(m_reader.rowOffset(0), m_reader.rowOffset(height - 1));
    const uint64_t end = std::max(m_reader.rowOffset(0), m_reader.rowOffset(height - 1)) + m_reader.rowBytes();
    try {
        auto image = std::make_shared<bmp::Image>();
        image->width = width, image->height = height, image->hasAlpha = m_reader.hasAlpha();
        image->pixels = bmp::allocatePixels(static_cast<size_t>(width) * static_cast<size_t>(height));
        auto stored = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(end - first));
        readAt(stored.get(), static_cast<size_t>(end - first), first);
        for (int32_t y = 0; y < height; ++y) m_reader.decodeRow(stored.get() + (m_reader.rowOffset(y) - first), image->row(y));
        m_whole = std::move(image);
    } catch (const std::bad_alloc&) {
        outOfMemory(m_path);
    }
    return *m_whole;
}

PictureRows PictureFile::rows(std::vector<int32_t> wanted, const std::vector<int32_t>* columns) {
    // Most of the picture: one read of the whole is cheaper than many small ones.
    if (m_whole || wanted.size() * 2 >= static_cast<size_t>(m_reader.height())) return PictureRows(whole());
    const size_t width = static_cast<size_t>(m_reader.width()), bytes = m_reader.rowBytes();
    auto pixels = std::make_unique_for_overwrite<uint32_t[]>(wanted.size() * width);
    // Every wanted row read at once (one submission to the kernel where it can), then decoded.
    auto stored = std::make_unique_for_overwrite<uint8_t[]>(wanted.size() * bytes);
    std::vector<FileRange> ranges;
    ranges.reserve(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) ranges.push_back({m_reader.rowOffset(wanted[i]), bytes, stored.get() + i * bytes});
    if (const int error = readRanges(m_fd, ranges)) {
        if (error > 0) throw Failure(error, m_path);
        shrank();
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
        const uint8_t* row = stored.get() + i * bytes;
        // A row stretched much narrower: decode just the columns the paint takes.
        if (columns && columns->size() * 4 < width) m_reader.decodeColumns(row, pixels.get() + i * width, *columns);
        else m_reader.decodeRow(row, pixels.get() + i * width);
    }
    return PictureRows(std::move(wanted), std::move(pixels), static_cast<int32_t>(width));
}

const uint32_t* PictureRows::sampledRow(int32_t y) const {
    const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), y);
    return m_pixels.get() + static_cast<size_t>(at - m_rows.begin()) * static_cast<size_t>(m_width);
}

namespace {

// The file at path opened for reading, unless it is looked at and found no regular file (a device
// or a pipe is never opened).
int openLookedAt(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) refuseUnlessRegular(st, path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw Failure(errno, path);
    return fd;
}

struct Closer {
    int fd;
    ~Closer() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

PictureBytes readPictureFile(const std::string& path, const std::function<void()>& storageWait) {
    Closer closer{openLookedAt(path)};
    const int fd = closer.fd;
    struct stat st;
    if (::fstat(fd, &st) != 0) throw Failure(errno, path);
    refuseUnlessRegular(st, path);
    if (static_cast<uint64_t>(st.st_size) > kLargestFile)
        notAPicture(path, "the file is too large to be a picture (" + std::to_string(st.st_size) + " bytes)");

    const size_t expected = static_cast<size_t>(st.st_size);
    if (expected >= readAsPaintedFrom()) {
        // A large file: its header and palette first; an uncompressed one is read as painted.
        uint8_t* head = t_buffer.reserve(kPictureHead);
        const size_t got = readUpTo(fd, head, kPictureHead, storageWait, path);
        if (auto reader = bmp::RowReader::open(head, got, std::max<uint64_t>(got, static_cast<uint64_t>(st.st_size)))) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);  // rows far apart: no read-ahead between them
            closer.fd = -1;  // the picture keeps it
            return {nullptr, 0, std::make_shared<PictureFile>(fd, path, *reader)};
        }
        if (::lseek(fd, 0, SEEK_SET) != 0) throw Failure(errno, path);  // read it whole after all
    }
    uint8_t* data = t_buffer.reserve(expected);
    // A file that shrank meanwhile: what is there.
    return {data, readUpTo(fd, data, expected, storageWait, path), nullptr};
}

size_t readHead(const std::string& path, uint8_t* into, size_t size) {
    const Closer closer{openLookedAt(path)};
    return readUpTo(closer.fd, into, size, {}, path);
}

void releaseLargeReadBuffer() {
    if (t_buffer.capacity > (size_t{16} << 20)) {
        t_buffer.bytes.reset();
        t_buffer.capacity = 0;
    }
}

}  // namespace storage
