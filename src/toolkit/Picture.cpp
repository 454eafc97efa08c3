#include "toolkit/Picture.h"

#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "toolkit/AtomicFile.h"
#include "toolkit/Errors.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace tk {
namespace {

// No bitmap this program reads is larger: 256 Mi pixels of 64 bits, plus headers.
constexpr uint64_t kLargestFile = (uint64_t{1} << 31) + (uint64_t{1} << 20);

Error invalidPicture(const std::string& path, const QString& reason) {
    return Error(kInvalidPicture, QStringLiteral("Invalid picture: %1\n%2").arg(displayPath(path), reason));
}

// Decodes a JPEG or PNG stream embedded in a bitmap with Qt's own readers.
Picture decodeEmbedded(const bmp::Decoded& decoded, const uint8_t* data, const std::string& path) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data + decoded.streamOffset),
                                                     static_cast<qsizetype>(decoded.streamSize));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, decoded.embedded == bmp::Embedded::Jpeg ? "jpeg" : "png");
    const QSize size = reader.size();
    if (size.isValid() && static_cast<uint64_t>(size.width()) * static_cast<uint64_t>(size.height()) > bmp::kPixelBudget)
        throw invalidPicture(path, QStringLiteral("picture too large: %1 x %2 pixels").arg(size.width()).arg(size.height()));
    QImage image = reader.read();
    if (image.isNull())
        throw invalidPicture(path, QStringLiteral("the embedded %1 stream cannot be read (%2)")
                                       .arg(decoded.embedded == bmp::Embedded::Jpeg ? "JPEG" : "PNG", reader.errorString()));
    image = image.convertToFormat(QImage::Format_ARGB32);
    auto out = std::make_shared<bmp::Image>();
    out->width = image.width();
    out->height = image.height();
    out->hasAlpha = image.hasAlphaChannel();
    out->pixels = std::make_unique_for_overwrite<uint32_t[]>(static_cast<size_t>(out->width) * out->height);
    for (int y = 0; y < out->height; ++y)
        std::memcpy(out->row(y), image.constScanLine(y), static_cast<size_t>(out->width) * 4);
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

}  // namespace

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

Picture LoadPicture(const std::string& path) {
    // Only a regular file is a picture. A named pipe would wait for a writer for good and a device
    // would be read without end: both are refused before they are opened, and a file swapped for
    // one in between is refused before a byte is read (the open does not wait).
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) refuseUnlessRegular(st, path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw fileError(errno, displayPath(path));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0) throw fileError(errno, displayPath(path));
    refuseUnlessRegular(st, path);
    if (static_cast<uint64_t>(st.st_size) > kLargestFile)
        throw invalidPicture(path, QStringLiteral("the file is too large to be a picture (%1 bytes)").arg(st.st_size));

    static thread_local ReadBuffer buffer;
    const size_t expected = static_cast<size_t>(st.st_size);
    uint8_t* data = buffer.reserve(expected);
    size_t got = 0;
    while (got < expected) {
        const ssize_t n = ::read(fd, data + got, expected - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fileError(errno, displayPath(path));
        if (n == 0) break;  // the file shrank while we read it: decode what is there
        got += static_cast<size_t>(n);
    }
    Picture picture = decodePicture(data, got, path);
    buffer.releaseIfLarge();
    return picture;
}

namespace {

void writeAll(const bmp::Image& image, AtomicFile& file) {
    bmp::write24(file, image.width, image.height, [&](int32_t y) { return image.row(y); });
    file.commit();
}

void checkSavable(const bmp::Image& image) {
    if (bmp::fileSize24(image.width, image.height) == 0)
        throw Error(kInvalidPicture, QStringLiteral("A picture of %1 x %2 pixels cannot be saved as a bitmap file")
                                         .arg(image.width).arg(image.height));
}

}  // namespace

void SavePicture(const bmp::Image& image, const std::string& path, AtomicFile::PipeWait pipeWait) {
    checkSavable(image);
    AtomicFile file(path, pipeWait);
    writeAll(image, file);
}

void SavePicture(const bmp::Image& image, int fd, const std::string& name) {
    checkSavable(image);
    AtomicFile file(fd, name);
    writeAll(image, file);
}

}  // namespace tk
