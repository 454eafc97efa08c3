#pragma once
// Windows and OS/2 bitmap reader: bytes in, pixels out.
//
// Reads info headers of 12 bytes (OS/2 1.x), 16 to 64 bytes (OS/2 2.x), 40, 52, 56, 108 and
// 124 bytes; 1, 2, 4, 8, 16, 24, 32 and 64 bits per pixel; uncompressed, RLE8, RLE4, OS/2
// RLE24, bit fields and alpha bit fields; bottom-up and top-down rows. Embedded JPEG and PNG
// streams are located, not decoded (see Decoded::embedded). OS/2 Huffman 1D is refused.
//
// Every size, offset and count is checked against the buffer and kPixelBudget, in 64-bit
// arithmetic, before anything is allocated. Pixels that RLE data skips and palette indices
// beyond the palette are opaque black. Throws FormatError for a file it refuses.

#include "bitmap/BmpImage.h"

#include <cstddef>

#include <memory>
#include <optional>
#include <vector>

namespace bmp {

Decoded decode(const uint8_t* data, size_t size, uint64_t pixelBudget = kPixelBudget);

// An uncompressed bitmap (1 to 64 bits per pixel, bit fields included, either row order) read a
// row at a time, for a reader that needs only some rows of a large file. open() takes the file's
// first bytes and its whole size, and checks everything decode() checks (so a file cut short is
// refused here with decode()'s own words); the pixels of every row it then decodes are exactly
// decode()'s. It gives nothing for a compressed or embedded file, or when head does not reach
// the pixel data: decode those whole.
class RowReader {
public:
    static std::optional<RowReader> open(const uint8_t* head, size_t headSize, uint64_t fileSize,
                                         uint64_t pixelBudget = kPixelBudget);
    int32_t width() const;
    int32_t height() const;
    bool hasAlpha() const;
    // Where picture row y (0 is the top) is stored, and how many bytes of it to read.
    uint64_t rowOffset(int32_t y) const;
    size_t rowBytes() const;
    // Decodes one stored row (rowBytes() bytes) into width() pixels.
    void decodeRow(const uint8_t* stored, uint32_t* out) const;
    // Decodes only the given columns of a stored row, each into out[x]; the rest of out is left.
    void decodeColumns(const uint8_t* stored, uint32_t* out, const std::vector<int32_t>& columns) const;

private:
    struct Layout;
    explicit RowReader(std::shared_ptr<const Layout> layout) : m_layout(std::move(layout)) {}
    std::shared_ptr<const Layout> m_layout;
};

}  // namespace bmp
