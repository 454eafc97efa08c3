#pragma once
// Run-length encoded pixels: RLE8, RLE4 and OS/2 RLE24. The reader's own.

#include "bitmap/BmpHeader.h"

namespace bmp::detail {

// Decodes the runs into image (filled with opaque black beforehand). Rows run bottom-up; runs
// that pass the right edge are cut there, pixels that delta codes skip stay black, and a stream
// that ends before its end-of-bitmap code and before the last row is refused.
void decodeRle(const Header& h, const uint8_t* data, size_t size, Image& image);

}  // namespace bmp::detail
