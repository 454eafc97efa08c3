#pragma once
// PNG reader: bytes in, pixels out, through libpng. Every colour type and bit depth: palettes
// (with their tRNS alpha), grey, grey with alpha, RGB, RGBA, 1 to 16 bits a channel (16 bits
// keep their high byte), interlaced or not. Colours are taken as stored, gamma not applied.
// A file that is broken, cut short or larger than the pixel budget is refused with FormatError,
// before anything that size is allocated.

#include "bitmap/BmpImage.h"

#include <cstddef>
#include <optional>
#include <utility>

namespace bmp {

// Whether the bytes begin with PNG's signature.
bool isPng(const uint8_t* data, size_t size);

// A picture's width and height from its first bytes (at least 26), PNG or bitmap; nothing where
// they do not tell.
std::optional<std::pair<int32_t, int32_t>> pictureSize(const uint8_t* head, size_t size);

// The picture; hasAlpha where the file has an alpha channel or tRNS.
Image decodePng(const uint8_t* data, size_t size, uint64_t pixelBudget = kPixelBudget);

}  // namespace bmp
