#pragma once
// Uncompressed rows: what decoding a stored row needs (palette, bit-field channels), and the
// decoding itself, shared by the whole-picture decode and the row reader so both give the same
// pixels. The reader's own; nothing outside src/bitmap uses it.

#include "bitmap/BmpHeader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace bmp::detail {

static_assert(std::endian::native == std::endian::little, "pixel words are read and written little-endian");

// One channel of a bit-field pixel, scaled exactly to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        max = mask >> shift;
    }
    uint32_t operator()(uint32_t pixel) const {
        if (max == 0) return 0;
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint32_t>((2 * v * 255 + max) / (2 * max));  // exactly rounded
    }
};

// Linear light (s2.13 fixed point) to sRGB bytes, for 64-bit bitmaps.
uint32_t linearToSrgb(int16_t value);

#if defined(__x86_64__)
inline bool hasSsse3() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return has;
}

// B, G, R bytes to pixel words, four at a time with one byte shuffle. Stops while 16 bytes can
// still be loaded inside the row's pixels; returns how many pixels it did.
__attribute__((target("ssse3"))) inline int32_t unpack24Shuffled(const uint8_t* src, uint32_t* out, int32_t width) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaqueBlack));
    int32_t x = 0;
    for (; x + 6 <= width; x += 4, src += 12) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_shuffle_epi8(bytes, order), opaque));
    }
    return x;
}
#endif

// What decoding one stored row of an uncompressed bitmap needs: the palette and the channels.
struct RowFormat {
    int32_t width = 0;
    uint32_t bpp = 0;
    std::array<uint32_t, 256> palette{};
    Channel red{0}, green{0}, blue{0}, alpha{0};
    bool plain32 = false;
    bool opaque32 = false;  // plain 32-bit without an alpha mask: the fourth byte is not alpha
    bool hasAlpha = false;
};

RowFormat rowFormat(const Header& h, const uint8_t* data, size_t size);

// Inlined where a whole picture is decoded, so that its loops see a format of their own.
[[gnu::always_inline]] inline void decodeRow(const RowFormat& f, const uint8_t* src, uint32_t* out) {
    const int32_t width = f.width;
    const uint32_t bpp = f.bpp;
    if (bpp == 8) {
        for (int32_t x = 0; x < width; ++x) out[x] = f.palette[src[x]];
    } else if (bpp < 8) {
        const int perByte = 8 / static_cast<int>(bpp);
        const uint32_t indexMask = (1u << bpp) - 1;
        for (int32_t x = 0; x < width; ++x) {
            const int shift = 8 - static_cast<int>(bpp) * (x % perByte + 1);
            out[x] = f.palette[(src[x / perByte] >> shift) & indexMask];
        }
    } else if (bpp == 24) {
        int32_t x = 0;
#if defined(__x86_64__)
        if (hasSsse3()) {
            x = unpack24Shuffled(src, out, width);
            src += 3 * static_cast<size_t>(x);
        }
#endif
        // Four pixels from three 32-bit words at a time, then the rest one by one.
        for (; x + 4 <= width; x += 4, src += 12) {
            uint32_t w[3];
            std::memcpy(w, src, 12);
            out[x] = kOpaqueBlack | (w[0] & 0xFFFFFF);
            out[x + 1] = kOpaqueBlack | (w[0] >> 24) | ((w[1] & 0xFFFF) << 8);
            out[x + 2] = kOpaqueBlack | (w[1] >> 16) | ((w[2] & 0xFF) << 16);
            out[x + 3] = kOpaqueBlack | (w[2] >> 8);
        }
        for (; x < width; ++x, src += 3) out[x] = rgb(src[2], src[1], src[0]);
    } else if (bpp == 32 && f.plain32) {
        if (f.opaque32) {
            for (int32_t x = 0; x < width; ++x) {
                uint32_t p;
                std::memcpy(&p, src + 4 * x, 4);
                out[x] = p | kOpaqueBlack;
            }
        } else {
            std::memcpy(out, src, 4 * static_cast<size_t>(width));
        }
    } else if (bpp == 16 || bpp == 32) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t p = bpp == 16 ? u16(src + 2 * x) : u32(src + 4 * x);
            const uint32_t a = f.hasAlpha ? f.alpha(p) : 0xFF;
            out[x] = (a << 24) | (f.red(p) << 16) | (f.green(p) << 8) | f.blue(p);
        }
    } else {  // 64: B, G, R, A as signed 2.13 fixed point, linear light
        for (int32_t x = 0; x < width; ++x, src += 8) {
            const auto channel = [&](int i) { return static_cast<int16_t>(u16(src + 2 * i)); };
            const int a = std::clamp<int>(channel(3), 0, 8192);
            out[x] = (static_cast<uint32_t>((a * 255 + 4096) / 8192) << 24) | (linearToSrgb(channel(2)) << 16) |
                     (linearToSrgb(channel(1)) << 8) | linearToSrgb(channel(0));
        }
    }
}

// One pixel of a stored row, exactly as decodeRow gives it.
uint32_t decodePixel(const RowFormat& f, const uint8_t* src, int32_t x);

// Every row of an uncompressed picture into image.
void decodeRows(const Header& h, const uint8_t* data, size_t size, Image& image);

}  // namespace bmp::detail
