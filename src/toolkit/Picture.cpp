#include "toolkit/Picture.h"

#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "bitmap/Pixels.h"
#include "bitmap/PngReader.h"
#include "storage/Failure.h"
#include "storage/PictureWriter.h"
#include "toolkit/EmbeddedImage.h"
#include "toolkit/Errors.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

// Weak: a program without the decoder linked in finds the module instead.
extern "C" bool quiltwright_decode_embedded(const uint8_t*, size_t, bool, uint64_t, tk::EmbeddedPixels*) __attribute__((weak));

namespace tk {
namespace {

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

}  // namespace

void drawPicture(bmp::Image& image, const Picture& picture, double dx, double dy, double dw, double dh, double sx, double sy,
                 double sw, double sh, bool keepAlpha) {
    const bmp::ScaleMap map =
        bmp::mapScaled(image.width, image.height, picture.widthPixels(), picture.heightPixels(), dx, dy, dw, dh, sx, sy, sw, sh);
    if (map.empty()) return;
    const uint32_t opaque = keepAlpha && picture.hasAlpha() ? 0 : 0xFF000000u;
    if (!picture.readAsPainted()) {
        const bmp::Image& whole = picture.image();
        bmp::drawMapped(image, map, [&](int32_t r) { return whole.row(r); }, opaque);
        return;
    }
    const std::vector<int32_t> taken = map.columnsTaken();
    const PictureRows rows = picture.rows(map.rowsTaken(), &taken);
    bmp::drawMapped(image, map, [&](int32_t r) { return rows.row(r); }, opaque);
}

int32_t Picture::widthPixels() const { return m_file ? m_file->reader().width() : m_image ? m_image->width : 0; }
bool Picture::hasAlpha() const { return m_file ? m_file->reader().hasAlpha() : m_image && m_image->hasAlpha; }
int32_t Picture::heightPixels() const { return m_file ? m_file->reader().height() : m_image ? m_image->height : 0; }

const bmp::Image& Picture::image() const {
    if (!m_file) return *m_image;
    try {
        return m_file->whole();
    } catch (const storage::Failure& failure) {
        throw errorOf(failure);
    }
}

PictureRows Picture::rows(std::vector<int32_t> wanted, const std::vector<int32_t>* columns) const {
    if (!m_file) return PictureRows(*m_image);
    try {
        return m_file->rows(std::move(wanted), columns);
    } catch (const storage::Failure& failure) {
        throw errorOf(failure);
    }
}

Picture decodePicture(const uint8_t* data, size_t size, const std::string& path) {
    try {
        if (bmp::isPng(data, size)) return Picture(std::make_shared<const bmp::Image>(bmp::decodePng(data, size)));
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
    try {
        const storage::PictureBytes read = storage::readPictureFile(path, storageWait);
        if (read.file) return Picture(read.file);
        Picture picture = decodePicture(read.data, read.size, path);
        storage::releaseLargeReadBuffer();
        return picture;
    } catch (const storage::Failure& failure) {
        throw errorOf(failure);
    } catch (const bmp::FormatError& e) {
        throw invalidPicture(path, QString::fromStdString(e.what()));
    }
}

void SavePicture(const bmp::Image& image, const std::string& path, storage::AtomicFile::PipeWait pipeWait, int threads) {
    if (bmp::fileSize24(image.width, image.height) == 0)
        throw Error(kInvalidPicture, QStringLiteral("A picture of %1 x %2 pixels cannot be saved as a bitmap file").arg(image.width).arg(image.height));
    try {
        storage::AtomicFile file(path, pipeWait);
        storage::PictureWriter writer(image, file);
        writer.finish(threads);
        file.commit();
    } catch (const storage::Failure& failure) {
        throw errorOf(failure);
    }
}

}  // namespace tk
