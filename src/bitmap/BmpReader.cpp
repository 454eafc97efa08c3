#include "bitmap/BmpReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace bmp {
namespace {

static_assert(std::endian::native == std::endian::little, "pixel words are read and written little-endian");

constexpr uint32_t kOpaqueBlack = 0xFF000000u;

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

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
int32_t i32(const uint8_t* p) { return static_cast<int32_t>(u32(p)); }

[[noreturn]] void refuse(const std::string& why) { throw FormatError(why); }

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return kOpaqueBlack | (r << 16) | (g << 8) | b; }

bool isWindowsInfoSize(uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

Header readHeader(const uint8_t* data, size_t size) {
    if (size < 18 || data[0] != 'B' || data[1] != 'M')
        refuse("not a bitmap file");
    Header h;
    h.pixelOffset = u32(data + 10);
    h.infoSize = u32(data + 14);
    const bool os2v1 = h.infoSize == 12;
    const bool os2v2 = h.infoSize >= 16 && h.infoSize <= 64 && !isWindowsInfoSize(h.infoSize);
    if (!os2v1 && !os2v2 && !isWindowsInfoSize(h.infoSize))
        refuse("unknown bitmap header size " + std::to_string(h.infoSize));
    if (14 + uint64_t{h.infoSize} > size)
        refuse("the file ends inside its header");
    h.os2 = os2v1 || os2v2;

    // OS/2 2.x headers may stop early; the fields they leave out read as zero.
    uint8_t info[124] = {};
    std::memcpy(info, data + 14, h.infoSize);
    if (os2v1) {
        h.width = u16(info + 4);
        h.height = u16(info + 6);
        h.planes = u16(info + 8);
        h.bitsPerPixel = u16(info + 10);
    } else {
        h.width = i32(info + 4);
        const int64_t height = i32(info + 8);
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        h.planes = u16(info + 12);
        h.bitsPerPixel = u16(info + 14);
        h.rawCompression = u32(info + 16);
        h.imageSize = u32(info + 20);
        h.colorsUsed = u32(info + 32);
        if (h.infoSize >= 52)
            for (int i = 0; i < 3; ++i) h.masks[i] = u32(info + 40 + 4 * i);
        if (h.infoSize >= 56) h.masks[3] = u32(info + 52);
    }
    h.paletteStart = 14 + uint64_t{h.infoSize};

    switch (h.rawCompression) {
    case 0: h.compression = Compression::Rgb; break;
    case 1: h.compression = Compression::Rle8; break;
    case 2: h.compression = Compression::Rle4; break;
    case 3: h.compression = h.os2 ? Compression::Huffman : Compression::BitFields; break;
    case 4: {
        // Windows: an embedded JPEG stream. OS/2 2.x: RLE24. A 40-byte header can be either;
        // the stream's first bytes tell.
        bool jpeg = !h.os2;
        if (h.infoSize == 40 && h.bitsPerPixel == 24 && h.pixelOffset + 2 <= size)
            jpeg = data[h.pixelOffset] == 0xFF && data[h.pixelOffset + 1] == 0xD8;
        h.compression = jpeg ? Compression::Jpeg : Compression::Rle24;
        break;
    }
    case 5: h.compression = Compression::Png; break;
    case 6: h.compression = Compression::AlphaBitFields; break;
    default: refuse("unsupported compression " + std::to_string(h.rawCompression));
    }
    return h;
}

void validate(const Header& h, size_t size, uint64_t pixelBudget) {
    if (h.width <= 0) refuse("invalid width " + std::to_string(h.width));
    if (h.height == 0) refuse("invalid height 0");
    if (h.planes != 1) refuse("invalid plane count " + std::to_string(h.planes) + " (must be 1)");
    const uint32_t bpp = h.bitsPerPixel;
    const bool embedded = h.compression == Compression::Jpeg || h.compression == Compression::Png;
    const bool knownDepth = embedded || bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 ||
                            bpp == 32 || bpp == 64;
    if (!knownDepth) refuse("unsupported bits per pixel " + std::to_string(bpp));
    const auto depth = [bpp] { return std::to_string(bpp) + "-bit"; };
    switch (h.compression) {
    case Compression::Rgb: break;
    case Compression::Rle8:
        if (bpp != 8) refuse("RLE8 compression in a " + depth() + " bitmap");
        break;
    case Compression::Rle4:
        if (bpp != 4) refuse("RLE4 compression in a " + depth() + " bitmap");
        break;
    case Compression::Rle24:
        if (bpp != 24) refuse("RLE24 compression in a " + depth() + " bitmap");
        break;
    case Compression::BitFields:
    case Compression::AlphaBitFields:
        if (bpp != 16 && bpp != 32) refuse("bit fields in a " + depth() + " bitmap");
        break;
    case Compression::Huffman: refuse("unsupported compression: OS/2 Huffman 1D");
    case Compression::Jpeg:
    case Compression::Png: break;
    }
    const bool rle = h.compression == Compression::Rle8 || h.compression == Compression::Rle4 ||
                     h.compression == Compression::Rle24;
    if (rle && h.topDown) refuse("a compressed bitmap cannot be stored top-down");
    if (static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height) > pixelBudget)
        refuse("picture too large: " + std::to_string(h.width) + " x " + std::to_string(h.height) +
               " pixels");
    if (h.pixelOffset < h.paletteStart)
        refuse("the pixel data offset " + std::to_string(h.pixelOffset) + " lies inside the header");
    if (h.pixelOffset >= size) refuse("the file ends before its pixel data");
}

