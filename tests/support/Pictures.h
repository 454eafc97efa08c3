#pragma once
// Two ways of reading one picture, compared: what each comes to, and the threshold from which
// files are read as they are painted.

#include "toolkit/Picture.h"

#include <cstdint>
#include <functional>
#include <vector>

// What reading a picture comes to: the error number it was refused with, or its pixels painted
// into a few small cells (sampling some of its rows and columns) and then whole.
struct ReadOutcome {
    int error = 0;
    std::vector<uint32_t> pixels;
    friend bool operator==(const ReadOutcome&, const ReadOutcome&) = default;
};
ReadOutcome readOutcome(const std::function<tk::Picture()>& read);

// While it lives, every file of at least this many bytes is read as it is painted.
class ReadAsPaintedFrom {
public:
    explicit ReadAsPaintedFrom(uint64_t bytes) : m_before(storage::readAsPaintedFrom()) { storage::setReadAsPaintedFrom(bytes); }
    ~ReadAsPaintedFrom() { storage::setReadAsPaintedFrom(m_before); }
    ReadAsPaintedFrom(const ReadAsPaintedFrom&) = delete;
    ReadAsPaintedFrom& operator=(const ReadAsPaintedFrom&) = delete;

private:
    uint64_t m_before;
};

// An image's size and pixels, to compare one with another.
inline std::vector<uint32_t> pixelsOf(const bmp::Image& image) {
    std::vector<uint32_t> all{static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height)};
    all.insert(all.end(), image.pixels.get(), image.pixels.get() + int64_t{image.width} * image.height);
    return all;
}

// A sheet as a decoder gives it: its pixels as 0xAARRGGBB words, and whether the file has an
// alpha channel (otherwise every alpha is 0xFF).
struct Sheet {
    int64_t width = 0, height = 0;
    bool alpha = false;
    std::vector<uint32_t> argb;
    uint32_t at(int64_t x, int64_t y) const { return argb[size_t(y * width + x)]; }
};
// Read by libpng (empty where it refuses the file), or by this program's bitmap reader.
Sheet readPng(const std::string& path);
Sheet readBmp(const std::string& path);
