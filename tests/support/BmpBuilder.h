#pragma once
// Hand-built bitmap files for tests, field by field, independent of the program's writer.

#include <cstdint>
#include <functional>
#include <vector>

struct BmpSpec {
    int32_t width = 1;
    int32_t height = 1;  // negative: top-down rows
    uint16_t bitsPerPixel = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    uint16_t planes = 1;
    uint32_t colorsUsed = 0;          // written as is
    std::vector<uint32_t> palette;    // 0x00RRGGBB entries
    std::vector<uint32_t> masks;      // bit-field masks after a 40-byte header (or inside a larger one)
    std::vector<uint8_t> pixelData;   // raw pixel bytes as stored
    int64_t pixelOffset = -1;         // -1: right after the palette
};

std::vector<uint8_t> buildBmp(const BmpSpec& spec);

// Pixel colours 0x00RRGGBB by (x, y), y = 0 the top row.
using ColourAt = std::function<uint32_t(int x, int y)>;

// Uncompressed bitmaps with padded rows; bottom-up unless topDown.
std::vector<uint8_t> bmp24(int width, int height, const ColourAt& colour, bool topDown = false);
std::vector<uint8_t> bmp32(int width, int height, const ColourAt& colour, bool topDown = false);
// 8-bit: the colour function gives a palette index.
std::vector<uint8_t> bmp8(int width, int height, const std::vector<uint32_t>& palette,
                          const std::function<uint8_t(int x, int y)>& index, bool topDown = false);

// A w x h picture of one colour.
std::vector<uint8_t> solidBmp(int width, int height, uint32_t colour);
