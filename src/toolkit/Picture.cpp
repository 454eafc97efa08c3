#include "toolkit/Picture.h"

#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "toolkit/AtomicFile.h"
#include "toolkit/EmbeddedImage.h"
#include "toolkit/Errors.h"
#include "toolkit/FileReads.h"
#include "toolkit/PictureWriter.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

// Weak: a program without the decoder linked in finds the module instead.
extern "C" bool quiltwright_decode_embedded(const uint8_t*, size_t, bool, uint64_t, tk::EmbeddedPixels*) __attribute__((weak));

namespace tk {
namespace {

// No bitmap this program reads is larger: 256 Mi pixels of 64 bits, plus headers.
constexpr uint64_t kLargestFile = (uint64_t{1} << 31) + (uint64_t{1} << 20);

std::atomic<uint64_t> g_readAsPaintedFrom{uint64_t{256} << 10};

ssize_t kernelNoWaitRead(int fd, uint8_t* data, size_t size) {
    iovec part{data, size};
    return ::preadv2(fd, &part, 1, -1, RWF_NOWAIT);
}
std::atomic<NoWaitRead> g_noWaitRead{kernelNoWaitRead};

Error invalidPicture(const std::string& path, const QString& reason) {
    return Error(kInvalidPicture, QStringLiteral("Invalid picture: %1\n%2").arg(displayPath(path), reason));
}

// The embedded-stream decoder: linked in (the window, the tests), else the module, opened once
// from beside the program or from the library folder it is installed with.
using EmbeddedDecoder = bool (*)(const uint8_t*, size_t, bool, uint64_t, EmbeddedPixels*);
EmbeddedDecoder embeddedDecoder() {
    static const EmbeddedDecoder decoder = []() -> EmbeddedDecoder {
        if (&quiltwright_decode_embedded) return &quiltwright_decode_embedded;
        std::string program(4096, '\0');
        const ssize_t n = ::readlink("/proc/self/exe", program.data(), program.size() - 1);
        if (n <= 0) return nullptr;
        program.resize(static_cast<size_t>(n));
        const std::string folder = program.substr(0, program.rfind('/') + 1);
        for (const std::string& place : {folder + kEmbeddedModule, folder + QW_MODULE_FROM_PROGRAM "/" + kEmbeddedModule}) {
            if (void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL))
                if (void* decode = ::dlsym(module, "quiltwright_decode_embedded")) return reinterpret_cast<EmbeddedDecoder>(decode);
        }
        return nullptr;
    }();
    return decoder;
}

Picture decodeEmbedded(const bmp::Decoded& decoded, const uint8_t* data, const std::string& path) {
    const bool jpeg = decoded.embedded == bmp::Embedded::Jpeg;
    const EmbeddedDecoder decode = embeddedDecoder();
    if (!decode)
        throw invalidPicture(path, QStringLiteral("it holds a %1 stream, and the decoder for such streams (%2) is not "
                                                  "installed beside the program")
                                       .arg(jpeg ? "JPEG" : "PNG", QLatin1String(kEmbeddedModule)));
    EmbeddedPixels pixels;
    if (!decode(data + decoded.streamOffset, decoded.streamSize, jpeg, bmp::kPixelBudget, &pixels))
        throw invalidPicture(path, QString::fromStdString(pixels.error));
    auto out = std::make_shared<bmp::Image>();
    out->width = pixels.width;
    out->height = pixels.height;
    out->hasAlpha = pixels.hasAlpha;
    out->pixels = bmp::allocatePixels(pixels.pixels.size());
    std::memcpy(out->pixels.get(), pixels.pixels.data(), pixels.pixels.size() * 4);
    return Picture(std::move(out));
}

// One reusable read buffer: loading thousands of small files allocates once.
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
    void releaseIfLarge() {
        if (capacity > (size_t{16} << 20)) {
            bytes.reset();
            capacity = 0;
        }
    }
};

