#pragma once
// The parts of a bitmap file in front of its pixels: the file and info headers, the palette and
// the bit-field masks, read and checked. The reader's own; nothing outside src/bitmap uses it.

#include "bitmap/BmpImage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace bmp::detail {

inline constexpr uint32_t kOpaqueBlack = 0xFF000000u;

enum class Compression { Rgb, Rle8, Rle4, BitFields, AlphaBitFields, Rle24, Huffman, Jpeg, Png };

struct Header {
    uint64_t pixelOffset = 0;
    uint32_t infoSize = 0;
    bool os2 = false;
    int64_t width = 0;
    int64_t height = 0;  // always positive; topDown says the row order
    bool topDown = false;
    uint32_t planes = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t rawCompression = 0;
    Compression compression = Compression::Rgb;
    uint64_t imageSize = 0;
    uint64_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    uint64_t paletteStart = 0;
};

inline uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t u32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline int32_t i32(const uint8_t* p) { return static_cast<int32_t>(u32(p)); }
inline uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return kOpaqueBlack | (r << 16) | (g << 8) | b; }

[[noreturn]] void refuse(const std::string& why);

// The headers of a file of size bytes; refuses what is not a bitmap header this reader knows.
Header readHeader(const uint8_t* data, size_t size);
// Refuses a header whose picture cannot be read from a file of size bytes.
void validate(const Header& h, size_t size, uint64_t pixelBudget);
bool isRle(const Header& h);
// Bytes from one stored row to the next, and of uncompressed pixel data (the last row's padding
// may be missing).
uint64_t stride(const Header& h);
uint64_t pixelBytes(const Header& h);
// A pixel data offset that leaves no room for a single palette entry, moved past the palette the
// header declares (see the definition).
void mendPixelOffset(Header& h);
// Palette of 256 entries; those the file does not give stay opaque black.
std::array<uint32_t, 256> readPalette(const Header& h, const uint8_t* data, size_t size);
// The bit-field masks, from the header or after it, or those a depth implies.
void readMasks(Header& h, const uint8_t* data, size_t size);

}  // namespace bmp::detail
