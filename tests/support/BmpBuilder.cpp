#include "support/BmpBuilder.h"

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::vector<uint8_t> rows(int width, int height, int bytesPerPixel, bool topDown,
                          const std::function<void(std::vector<uint8_t>&, int x, int y)>& pixel) {
    std::vector<uint8_t> data;
    const int stride = (width * bytesPerPixel * 8 + 31) / 32 * 4;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const int y = topDown ? fileRow : height - 1 - fileRow;
        const size_t start = data.size();
        for (int x = 0; x < width; ++x) pixel(data, x, y);
        data.resize(start + static_cast<size_t>(stride), 0);
    }
    return data;
}

}  // namespace

std::vector<uint8_t> buildBmp(const BmpSpec& spec) {
    std::vector<uint8_t> info;
    if (spec.infoSize == 12) {
        put32(info, 12);
        put16(info, static_cast<uint32_t>(spec.width));
        put16(info, static_cast<uint32_t>(spec.height));
        put16(info, spec.planes);
        put16(info, spec.bitsPerPixel);
    } else {
        put32(info, spec.infoSize);
        put32(info, static_cast<uint32_t>(spec.width));
        put32(info, static_cast<uint32_t>(spec.height));
        put16(info, spec.planes);
        put16(info, spec.bitsPerPixel);
        put32(info, spec.compression);
        put32(info, static_cast<uint32_t>(spec.pixelData.size()));
        put32(info, 2835);
        put32(info, 2835);
        put32(info, spec.colorsUsed);
        put32(info, 0);
        if (spec.infoSize > 40)
            for (size_t i = 0; i < spec.masks.size(); ++i) put32(info, spec.masks[i]);
        info.resize(spec.infoSize, 0);
    }
    std::vector<uint8_t> tables;
    if (spec.infoSize == 40)
        for (uint32_t m : spec.masks) put32(tables, m);
    for (uint32_t c : spec.palette) {
        tables.push_back(static_cast<uint8_t>(c));
        tables.push_back(static_cast<uint8_t>(c >> 8));
        tables.push_back(static_cast<uint8_t>(c >> 16));
        if (spec.infoSize != 12) tables.push_back(0);
    }
    const uint32_t offset = spec.pixelOffset >= 0 ? static_cast<uint32_t>(spec.pixelOffset)
                                                  : static_cast<uint32_t>(14 + info.size() + tables.size());
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<uint32_t>(offset + spec.pixelData.size()));
    put32(out, 0);
    put32(out, offset);
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), tables.begin(), tables.end());
    out.resize(std::max<size_t>(out.size(), offset), 0);
    out.insert(out.end(), spec.pixelData.begin(), spec.pixelData.end());
    return out;
}

std::vector<uint8_t> bmp24(int width, int height, const ColourAt& colour, bool topDown) {
    BmpSpec spec;
    spec.width = width;
    spec.height = topDown ? -height : height;
    spec.pixelData = rows(width, height, 3, topDown, [&](std::vector<uint8_t>& d, int x, int y) {
        const uint32_t c = colour(x, y);
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(static_cast<uint8_t>(c >> 8));
        d.push_back(static_cast<uint8_t>(c >> 16));
    });
    return buildBmp(spec);
}

std::vector<uint8_t> bmp32(int width, int height, const ColourAt& colour, bool topDown) {
    BmpSpec spec;
    spec.width = width;
    spec.height = topDown ? -height : height;
    spec.bitsPerPixel = 32;
    spec.pixelData = rows(width, height, 4, topDown, [&](std::vector<uint8_t>& d, int x, int y) {
        const uint32_t c = colour(x, y);
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(static_cast<uint8_t>(c >> 8));
        d.push_back(static_cast<uint8_t>(c >> 16));
        d.push_back(0);  // the unused byte, as most writers leave it
    });
    return buildBmp(spec);
}

std::vector<uint8_t> bmp8(int width, int height, const std::vector<uint32_t>& palette,
                          const std::function<uint8_t(int x, int y)>& index, bool topDown) {
    BmpSpec spec;
    spec.width = width;
    spec.height = topDown ? -height : height;
    spec.bitsPerPixel = 8;
    spec.palette = palette;
    spec.colorsUsed = static_cast<uint32_t>(palette.size());
    spec.pixelData = rows(width, height, 1, topDown, [&](std::vector<uint8_t>& d, int x, int y) { d.push_back(index(x, y)); });
    return buildBmp(spec);
}

std::vector<uint8_t> solidBmp(int width, int height, uint32_t colour) {
    return bmp24(width, height, [colour](int, int) { return colour; });
}
