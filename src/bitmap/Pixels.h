#pragma once
// Pixel routines on an image: scaling a picture's rows into a rectangle, filling, keying a colour
// out, copying, and finding where a picture's content ends. Coordinates are pixels; every
// rectangle is cut to the image, so nothing is written outside it.

#include "bitmap/BmpImage.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace bmp {

// A picture of sourceWidth x sourceHeight pixels drawn by nearest neighbour from its region
// (sx, sy, sw, sh) onto (dx, dy, dw, dh) of an image of imageWidth x imageHeight pixels (a
// negative size mirrors). The image's pixels it covers are left..right, top..bottom; each takes
// the source column columns[x - left] and row sourceRow(y), -1 where the region reaches past the
// picture (such pixels are left as they are).
struct ScaleMap {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    std::vector<int32_t> columns;
    bool straight = false;  // every column is the one after the previous: rows copied as runs
    double dy = 0, dh = 1, sy = 0, sh = 1;
    bool flipY = false;
    bool oneToOne = false;  // at the picture's own size on whole pixels: row y takes row y + shift
    int64_t shift = 0;
    int32_t sourceHeight = 0;
    bool empty() const { return left >= right || top >= bottom; }
    int32_t sourceRow(int64_t y) const;
    // The source rows and columns the drawing takes, sorted, each once.
    std::vector<int32_t> rowsTaken() const;
    std::vector<int32_t> columnsTaken() const;
};
ScaleMap mapScaled(int32_t imageWidth, int32_t imageHeight, int32_t sourceWidth, int32_t sourceHeight, double dx, double dy,
                   double dw, double dh, double sx, double sy, double sw, double sh);

// Draws the mapped pixels; row(r) gives source row r. Each pixel is or-ed with opaque (0xFF000000
// makes it opaque, 0 keeps the picture's alpha).
void drawMapped(Image& image, const ScaleMap& map, const std::function<const uint32_t*(int32_t)>& row, uint32_t opaque);

// Room for count pixels (allocatePixels), in large pages where the system offers them on request:
// a sheet of tens of megabytes is then mapped in a few dozen faults instead of thousands.
PixelBuffer allocateLargePixels(size_t count, bool zeroed);

// Whether every pixel's alpha is 255.
bool allOpaque(const Image& image);
// Fills left..right, top..bottom with argb.
void fill(Image& image, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t argb);
// Pixels of left..right, top..bottom whose colour is rgb (0xRRGGBB) get this alpha; with
// withAlpha, those that are the pixel colour (0xAARRGGBB) alpha and all.
void keyOut(Image& image, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t colour, uint8_t alpha,
            bool withAlpha = false);
// Copies width x height pixels from left, top to toLeft, toTop (both inside the image, apart).
void copyPixels(Image& image, int64_t left, int64_t top, int64_t width, int64_t height, int64_t toLeft, int64_t toTop);
// One more than the lowest row of left..right, top..bottom holding a colour other than
// background (0xRRGGBB), counted from top; 0 when none does. With withAlpha, background is a
// pixel (0xAARRGGBB), alpha and all, and a pixel of alpha 0 is background whatever it hides.
int64_t contentRows(const Image& image, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t background,
                    bool withAlpha = false);

}  // namespace bmp