uint64_t stride(const Header& h) { return (static_cast<uint64_t>(h.width) * h.bitsPerPixel + 31) / 32 * 4; }

// Bytes of uncompressed pixel data; the last row's padding may be missing.
uint64_t pixelBytes(const Header& h) {
    return stride(h) * (static_cast<uint64_t>(h.height) - 1) + (static_cast<uint64_t>(h.width) * h.bitsPerPixel + 7) / 8;
}

uint64_t paletteEntrySize(const Header& h) { return h.infoSize == 12 ? 3 : 4; }
uint64_t declaredColours(const Header& h) {
    const uint64_t full = uint64_t{1} << h.bitsPerPixel;
    return h.colorsUsed == 0 ? full : std::min(h.colorsUsed, full);
}

// Some writers put the whole declared palette right after the header but give the header's end
// (or another place inside the palette) as the pixel data's offset. Read as written, every
// pixel would take a palette entry the offset leaves no room for: black. When the file holds the
// declared palette and then the pixel data, it is read that way, as its writer meant.
void mendPixelOffset(Header& h, size_t size) {
    if (h.bitsPerPixel > 8 || h.width <= 0 || h.height <= 0) return;
    const bool rle = h.compression == Compression::Rle8 || h.compression == Compression::Rle4;
    if (h.compression != Compression::Rgb && !rle) return;
    const uint64_t paletteEnd = h.paletteStart + declaredColours(h) * paletteEntrySize(h);
    if (h.pixelOffset < h.paletteStart || h.pixelOffset >= paletteEnd) return;
    const uint64_t data = rle ? h.imageSize : pixelBytes(h);
    if (data == 0 || size < paletteEnd || size - paletteEnd < data) return;
    h.pixelOffset = paletteEnd;
}

// Palette of 256 entries; those the file does not give stay opaque black.
std::array<uint32_t, 256> readPalette(const Header& h, const uint8_t* data, size_t size) {
    std::array<uint32_t, 256> palette;
    palette.fill(kOpaqueBlack);
    if (h.bitsPerPixel > 8) return palette;
    const uint64_t entrySize = paletteEntrySize(h);
    uint64_t start = h.paletteStart;
    if (h.infoSize == 40 && h.compression == Compression::BitFields) start += 12;
    if (h.infoSize == 40 && h.compression == Compression::AlphaBitFields) start += 16;
    const uint64_t end = std::min<uint64_t>(h.pixelOffset, size);
    const uint64_t available = end > start ? (end - start) / entrySize : 0;
    const uint64_t count = std::min(declaredColours(h), available);
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = data + start + i * entrySize;
        palette[i] = rgb(e[2], e[1], e[0]);
    }
    return palette;
}

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

