#include "toolkit/PictureBox.h"

#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace tk {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
constexpr int32_t kSourceCopy = 0x00CC0020;
constexpr int kBorderPixels = 2;  // a single 3D frame

// Nearest whole pixel, kept far inside the 64-bit range whatever the value.
int64_t pixelEdge(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int64_t>(std::llround(std::clamp(v, -4.0e15, 4.0e15)));
}

// A large image in large pages where the system offers them on request: a sheet of tens of
// megabytes is then mapped in a few dozen faults instead of thousands.
void adviseLargePages(void* pixels, size_t bytes) {
    constexpr uintptr_t kPage = 4096;
    if (bytes < (size_t{4} << 20)) return;
    const auto start = (reinterpret_cast<uintptr_t>(pixels) + kPage - 1) & ~(kPage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(pixels) + bytes) & ~(kPage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

Error invalidCall() { return Error(5, QStringLiteral("Invalid procedure call or argument")); }

uint32_t toArgb(uint32_t colour) {
    return kOpaque | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// What an image of a box starts as: its background colour. The top byte of a box's pixels is
// not used (the window and the writer take red, green and blue), so black is 0, and a large black
// image is zeroed memory that costs nothing until it is painted.
uint32_t backgroundPixel(uint32_t backColor) { return toArgb(backColor) & 0xFFFFFFu; }

// The rows of the picture that destination rows first..end-1 take (sourceRow(y), -1 for none):
// a picture read as it is painted reads just those, each once; one in memory has them all.
template <typename SourceRow>
PictureRows readRows(const Picture& picture, int64_t first, int64_t end, SourceRow sourceRow,
                     const std::vector<int32_t>* columns = nullptr) {
    if (!picture.readAsPainted()) return PictureRows(picture.image());
    std::vector<int32_t> wanted;
    for (int64_t y = first; y < end; ++y)
        if (const int32_t row = sourceRow(y); row >= 0 && (wanted.empty() || row != wanted.back())) wanted.push_back(row);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    if (!columns) return picture.rows(std::move(wanted));
    std::vector<int32_t> taken;  // the columns the paint takes, sorted, each once
    for (const int32_t x : *columns)
        if (x >= 0) taken.push_back(x);
    std::sort(taken.begin(), taken.end());
    taken.erase(std::unique(taken.begin(), taken.end()), taken.end());
    return picture.rows(std::move(wanted), &taken);
}

}  // namespace

void PictureBox::setWidth(float v) {
    if (!(v >= 0)) throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (v != Width()) m_stale = true;
    Control::setWidth(v);
}

void PictureBox::setHeight(float v) {
    if (!(v >= 0)) throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (v != Height()) m_stale = true;
    Control::setHeight(v);
}

void PictureBox::setBorderStyle(int style) {
    if (style != 0 && style != 1) throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (style == m_borderStyle) return;
    m_borderStyle = style;
    m_stale = true;
    notify(Property::Border);
}

void PictureBox::setScaleMode(int mode) {
    if (mode != 1 && mode != 3) throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
    m_scaleMode = mode;
}

int64_t PictureBox::innerPixelsX(float widthTwips) const {
    const int64_t outer = pixelEdge(pixelsIn(widthTwips, Screen::TwipsPerPixelX()));
    return std::max<int64_t>(0, outer - (m_borderStyle ? 2 * kBorderPixels : 0));
}

int64_t PictureBox::innerPixelsY(float heightTwips) const {
    const int64_t outer = pixelEdge(pixelsIn(heightTwips, Screen::TwipsPerPixelY()));
    return std::max<int64_t>(0, outer - (m_borderStyle ? 2 * kBorderPixels : 0));
}

void PictureBox::checkImageSize(float widthTwips, float heightTwips) const {
    if (!(widthTwips >= 0) || !(heightTwips >= 0))
        throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value: a picture cannot have a negative size"));
    checkImagePixels(innerPixelsX(widthTwips), innerPixelsY(heightTwips));
}

void PictureBox::checkImagePixels(int64_t w, int64_t h) {
    if (w > INT32_MAX || h > INT32_MAX || static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > kImageBudget)
        throw Error(kOutOfMemory, QStringLiteral("Out of memory: a picture of %1 x %2 pixels is larger than this program "
                                                 "can hold (%3 pixels at most)")
                                      .arg(w).arg(h).arg(kImageBudget));
}

namespace {

// The whole device pixels a framed box shows inside its frame, in twips (see ScaleWidth).
float shownInside(float outerTwips, int outerLogical, float twipsPerPixel) {
    const double ratio = Screen::DevicePixelRatio();
    const double inner = std::max(0, outerLogical - 2 * PictureBox::kFrameLogicalPixels) * ratio;
    const double whole = std::floor(inner + 1e-9) - (ratio == std::floor(ratio) ? 0 : 1);
    return std::min(outerTwips, static_cast<float>(std::max(0.0, whole) * twipsPerPixel));
}

}  // namespace

float PictureBox::ScaleWidth() const {
    return m_borderStyle ? shownInside(Width(), logicalPixelsX(Width()), Screen::TwipsPerPixelX()) : Width();
}

float PictureBox::ScaleHeight() const {
    return m_borderStyle ? shownInside(Height(), logicalPixelsY(Height()), Screen::TwipsPerPixelY()) : Height();
}

bmp::Image& PictureBox::image() {
    if (!m_stale) return *m_image;
    checkImageSize(Width(), Height());
    m_image = std::make_shared<bmp::Image>();  // let the old pixels go before the new arrive
    auto fresh = std::make_shared<bmp::Image>();
    fresh->width = static_cast<int32_t>(innerPixelsX(Width()));
    fresh->height = static_cast<int32_t>(innerPixelsY(Height()));
    const size_t count = static_cast<size_t>(fresh->width) * static_cast<size_t>(fresh->height);
    const uint32_t background = backgroundPixel(BackColor);
    try {
        fresh->pixels = bmp::allocatePixels(count, background == 0);
    } catch (const std::bad_alloc&) {
        throw Error(kOutOfMemory, QStringLiteral("Out of memory: a picture of %1 x %2 pixels").arg(fresh->width).arg(fresh->height));
    }
    adviseLargePages(fresh->pixels.get(), count * sizeof(uint32_t));
    if (background != 0) std::fill_n(fresh->pixels.get(), count, background);
    m_image = std::move(fresh);
    m_stale = false;
    return *m_image;
}

const bmp::Image& PictureBox::persistentImage() { return image(); }

void PictureBox::Cls() {
    if (m_stale) return;  // the next use makes a fresh image in the background colour
    const bmp::Image& img = *m_image;
    std::fill_n(m_image->pixels.get(), static_cast<size_t>(img.width) * static_cast<size_t>(img.height), backgroundPixel(BackColor));
    notify(Property::Image);
}

Picture PictureBox::Image() {
    image();
    return Picture(m_image);
}

void PictureBox::ensureImageAtLeast(int32_t width, int32_t height) {
    bmp::Image& current = image();
    if (current.width >= width && current.height >= height) return;
    auto grown = std::make_shared<bmp::Image>();
    grown->width = std::max(current.width, width);
    grown->height = std::max(current.height, height);
    const size_t count = static_cast<size_t>(grown->width) * static_cast<size_t>(grown->height);
    if (count > kImageBudget) throw Error(kOutOfMemory, QStringLiteral("Out of memory: scratch picture too large"));
    grown->pixels = bmp::allocatePixels(count);
    std::fill_n(grown->pixels.get(), count, backgroundPixel(BackColor));
    for (int32_t y = 0; y < current.height; ++y)
        std::memcpy(grown->row(y), current.row(y), static_cast<size_t>(current.width) * 4);
    m_image = std::move(grown);
}

double PictureBox::toPixelsX(float v) const { return m_scaleMode == 3 ? v : pixelsIn(v, Screen::TwipsPerPixelX()); }

double PictureBox::toPixelsY(float v) const { return m_scaleMode == 3 ? v : pixelsIn(v, Screen::TwipsPerPixelY()); }

void PictureBox::PaintPicture(const Picture& picture, float x1, float y1, std::optional<float> width1,
                              std::optional<float> height1, std::optional<float> x2, std::optional<float> y2,
                              std::optional<float> width2, std::optional<float> height2, std::optional<int32_t> opcode) {
    if (picture.isNull()) throw invalidCall();
    if (opcode && *opcode != kSourceCopy) throw invalidCall();
    const int32_t srcWidth = picture.widthPixels(), srcHeight = picture.heightPixels();

    // Source region in picture pixels; the picture's own pixel is one screen pixel.
    double sx = x2 ? toPixelsX(*x2) : 0, sy = y2 ? toPixelsY(*y2) : 0;
    double sw = width2 ? toPixelsX(*width2) : srcWidth, sh = height2 ? toPixelsY(*height2) : srcHeight;
    // Destination rectangle in the box's pixels.
    double dx = toPixelsX(x1), dy = toPixelsY(y1);
    double dw = width1 ? toPixelsX(*width1) : sw, dh = height1 ? toPixelsY(*height1) : sh;
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
    bool flipX = false, flipY = false;
    if (dw < 0) dx += dw, dw = -dw, flipX = !flipX;
    if (dh < 0) dy += dh, dh = -dh, flipY = !flipY;
    if (sw < 0) sx += sw, sw = -sw, flipX = !flipX;
    if (sh < 0) sy += sh, sh = -sh, flipY = !flipY;

    bmp::Image& dst = image();
    const uint32_t opaque = KeepsAlpha && picture.hasAlpha() ? 0 : kOpaque;
    const int64_t left = std::max<int64_t>(pixelEdge(dx), 0), right = std::min<int64_t>(pixelEdge(dx + dw), dst.width);
    const int64_t top = std::max<int64_t>(pixelEdge(dy), 0), bottom = std::min<int64_t>(pixelEdge(dy + dh), dst.height);
    if (left >= right || top >= bottom) return;

    // At the picture's own size, on whole pixels, rows are copied as they are.
    const auto whole = [](double v) { return v == std::floor(v); };
    if (!flipX && !flipY && dw == sw && dh == sh && whole(dx) && whole(dy) && whole(sx) && whole(sy)) {
        const auto shiftX = static_cast<int64_t>(sx - dx), shiftY = static_cast<int64_t>(sy - dy);
        const int64_t from = std::max<int64_t>(left, -shiftX), to = std::min<int64_t>(right, srcWidth - shiftX);
        const int64_t firstRow = std::max<int64_t>(top, -shiftY), endRow = std::min<int64_t>(bottom, srcHeight - shiftY);
        const PictureRows rows = readRows(picture, firstRow, endRow, [&](int64_t y) { return static_cast<int32_t>(y + shiftY); });
        for (int64_t y = firstRow; y < endRow; ++y) {
            const uint32_t* in = rows.row(static_cast<int32_t>(y + shiftY)) + shiftX;
            uint32_t* out = dst.row(static_cast<int32_t>(y));
            for (int64_t x = from; x < to; ++x) out[x] = in[x] | opaque;
        }
        notify(Property::Image);
        return;
    }

    // Which source column and row each destination pixel takes; -1 where the source region
    // reaches past the picture (those pixels are left as they are).
    const auto sourceIndex = [](int64_t i, double d, double dSize, double s, double sSize, bool flip, int32_t limit) {
        double u = (static_cast<double>(i) - d + 0.5) / dSize;
        if (flip) u = 1 - u;
        const double v = std::floor(s + u * sSize);
        return v >= 0 && v < limit ? static_cast<int32_t>(v) : -1;
    };
    std::vector<int32_t> columns(static_cast<size_t>(right - left));
    bool straight = true;  // every column is the next source column: copy whole runs
    for (int64_t x = left; x < right; ++x) {
        columns[static_cast<size_t>(x - left)] = sourceIndex(x, dx, dw, sx, sw, flipX, srcWidth);
        straight = straight && columns[static_cast<size_t>(x - left)] >= 0 &&
                   (x == left || columns[static_cast<size_t>(x - left)] == columns[static_cast<size_t>(x - left - 1)] + 1);
    }
    const PictureRows rows =
        readRows(picture, top, bottom, [&](int64_t y) { return sourceIndex(y, dy, dh, sy, sh, flipY, srcHeight); }, &columns);
    for (int64_t y = top; y < bottom; ++y) {
        const int32_t sourceRow = sourceIndex(y, dy, dh, sy, sh, flipY, srcHeight);
        if (sourceRow < 0) continue;
        const uint32_t* in = rows.row(sourceRow);
        uint32_t* out = dst.row(static_cast<int32_t>(y)) + left;
        if (straight) {
            const uint32_t* from = in + columns[0];
            for (size_t i = 0; i < columns.size(); ++i) out[i] = from[i] | opaque;
        } else {
            for (size_t i = 0; i < columns.size(); ++i)
                if (columns[i] >= 0) out[i] = in[columns[i]] | opaque;
        }
    }
    notify(Property::Image);
}

uint32_t PictureBox::Point(float x, float y) {
    const bmp::Image& img = image();
    const double px = std::floor(toPixelsX(x)), py = std::floor(toPixelsY(y));
    if (!(px >= 0 && py >= 0 && px < img.width && py < img.height)) return 0xFFFFFFFFu;
    const uint32_t p = img.row(static_cast<int32_t>(py))[static_cast<int64_t>(px)];
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

void PictureBox::fillRect(int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t argb) {
    bmp::Image& img = image();
    left = std::max<int64_t>(left, 0), top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, img.width), bottom = std::min<int64_t>(bottom, img.height);
    for (int64_t y = top; y < bottom; ++y) std::fill(img.row(static_cast<int32_t>(y)) + left, img.row(static_cast<int32_t>(y)) + right, argb);
}

void PictureBox::setAlphaWhere(int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t rgb, uint8_t alpha) {
    bmp::Image& img = image();
    left = std::max<int64_t>(left, 0), top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, img.width), bottom = std::min<int64_t>(bottom, img.height);
    const uint32_t keyed = static_cast<uint32_t>(alpha) << 24;
    for (int64_t y = top; y < bottom; ++y) {
        uint32_t* row = img.row(static_cast<int32_t>(y));
        for (int64_t x = left; x < right; ++x)
            if ((row[x] & 0xFFFFFFu) == rgb) row[x] = (row[x] & 0xFFFFFFu) | keyed;
    }
    notify(Property::Image);
}

void PictureBox::copyPixels(int64_t left, int64_t top, int64_t width, int64_t height, int64_t toLeft, int64_t toTop) {
    bmp::Image& img = image();
    if (left < 0 || top < 0 || toLeft < 0 || toTop < 0 || width <= 0 || height <= 0 || left + width > img.width ||
        toLeft + width > img.width || top + height > img.height || toTop + height > img.height)
        throw invalidCall();
    for (int64_t y = 0; y < height; ++y)
        std::memcpy(img.row(static_cast<int32_t>(toTop + y)) + toLeft, img.row(static_cast<int32_t>(top + y)) + left,
                    static_cast<size_t>(width) * sizeof(uint32_t));
    notify(Property::Image);
}

void PictureBox::Line(int flags, float x1, float y1, float x2, float y2, uint32_t colour) {
    constexpr int kFilledBox = 38;
    if (flags != kFilledBox) throw invalidCall();
    const double ax = toPixelsX(x1), bx = toPixelsX(x2), ay = toPixelsY(y1), by = toPixelsY(y2);
    fillRect(pixelEdge(std::min(ax, bx)), pixelEdge(std::min(ay, by)), pixelEdge(std::max(ax, bx)),
             pixelEdge(std::max(ay, by)), toArgb(colour));
    notify(Property::Image);
}

}  // namespace tk
