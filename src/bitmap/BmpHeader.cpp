#include "bitmap/BmpHeader.h"

#include <algorithm>
#include <cstring>

namespace bmp::detail {

void refuse(const std::string& why) { throw FormatError(why); }

namespace {

bool isWindowsInfoSize(uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

uint64_t paletteEntrySize(const Header& h) { return h.infoSize == 12 ? 3 : 4; }
uint64_t declaredColours(const Header& h) {
    const uint64_t full = uint64_t{1} << h.bitsPerPixel;
    return h.colorsUsed == 0 ? full : std::min(h.colorsUsed, full);
}

}  // namespace

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
    if (isRle(h) && h.topDown) refuse("a compressed bitmap cannot be stored top-down");
    if (static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height) > pixelBudget)
        refuse("picture too large: " + std::to_string(h.width) + " x " + std::to_string(h.height) +
               " pixels");
    if (h.pixelOffset < h.paletteStart)
        refuse("the pixel data offset " + std::to_string(h.pixelOffset) + " lies inside the header");
    if (h.pixelOffset >= size) refuse("the file ends before its pixel data");
}

bool isRle(const Header& h) {
    return h.compression == Compression::Rle8 || h.compression == Compression::Rle4 || h.compression == Compression::Rle24;
}

uint64_t stride(const Header& h) { return (static_cast<uint64_t>(h.width) * h.bitsPerPixel + 31) / 32 * 4; }

// Bytes of uncompressed pixel data; the last row's padding may be missing.
uint64_t pixelBytes(const Header& h) {
    return stride(h) * (static_cast<uint64_t>(h.height) - 1) + (static_cast<uint64_t>(h.width) * h.bitsPerPixel + 7) / 8;
}

// Some writers put the declared palette right after the header but give the header's end as the
// pixel data's offset. Taken literally such a file holds no palette, and every pixel would be
// black, colours the file never meant; so where the offset leaves no room for a single palette
// entry (at or before the header's end), the palette is read after the header and the pixels after
// the palette, as those writers meant. Any other offset is the file's word: the palette is what
// lies between the header and it. The file's length plays no part, so bytes after the pixel data
// never change a picture.
void mendPixelOffset(Header& h) {
    if (h.bitsPerPixel > 8 || h.width <= 0 || h.height <= 0) return;
    const bool rle = h.compression == Compression::Rle8 || h.compression == Compression::Rle4;
    if (h.compression != Compression::Rgb && !rle) return;
    if (h.pixelOffset >= h.paletteStart + paletteEntrySize(h)) return;
    h.pixelOffset = h.paletteStart + declaredColours(h) * paletteEntrySize(h);
}

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

}  // namespace bmp::detail