const char* kindOfNode(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

void refuseUnlessRegular(const struct stat& st, const std::string& path) {
    if (S_ISDIR(st.st_mode)) throw fileError(EISDIR, displayPath(path));
    if (!S_ISREG(st.st_mode))
        throw invalidPicture(path, QStringLiteral("%1, not a picture file").arg(QLatin1String(kindOfNode(st.st_mode))));
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
        if (n < 0) throw fileError(errno, displayPath(path));
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

}  // namespace

uint64_t readAsPaintedFrom() { return g_readAsPaintedFrom; }
void setReadAsPaintedFrom(uint64_t bytes) { g_readAsPaintedFrom = bytes; }
void setNoWaitRead(NoWaitRead read) { g_noWaitRead = read ? read : kernelNoWaitRead; }

// A large uncompressed bitmap file, open, read a row at a time as it is painted.
class PictureFile {
public:
    PictureFile(int fd, std::string path, bmp::RowReader reader) : m_fd(fd), m_path(std::move(path)), m_reader(reader) {}
    ~PictureFile() { ::close(m_fd); }
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    const bmp::RowReader& reader() const { return m_reader; }
    const bmp::Image& whole();
    PictureRows rows(std::vector<int32_t> wanted, const std::vector<int32_t>* columns);

private:
    // Reads exactly count bytes at offset; a file that has shrunk since it was opened is
    // refused as a file cut short is, never painted with rows it does not hold.
    void readAt(uint8_t* into, size_t count, uint64_t offset);
    Error shrank() const;

    int m_fd;
    std::string m_path;
    bmp::RowReader m_reader;
    std::shared_ptr<bmp::Image> m_whole;
};

Error PictureFile::shrank() const {
    struct stat st {};
    ::fstat(m_fd, &st);
    return invalidPicture(m_path, QStringLiteral("the file ends before its pixel data ends; it changed while it was read "
                                                 "(%1 bytes now)").arg(st.st_size));
}

void PictureFile::readAt(uint8_t* into, size_t count, uint64_t offset) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, into + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fileError(errno, displayPath(m_path));
        if (n == 0) throw shrank();
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
        throw Error(kOutOfMemory, QStringLiteral("Out of memory loading %1").arg(displayPath(m_path)));
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
        if (error > 0) throw fileError(error, displayPath(m_path));
        throw shrank();
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

int32_t Picture::widthPixels() const { return m_file ? m_file->reader().width() : m_image ? m_image->width : 0; }
int32_t Picture::heightPixels() const { return m_file ? m_file->reader().height() : m_image ? m_image->height : 0; }
const bmp::Image& Picture::image() const { return m_file ? m_file->whole() : *m_image; }
PictureRows Picture::rows(std::vector<int32_t> wanted, const std::vector<int32_t>* columns) const {
    return m_file ? m_file->rows(std::move(wanted), columns) : PictureRows(*m_image);
}

Picture decodePicture(const uint8_t* data, size_t size, const std::string& path) {
    try {
        bmp::Decoded decoded = bmp::decode(data, size);
        if (decoded.embedded != bmp::Embedded::None) return decodeEmbedded(decoded, data, path);
        return Picture(std::make_shared<const bmp::Image>(std::move(decoded.image)));
    } catch (const bmp::FormatError& e) {
        throw invalidPicture(path, QString::fromStdString(e.what()));
    } catch (const std::bad_alloc&) {
        throw Error(kOutOfMemory, QStringLiteral("Out of memory loading %1").arg(displayPath(path)));
    }
}

Picture LoadPicture(const std::string& path, const std::function<void()>& storageWait) {
    // Only a regular file is a picture. A named pipe would wait for a writer for good and a device
    // would be read without end: both are refused before they are opened, and a file swapped for
    // one in between is refused before a byte is read (the open does not wait).
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) refuseUnlessRegular(st, path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw fileError(errno, displayPath(path));
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) ::close(fd);
        }
    } closer{fd};
    if (::fstat(fd, &st) != 0) throw fileError(errno, displayPath(path));
    refuseUnlessRegular(st, path);
    if (static_cast<uint64_t>(st.st_size) > kLargestFile)
        throw invalidPicture(path, QStringLiteral("the file is too large to be a picture (%1 bytes)").arg(st.st_size));

    static thread_local ReadBuffer buffer;
    const size_t expected = static_cast<size_t>(st.st_size);
    size_t got = 0;
    if (expected >= readAsPaintedFrom()) {
        // A large file: its header and palette first; an uncompressed one is read as painted.
        uint8_t* head = buffer.reserve(kPictureHead);
        got = readUpTo(fd, head, kPictureHead, storageWait, path);
        try {
            if (auto reader = bmp::RowReader::open(head, got, std::max<uint64_t>(got, static_cast<uint64_t>(st.st_size)))) {
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);  // rows far apart: no read-ahead between them
                closer.fd = -1;  // the picture keeps it
                return Picture(std::make_shared<PictureFile>(fd, path, *reader));
            }
        } catch (const bmp::FormatError& e) {
            throw invalidPicture(path, QString::fromStdString(e.what()));
        }
        if (::lseek(fd, 0, SEEK_SET) != 0) throw fileError(errno, displayPath(path));  // read it whole after all
        got = 0;
    }
    uint8_t* data = buffer.reserve(expected);
    got = readUpTo(fd, data, expected, storageWait, path);  // a file that shrank meanwhile: what is there
    Picture picture = decodePicture(data, got, path);
    buffer.releaseIfLarge();
    return picture;
}

void checkSavable(const bmp::Image& image) {
    if (bmp::fileSize24(image.width, image.height) == 0)
        throw Error(kInvalidPicture, QStringLiteral("A picture of %1 x %2 pixels cannot be saved as a bitmap file")
                                         .arg(image.width).arg(image.height));
}

void writePicture(const bmp::Image& image, AtomicFile& file, int threads) {
    PictureWriter writer(image, file);
    writer.finish(threads);
}

void SavePicture(const bmp::Image& image, const std::string& path, AtomicFile::PipeWait pipeWait, int threads) {
    checkSavable(image);
    AtomicFile file(path, pipeWait);
    writePicture(image, file, threads);
    file.commit();
}

void SavePicture(const bmp::Image& image, int fd, const std::string& name) {
    checkSavable(image);
    AtomicFile file(fd, name);
    writePicture(image, file);
    file.commit();
}

}  // namespace tk
