#pragma once
// Decoded pictures and the errors of the bitmap format code. Plain C++: no Qt here, so the
// reader and writer can be fuzzed, tested and benchmarked on their own.

#include <cstdint>
#include <cstdlib>
#include <new>
#include <memory>
#include <stdexcept>
#include <string>

namespace bmp {

// Pixel storage: from malloc, or from calloc where it must start zeroed (a large zeroed block
// then costs nothing until it is touched).
struct FreePixels {
    void operator()(uint32_t* pixels) const { std::free(pixels); }
};
using PixelBuffer = std::unique_ptr<uint32_t[], FreePixels>;
// Room for count pixels, left as they are or zeroed; throws std::bad_alloc.
inline PixelBuffer allocatePixels(size_t count, bool zeroed = false) {
    void* p = zeroed ? std::calloc(count ? count : 1, sizeof(uint32_t)) : std::malloc((count ? count : 1) * sizeof(uint32_t));
    if (!p) throw std::bad_alloc();
    return PixelBuffer(static_cast<uint32_t*>(p));
}

// Pixels as 32-bit words 0xAARRGGBB, top row first, rows packed without padding. On a
// little-endian machine that is the byte order B, G, R, A: the canvas takes it as it is.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    bool hasAlpha = false;  // the file carries an alpha channel; otherwise every alpha is 0xFF
    PixelBuffer pixels;

    const uint32_t* row(int32_t y) const { return pixels.get() + static_cast<int64_t>(y) * width; }
    uint32_t* row(int32_t y) { return pixels.get() + static_cast<int64_t>(y) * width; }
};

// Some bitmaps only wrap a JPEG or PNG stream; the reader hands that stream back undecoded.
enum class Embedded { None, Jpeg, Png };

struct Decoded {
    Image image;                    // filled when embedded == None
    Embedded embedded = Embedded::None;
    size_t streamOffset = 0;        // where the embedded stream starts in the buffer
    size_t streamSize = 0;
};

// A file the reader refuses; what() says why, in words a user can act on.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The largest picture the reader decodes: 256 Mi pixels (1 GiB of decoded pixels). A
// 16,384 x 16,384 sheet fits; a header claiming more is refused before anything is allocated.
inline constexpr uint64_t kPixelBudget = uint64_t{1} << 28;

}  // namespace bmp
