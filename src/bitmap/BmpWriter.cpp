#include "bitmap/BmpWriter.h"

#include <bit>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstring>
#include <string>
#include <vector>

namespace bmp {
namespace {

static_assert(std::endian::native == std::endian::little, "pixel words are written little-endian");

constexpr uint32_t kHeaderSize = 14 + 40;
constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch

// Packs pixel words into B, G, R bytes: four pixels into three words at a time. Writes up to
// 4 bytes past the last pixel's bytes (the caller's buffer has room).
void pack24(const uint32_t* src, uint8_t* out, int32_t width) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4, out += 12) {
        const uint32_t a = src[x] & 0xFFFFFF, b = src[x + 1] & 0xFFFFFF, c = src[x + 2] & 0xFFFFFF,
                       d = src[x + 3] & 0xFFFFFF;
        const uint32_t words[3] = {a | b << 24, b >> 8 | c << 16, c >> 16 | d << 8};
        std::memcpy(out, words, 12);
    }
    for (; x < width; ++x) {
        const uint32_t px = src[x];
        *out++ = static_cast<uint8_t>(px);
        *out++ = static_cast<uint8_t>(px >> 8);
        *out++ = static_cast<uint8_t>(px >> 16);
    }
}

#if defined(__x86_64__)
// The same with one byte shuffle per four pixels, where the processor has SSSE3.
__attribute__((target("ssse3"))) void pack24Shuffled(const uint32_t* src, uint8_t* out, int32_t width) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int32_t x = 0;
    for (; x + 4 <= width; x += 4, out += 12)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)), order));
    pack24(src + x, out, width - x);
}
#endif

void put16(uint8_t*& p, uint32_t v) {
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t*& p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p, v >> 16);
}


// The file header and the 40 bytes every info header begins with: total bytes (0: no bitmap
// file can be this picture, refused), where the rows begin, bits per pixel and compression.
void fileHead(uint8_t*& p, uint64_t total, uint32_t rowsAt, int32_t width, int32_t height, uint16_t bits, uint32_t compression) {
    if (total == 0)
        throw FormatError("a " + std::to_string(width) + " x " + std::to_string(height) +
                          " picture cannot be written as a bitmap file");
    *p++ = 'B';
    *p++ = 'M';
    put32(p, static_cast<uint32_t>(total));
    put32(p, 0);  // reserved
    put32(p, rowsAt);
    put32(p, rowsAt - 14);  // the info header's size
    put32(p, static_cast<uint32_t>(width));
    put32(p, static_cast<uint32_t>(height));  // positive: bottom-up rows
    put16(p, 1);                               // planes
    put16(p, bits);
    put32(p, compression);
    put32(p, static_cast<uint32_t>(total - rowsAt));
    put32(p, kPixelsPerMetre);
    put32(p, kPixelsPerMetre);
    put32(p, 0);  // colours used
    put32(p, 0);  // colours important
}
}  // namespace

uint64_t stride24(int32_t width) { return (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4; }

uint64_t fileSize24(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const uint64_t total = kHeaderSize + stride24(width) * static_cast<uint64_t>(height);
    return total > 0xFFFFFFFFu ? 0 : total;
}

std::array<uint8_t, kHeaderSize24> header24(int32_t width, int32_t height) {
    std::array<uint8_t, kHeaderSize24> header{};
    uint8_t* p = header.data();
    fileHead(p, fileSize24(width, height), kHeaderSize, width, height, 24, 0);
    return header;
}

void packRows24(uint8_t* out, int32_t width, int32_t height, int32_t first, int32_t count, const RowSource& rows) {
    static const auto pack = [] {
#if defined(__x86_64__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("ssse3")) return &pack24Shuffled;
#endif
        return &pack24;
    }();
    const auto stride = static_cast<size_t>(stride24(width));
    for (int32_t k = first; k < first + count; ++k, out += stride) {
        pack(rows(height - 1 - k), out, width);
        // The padding bytes after the pixels: zero, whatever the wide store left there.
        std::memset(out + 3 * static_cast<size_t>(width), 0, stride - 3 * static_cast<size_t>(width));
    }
}

void write24(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows) {
    const auto header = header24(width, height);
    sink.write(header.data(), header.size());
    const auto stride = static_cast<size_t>(stride24(width));
    std::vector<uint8_t> line(stride + 16, 0);  // room for the packers' last wide store
    for (int32_t k = 0; k < height; ++k) {
        packRows24(line.data(), width, height, k, 1, rows);
        sink.write(line.data(), stride);
    }
}

uint64_t fileSize32(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const uint64_t total = kHeaderSize32 + uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    return total > 0xFFFFFFFFu ? 0 : total;
}

void write32(ByteSink& sink, int32_t width, int32_t height, const RowSource& rows) {
    const uint64_t total = fileSize32(width, height);
    std::array<uint8_t, kHeaderSize32> header{};
    uint8_t* p = header.data();
    fileHead(p, total, kHeaderSize32, width, height, 32, 3);  // bit fields
    for (const uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(p, mask);
    put32(p, 0x73524742);  // 'sRGB': no end points, gamma or profile follow
    p += 36 + 12;          // the end points and gammas, unused
    put32(p, 4);           // rendering intent: pictures
    // The profile's place and size, and the reserved word: 0.
    sink.write(header.data(), header.size());
    // The words as they are in memory are the file's B, G, R, A bytes.
    for (int32_t k = 0; k < height; ++k)
        sink.write(reinterpret_cast<const uint8_t*>(rows(height - 1 - k)), uint64_t{4} * static_cast<uint32_t>(width));
}

}  // namespace bmp
