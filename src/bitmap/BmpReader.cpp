// The whole-picture decode: headers, palette and masks, then the rows or the runs.

#include "bitmap/BmpReader.h"
#include "bitmap/BmpRle.h"
#include "bitmap/BmpRows.h"

namespace bmp {

using namespace detail;

namespace {

Image allocate(const Header& h, bool fillBlack) {
    Image image;
    image.width = static_cast<int32_t>(h.width);
    image.height = static_cast<int32_t>(h.height);
    const size_t count = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);
    image.pixels = allocatePixels(count);
    if (fillBlack) std::fill_n(image.pixels.get(), count, kOpaqueBlack);
    return image;
}

}  // namespace

Decoded decode(const uint8_t* data, size_t size, uint64_t pixelBudget) {
    Header h = readHeader(data, size);
    mendPixelOffset(h);
    validate(h, size, pixelBudget);

    Decoded result;
    if (h.compression == Compression::Jpeg || h.compression == Compression::Png) {
        result.embedded = h.compression == Compression::Jpeg ? Embedded::Jpeg : Embedded::Png;
        result.streamOffset = h.pixelOffset;
        const uint64_t rest = size - h.pixelOffset;
        result.streamSize = h.imageSize > 0 && h.imageSize <= rest ? h.imageSize : rest;
        return result;
    }

    readMasks(h, data, size);
    const bool rle = isRle(h);
    if (!rle) {
        // Check the file holds every row before allocating anything for them. The last row's
        // padding may be missing.
        const uint64_t needed = pixelBytes(h);
        if (size - h.pixelOffset < needed)
            refuse("the file ends before its pixel data ends (" + std::to_string(size - h.pixelOffset) +
                   " of " + std::to_string(needed) + " bytes)");
    }
    result.image = allocate(h, rle);
    if (rle)
        decodeRle(h, data, size, result.image);
    else
        decodeRows(h, data, size, result.image);
    return result;
}

}  // namespace bmp
