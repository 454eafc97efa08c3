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

namespace bmp {

Decoded decode(const uint8_t* data, size_t size, uint64_t pixelBudget = kPixelBudget);

}  // namespace bmp
