#include "bitmap/Pixels.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bmp {
namespace {

// Nearest whole pixel, kept far inside the 64-bit range whatever the value.
int64_t pixelEdge(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int64_t>(std::llround(std::clamp(v, -4.0e15, 4.0e15)));
}

int32_t sourceIndex(int64_t i, double d, double dSize, double s, double sSize, bool flip, int32_t limit) {
    double u = (static_cast<double>(i) - d + 0.5) / dSize;
    if (flip) u = 1 - u;
    const double v = std::floor(s + u * sSize);
    return v >= 0 && v < limit ? static_cast<int32_t>(v) : -1;
}

struct Cut {
    int64_t left, top, right, bottom;
};
Cut cut(const Image& image, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    return {std::max<int64_t>(left, 0), std::max<int64_t>(top, 0), std::min<int64_t>(right, image.width),
            std::min<int64_t>(bottom, image.height)};
}

}  // namespace

int32_t ScaleMap::sourceRow(int64_t y) const {
    if (oneToOne) return y + shift >= 0 && y + shift < sourceHeight ? static_cast<int32_t>(y + shift) : -1;
    return sourceIndex(y, dy, dh, sy, sh, flipY, sourceHeight);
}

namespace {
std::vector<int32_t> sortedOnce(std::vector<int32_t> v) {
    std::erase(v, -1);
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}
}  // namespace

std::vector<int32_t> ScaleMap::rowsTaken() const {
    std::vector<int32_t> rows;
    for (int64_t y = top; y < bottom; ++y) rows.push_back(sourceRow(y));
    return sortedOnce(std::move(rows));
}

std::vector<int32_t> ScaleMap::columnsTaken() const { return sortedOnce(columns); }

ScaleMap mapScaled(int32_t imageWidth, int32_t imageHeight, int32_t sourceWidth, int32_t sourceHeight, double dx, double dy,
                   double dw, double dh, double sx, double sy, double sw, double sh) {
    ScaleMap map;
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return map;
    bool flipX = false, flipY = false;
    if (dw < 0) dx += dw, dw = -dw, flipX = !flipX;
    if (dh < 0) dy += dh, dh = -dh, flipY = !flipY;
    if (sw < 0) sx += sw, sw = -sw, flipX = !flipX;
    if (sh < 0) sy += sh, sh = -sh, flipY = !flipY;
    map.left = std::max<int64_t>(pixelEdge(dx), 0), map.right = std::min<int64_t>(pixelEdge(dx + dw), imageWidth);
    map.top = std::max<int64_t>(pixelEdge(dy), 0), map.bottom = std::min<int64_t>(pixelEdge(dy + dh), imageHeight);
    map.dy = dy, map.dh = dh, map.sy = sy, map.sh = sh, map.flipY = flipY, map.sourceHeight = sourceHeight;
    if (map.empty()) return map;
    map.columns.resize(static_cast<size_t>(map.right - map.left));
    map.straight = true;
    // At the picture's own size on whole pixels every pixel takes the one a whole shift away, as
    // the general rule gives too, with no arithmetic per pixel.
    const auto whole = [](double v) { return v == std::floor(v) && std::abs(v) < 4.0e15; };
    if (!flipX && !flipY && dw == sw && dh == sh && whole(dx) && whole(dy) && whole(sx) && whole(sy)) {
        map.oneToOne = true;
        map.shift = static_cast<int64_t>(sy - dy);
        const auto shiftX = static_cast<int64_t>(sx - dx);
        for (int64_t x = map.left; x < map.right; ++x) {
            const int64_t from = x + shiftX;
            map.columns[static_cast<size_t>(x - map.left)] = from >= 0 && from < sourceWidth ? static_cast<int32_t>(from) : -1;
        }
        map.straight = map.columns.front() >= 0 && map.columns.back() >= 0;
        return map;
    }
    for (int64_t x = map.left; x < map.right; ++x) {
        const auto i = static_cast<size_t>(x - map.left);
        map.columns[i] = sourceIndex(x, dx, dw, sx, sw, flipX, sourceWidth);
        map.straight = map.straight && map.columns[i] >= 0 && (i == 0 || map.columns[i] == map.columns[i - 1] + 1);
    }
    return map;
}

