#pragma once
// Windows bitmap writer: pixels in, bytes out. It writes the form every reader opens:
// 24 bits per pixel, uncompressed, bottom-up rows, a 40-byte info header, 2,835 pixels per
// metre. It knows nothing of files: it streams the header and then one row at a time into the
// sink it is handed, so a picture far taller than the screen never needs a second full copy.

#include "bitmap/BmpImage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace bmp {

// Where written bytes go. write() throws to stop the writer.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const uint8_t* bytes, size_t count) = 0;
};

// The pixels of row y (0 = top) as 0xAARRGGBB words; alpha is not written.
using RowSource = std::function<const uint32_t*(int32_t y)>;

// Size of the file write24() produces, or 0 when the picture cannot be a bitmap file
// (a side of 0 or less, or a file of 4 GiB or more).
uint64_t fileSize24(int32_t width, int32_t height);

// Throws FormatError when fileSize24() is 0, before writing anything.
void write24(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows);

// The parts of write24's file, for writers that put them in place themselves (several threads
// at once): the bytes in front of the rows (throws as write24 does), the bytes from one row to
// the next, and file rows first .. first + count - 1 (file row 0 is the picture's bottom row),
// each padded to the stride, into out (count x stride bytes, and 16 to spare).
constexpr size_t kHeaderSize24 = 54;
std::array<uint8_t, kHeaderSize24> header24(int32_t width, int32_t height);
uint64_t stride24(int32_t width);
void packRows24(uint8_t* out, int32_t width, int32_t height, int32_t first, int32_t count, const RowSource& rows);

// The 32-bit form, for a picture with transparency: a version 5 header with bit fields that
// name the alpha byte, in sRGB, which browsers and image programs read as straight alpha; rows
// bottom-up, 4 bytes a pixel. Its file size (0 where none can be) and the writer.
constexpr uint32_t kHeaderSize32 = 14 + 124;
uint64_t fileSize32(int32_t width, int32_t height);
void write32(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows);

}  // namespace bmp
