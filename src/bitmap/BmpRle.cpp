#include "bitmap/BmpRle.h"

#include <algorithm>

namespace bmp::detail {

void decodeRle(const Header& h, const uint8_t* data, size_t size, Image& image) {
    const auto palette = readPalette(h, data, size);
    const uint8_t* p = data + h.pixelOffset;
    const uint8_t* const end = data + size;
    const int64_t width = image.width, height = image.height;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    const auto put = [&](uint32_t colour) {
        if (x < width && y < height) image.row(static_cast<int32_t>(height - 1 - y))[x] = colour;
        ++x;
    };
    const auto truncated = [] { refuse("the file ends before its pixel data ends"); };

    while (y < height) {
        if (end - p < 2) truncated();
        const uint32_t count = p[0], code = p[1];
        p += 2;
        if (count > 0) {  // a run of one colour (two alternating ones in RLE4)
            if (h.compression == Compression::Rle24) {
                if (end - p < 2) truncated();
                const uint32_t colour = rgb(p[1], p[0], code);
                ++p, ++p;
                for (uint32_t i = 0; i < count && x < width; ++i) put(colour);
            } else if (h.compression == Compression::Rle8) {
                for (uint32_t i = 0; i < count && x < width; ++i) put(palette[code]);
            } else {
                for (uint32_t i = 0; i < count && x < width; ++i) put(palette[i % 2 ? code & 15 : code >> 4]);
            }
        } else if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap
            return;
        } else if (code == 2) {  // delta: the skipped pixels stay black
            if (end - p < 2) truncated();
            x += p[0];
            y += p[1];
            p += 2;
        } else {  // absolute: `code` pixels as they are, padded to a 16-bit boundary
            const uint64_t bytes = h.compression == Compression::Rle24 ? code * 3
                                   : h.compression == Compression::Rle8 ? code
                                                                        : (code + 1) / 2;
            const uint64_t padded = (bytes + 1) & ~uint64_t{1};
            if (static_cast<uint64_t>(end - p) < bytes) truncated();
            for (uint32_t i = 0; i < code && x < width; ++i) {
                if (h.compression == Compression::Rle24)
                    put(rgb(p[3 * i + 2], p[3 * i + 1], p[3 * i]));
                else if (h.compression == Compression::Rle8)
                    put(palette[p[i]]);
                else
                    put(palette[i % 2 ? p[i / 2] & 15 : p[i / 2] >> 4]);
            }
            p += std::min<uint64_t>(padded, static_cast<uint64_t>(end - p));
        }
    }
}

}  // namespace bmp::detail