void readMasks(Header& h, const uint8_t* data, size_t size) {
    const bool fields = h.compression == Compression::BitFields || h.compression == Compression::AlphaBitFields;
    if (!fields) {
        h.masks[3] = 0;
        if (h.bitsPerPixel == 16) {
            h.masks[0] = 0x7C00; h.masks[1] = 0x03E0; h.masks[2] = 0x001F;
        } else {
            h.masks[0] = 0xFF0000; h.masks[1] = 0xFF00; h.masks[2] = 0xFF;
        }
        return;
    }
    if (h.infoSize >= 52) {
        if (h.compression == Compression::BitFields && h.infoSize < 56) h.masks[3] = 0;
        return;
    }
    // The masks follow a 40-byte (or OS/2) header.
    const int count = h.compression == Compression::AlphaBitFields ? 4 : 3;
    const uint64_t masksEnd = h.paletteStart + 4 * uint64_t(count);
    if (masksEnd > size) refuse("the file ends inside its bit-field masks");
    // A header that ends at the pixel data holds no masks: reading them there would take pixels
    // for masks and give wrong colours.
    if (masksEnd > h.pixelOffset)
        refuse("the bit-field masks would lie past the pixel data offset " + std::to_string(h.pixelOffset));
    for (int i = 0; i < count; ++i) h.masks[i] = u32(data + h.paletteStart + 4 * i);
    if (count == 3) h.masks[3] = 0;
}


Image allocate(const Header& h, bool fillBlack) {
    Image image;
    image.width = static_cast<int32_t>(h.width);
    image.height = static_cast<int32_t>(h.height);
    const size_t count = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);
    image.pixels = std::make_unique_for_overwrite<uint32_t[]>(count);
    if (fillBlack) std::fill_n(image.pixels.get(), count, kOpaqueBlack);
    return image;
}

// Linear light (s2.13 fixed point) to sRGB bytes, for 64-bit bitmaps.
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

#if defined(__x86_64__)
bool hasSsse3() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return has;
}

// B, G, R bytes to pixel words, four at a time with one byte shuffle. Stops while 16 bytes can
// still be loaded inside the row's pixels; returns how many pixels it did.
__attribute__((target("ssse3"))) int32_t unpack24Shuffled(const uint8_t* src, uint32_t* out, int32_t width) {
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

// RLE8, RLE4 and OS/2 RLE24. Rows run bottom-up; runs that pass the right edge are cut there.
void decodeRle(const Header& h, const uint8_t* data, size_t size, Image& image) {
    const auto palette = readPalette(h, data, size);
    const uint8_t* p = data + h.pixelOffset;
    const uint8_t* const end = data + size;
    const int64_t width = image.width, height = image.height;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    const auto put = [&](uint32_t colour) {
        if (x < width && y < height) image.row(static_cast<int32_t>(height - 1 - y))[x] = colour;
        ++x;
    };
    const auto truncated = [] { refuse("the file ends before its pixel data ends"); };

    while (y < height) {
        if (end - p < 2) truncated();
        const uint32_t count = p[0], code = p[1];
        p += 2;
        if (count > 0) {  // a run of one colour (two alternating ones in RLE4)
            if (h.compression == Compression::Rle24) {
                if (end - p < 2) truncated();
                const uint32_t colour = rgb(p[1], p[0], code);
                ++p, ++p;
                for (uint32_t i = 0; i < count && x < width; ++i) put(colour);
            } else if (h.compression == Compression::Rle8) {
                for (uint32_t i = 0; i < count && x < width; ++i) put(palette[code]);
            } else {
                for (uint32_t i = 0; i < count && x < width; ++i) put(palette[i % 2 ? code & 15 : code >> 4]);
            }
        } else if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap
            return;
        } else if (code == 2) {  // delta: the skipped pixels stay black
            if (end - p < 2) truncated();
            x += p[0];
            y += p[1];
            p += 2;
        } else {  // absolute: `code` pixels as they are, padded to a 16-bit boundary
            const uint64_t bytes = h.compression == Compression::Rle24 ? code * 3
                                   : h.compression == Compression::Rle8 ? code
                                                                        : (code + 1) / 2;
            const uint64_t padded = (bytes + 1) & ~uint64_t{1};
            if (static_cast<uint64_t>(end - p) < bytes) truncated();
            for (uint32_t i = 0; i < code && x < width; ++i) {
                if (h.compression == Compression::Rle24)
                    put(rgb(p[3 * i + 2], p[3 * i + 1], p[3 * i]));
                else if (h.compression == Compression::Rle8)
                    put(palette[p[i]]);
                else
                    put(palette[i % 2 ? p[i / 2] & 15 : p[i / 2] >> 4]);
            }
            p += std::min<uint64_t>(padded, static_cast<uint64_t>(end - p));
        }
    }
}

}  // namespace

