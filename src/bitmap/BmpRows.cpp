#include "bitmap/BmpRows.h"

#include <cmath>

namespace bmp::detail {

uint32_t linearToSrgb(int16_t value) {
    static const std::array<uint8_t, 8193> table = [] {
        std::array<uint8_t, 8193> t{};
        for (int i = 0; i <= 8192; ++i) {
            const double c = i / 8192.0;
            const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
            t[i] = static_cast<uint8_t>(std::lround(std::clamp(s, 0.0, 1.0) * 255));
        }
        return t;
    }();
    return table[std::clamp<int>(value, 0, 8192)];
}

RowFormat rowFormat(const Header& h, const uint8_t* data, size_t size) {
    RowFormat f;
    f.width = static_cast<int32_t>(h.width);
    f.bpp = h.bitsPerPixel;
    f.palette = readPalette(h, data, size);
    f.red = Channel(h.masks[0]), f.green = Channel(h.masks[1]), f.blue = Channel(h.masks[2]), f.alpha = Channel(h.masks[3]);
    f.plain32 = h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF &&
                (h.masks[3] == 0 || h.masks[3] == 0xFF000000u);
    f.opaque32 = h.masks[3] == 0;
    f.hasAlpha = (h.masks[3] != 0 && h.bitsPerPixel >= 16) || h.bitsPerPixel == 64;
    return f;
}

uint32_t decodePixel(const RowFormat& f, const uint8_t* src, int32_t x) {
    const uint32_t bpp = f.bpp;
    if (bpp <= 8) {
        const int perByte = 8 / static_cast<int>(bpp);
        const int shift = 8 - static_cast<int>(bpp) * (x % perByte + 1);
        return f.palette[(src[x / perByte] >> shift) & ((1u << bpp) - 1)];
    }
    if (bpp == 24) return rgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
    if (bpp == 32 && f.plain32) {
        uint32_t p;
        std::memcpy(&p, src + 4 * static_cast<size_t>(x), 4);
        return f.opaque32 ? p | kOpaqueBlack : p;
    }
    if (bpp == 16 || bpp == 32) {
        const uint32_t p = bpp == 16 ? u16(src + 2 * static_cast<size_t>(x)) : u32(src + 4 * static_cast<size_t>(x));
        const uint32_t a = f.hasAlpha ? f.alpha(p) : 0xFF;
        return (a << 24) | (f.red(p) << 16) | (f.green(p) << 8) | f.blue(p);
    }
    const uint8_t* p = src + 8 * static_cast<size_t>(x);
    const auto channel = [&](int i) { return static_cast<int16_t>(u16(p + 2 * i)); };
    const int a = std::clamp<int>(channel(3), 0, 8192);
    return (static_cast<uint32_t>((a * 255 + 4096) / 8192) << 24) | (linearToSrgb(channel(2)) << 16) |
           (linearToSrgb(channel(1)) << 8) | linearToSrgb(channel(0));
}

void decodeRows(const Header& h, const uint8_t* data, size_t size, Image& image) {
    const RowFormat format = rowFormat(h, data, size);
    image.hasAlpha = format.hasAlpha;
    const uint64_t rowStride = stride(h);
    for (int64_t fileRow = 0; fileRow < h.height; ++fileRow)
        decodeRow(format, data + h.pixelOffset + fileRow * rowStride,
                  image.row(static_cast<int32_t>(h.topDown ? fileRow : h.height - 1 - fileRow)));
}

}  // namespace bmp::detail
