#include "toolkit/EmbeddedImage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cstring>

extern "C" __attribute__((visibility("default"))) bool quiltwright_decode_embedded(const uint8_t* data, size_t size, bool jpeg,
                                                                                   uint64_t pixelBudget, tk::EmbeddedPixels* out) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, jpeg ? "jpeg" : "png");
    const QSize shape = reader.size();
    if (shape.isValid() && static_cast<uint64_t>(shape.width()) * static_cast<uint64_t>(shape.height()) > pixelBudget) {
        out->error = "picture too large: " + std::to_string(shape.width()) + " x " + std::to_string(shape.height()) + " pixels";
        return false;
    }
    QImage image = reader.read();
    if (image.isNull()) {
        out->error = std::string("the embedded ") + (jpeg ? "JPEG" : "PNG") + " stream cannot be read (" +
                     reader.errorString().toStdString() + ")";
        return false;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    out->width = image.width();
    out->height = image.height();
    out->hasAlpha = image.hasAlphaChannel();
    out->pixels.resize(static_cast<size_t>(out->width) * static_cast<size_t>(out->height));
    for (int y = 0; y < out->height; ++y)
        std::memcpy(out->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(out->width), image.constScanLine(y),
                    static_cast<size_t>(out->width) * 4);
    return true;
}