struct RowReader::Layout {
    Header header;
    RowFormat format;
};

std::optional<RowReader> RowReader::open(const uint8_t* head, size_t headSize, uint64_t fileSize, uint64_t pixelBudget) {
    if (headSize > fileSize) return std::nullopt;
    // The header is read from head alone; a head that stops inside it is no verdict on the file.
    if (headSize < fileSize && (headSize < 18 || headSize < 14 + uint64_t{u32(head + 14)})) return std::nullopt;
    Header h = readHeader(head, headSize);
    const bool uncompressed = h.compression == Compression::Rgb || h.compression == Compression::BitFields ||
                              h.compression == Compression::AlphaBitFields;
    if (!uncompressed) return std::nullopt;
    mendPixelOffset(h, fileSize);
    if (headSize < std::min<uint64_t>(h.pixelOffset, fileSize)) return std::nullopt;  // palette or masks not in hand
    validate(h, fileSize, pixelBudget);
    readMasks(h, head, fileSize);
    if (fileSize - h.pixelOffset < pixelBytes(h))
        refuse("the file ends before its pixel data ends (" + std::to_string(fileSize - h.pixelOffset) + " of " +
               std::to_string(pixelBytes(h)) + " bytes)");
    auto layout = std::make_shared<Layout>();
    layout->header = h;
    layout->format = rowFormat(h, head, fileSize);
    return RowReader(std::move(layout));
}

int32_t RowReader::width() const { return m_layout->format.width; }
int32_t RowReader::height() const { return static_cast<int32_t>(m_layout->header.height); }
bool RowReader::hasAlpha() const { return m_layout->format.hasAlpha; }
size_t RowReader::rowBytes() const {
    return static_cast<size_t>((static_cast<uint64_t>(m_layout->header.width) * m_layout->header.bitsPerPixel + 7) / 8);
}
uint64_t RowReader::rowOffset(int32_t y) const {
    const Header& h = m_layout->header;
    const uint64_t fileRow = h.topDown ? static_cast<uint64_t>(y) : static_cast<uint64_t>(h.height - 1 - y);
    return h.pixelOffset + fileRow * stride(h);
}
void RowReader::decodeRow(const uint8_t* stored, uint32_t* out) const { bmp::decodeRow(m_layout->format, stored, out); }
void RowReader::decodeColumns(const uint8_t* stored, uint32_t* out, const std::vector<int32_t>& columns) const {
    for (const int32_t x : columns) out[x] = decodePixel(m_layout->format, stored, x);
}

Decoded decode(const uint8_t* data, size_t size, uint64_t pixelBudget) {
    Header h = readHeader(data, size);
    mendPixelOffset(h, size);
    validate(h, size, pixelBudget);

    Decoded result;
    if (h.compression == Compression::Jpeg || h.compression == Compression::Png) {
        result.embedded = h.compression == Compression::Jpeg ? Embedded::Jpeg : Embedded::Png;
        result.streamOffset = h.pixelOffset;
        const uint64_t rest = size - h.pixelOffset;
        result.streamSize = h.imageSize > 0 && h.imageSize <= rest ? h.imageSize : rest;
        return result;
    }

    readMasks(h, data, size);
    const bool rle = h.compression == Compression::Rle8 || h.compression == Compression::Rle4 ||
                     h.compression == Compression::Rle24;
    if (!rle) {
        // Check the file holds every row before allocating anything for them. The last row's
        // padding may be missing.
        const uint64_t needed = pixelBytes(h);
        if (size - h.pixelOffset < needed)
            refuse("the file ends before its pixel data ends (" + std::to_string(size - h.pixelOffset) +
                   " of " + std::to_string(needed) + " bytes)");
    }
    result.image = allocate(h, rle);
    if (rle)
        decodeRle(h, data, size, result.image);
    else
        decodeRows(h, data, size, result.image);
    return result;
}

}  // namespace bmp