void drawMapped(Image& image, const ScaleMap& map, const std::function<const uint32_t*(int32_t)>& row, uint32_t opaque) {
    for (int64_t y = map.top; y < map.bottom; ++y) {
        const int32_t sourceRow = map.sourceRow(y);
        if (sourceRow < 0) continue;
        const uint32_t* in = row(sourceRow);
        uint32_t* out = image.row(static_cast<int32_t>(y)) + map.left;
        if (map.straight) {
            const uint32_t* from = in + map.columns[0];
            for (size_t i = 0; i < map.columns.size(); ++i) out[i] = from[i] | opaque;
        } else {
            for (size_t i = 0; i < map.columns.size(); ++i)
                if (map.columns[i] >= 0) out[i] = in[map.columns[i]] | opaque;
        }
    }
}

PixelBuffer allocateLargePixels(size_t count, bool zeroed) {
    PixelBuffer pixels = allocatePixels(count, zeroed);
    constexpr uintptr_t kPage = 4096;
    const size_t bytes = count * sizeof(uint32_t);
    if (bytes < (size_t{4} << 20)) return pixels;
    const auto start = (reinterpret_cast<uintptr_t>(pixels.get()) + kPage - 1) & ~(kPage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(pixels.get()) + bytes) & ~(kPage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    return pixels;
}

bool allOpaque(const Image& image) {
    const auto count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    const uint32_t* pixels = image.pixels.get();
    // A part at a time, so that a translucent pixel early ends the search early.
    for (size_t at = 0; at < count; at += 4096) {
        uint32_t all = 0xFF000000u;
        for (size_t i = at; i < std::min(count, at + 4096); ++i) all &= pixels[i];
        if (all != 0xFF000000u) return false;
    }
    return true;
}

void fill(Image& image, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t argb) {
    const Cut c = cut(image, left, top, right, bottom);
    for (int64_t y = c.top; y < c.bottom && c.left < c.right; ++y)
        std::fill(image.row(static_cast<int32_t>(y)) + c.left, image.row(static_cast<int32_t>(y)) + c.right, argb);
}

void keyOut(Image& image, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t colour, uint8_t alpha,
            bool withAlpha) {
    const Cut c = cut(image, left, top, right, bottom);
    const uint32_t keyed = static_cast<uint32_t>(alpha) << 24, compared = withAlpha ? 0xFFFFFFFFu : 0xFFFFFFu;
    for (int64_t y = c.top; y < c.bottom; ++y) {
        uint32_t* row = image.row(static_cast<int32_t>(y));
        for (int64_t x = c.left; x < c.right; ++x)
            if ((row[x] & compared) == colour) row[x] = (row[x] & 0xFFFFFFu) | keyed;
    }
}

void copyPixels(Image& image, int64_t left, int64_t top, int64_t width, int64_t height, int64_t toLeft, int64_t toTop) {
    if (left < 0 || top < 0 || toLeft < 0 || toTop < 0 || width <= 0 || height <= 0 || left + width > image.width ||
        toLeft + width > image.width || top + height > image.height || toTop + height > image.height)
        throw std::invalid_argument("copyPixels: a rectangle outside the image");
    for (int64_t y = 0; y < height; ++y)
        std::memcpy(image.row(static_cast<int32_t>(toTop + y)) + toLeft, image.row(static_cast<int32_t>(top + y)) + left,
                    static_cast<size_t>(width) * sizeof(uint32_t));
}

int64_t contentRows(const Image& image, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t background,
                    bool withAlpha) {
    // From the bottom: the same row as a scan from the top finds, after far fewer pixels.
    const Cut c = cut(image, left, top, right, bottom);
    const uint32_t compared = withAlpha ? 0xFFFFFFFFu : 0xFFFFFFu;
    for (int64_t y = c.bottom - 1; y >= c.top; --y) {
        const uint32_t* row = image.row(static_cast<int32_t>(y));
        for (int64_t x = c.left; x < c.right; ++x)
            if ((row[x] & compared) != background && (!withAlpha || row[x] >= 0x01000000u)) return y + 1 - top;
    }
    return 0;
}

}  // namespace bmp
