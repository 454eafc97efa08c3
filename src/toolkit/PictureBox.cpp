#include "toolkit/PictureBox.h"

#include "bitmap/Pixels.h"
#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

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

Error invalidCall() { return Error(5, QStringLiteral("Invalid procedure call or argument")); }

uint32_t toArgb(uint32_t colour) {
    return kOpaque | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// What an image of a box starts as: its background colour. The top byte of a box's pixels is
// not used (the window and the writer take red, green and blue), so black is 0, and a large black
// image is zeroed memory that costs nothing until it is painted.
uint32_t backgroundPixel(uint32_t backColor) { return toArgb(backColor) & 0xFFFFFFu; }

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
        fresh->pixels = bmp::allocateLargePixels(count, background == 0);
    } catch (const std::bad_alloc&) {
        throw Error(kOutOfMemory, QStringLiteral("Out of memory: a picture of %1 x %2 pixels").arg(fresh->width).arg(fresh->height));
    }
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

bmp::Image& PictureBox::paintableImage() { return image(); }

void PictureBox::imagePainted() { notify(Property::Image); }

double PictureBox::toPixelsX(float v) const { return m_scaleMode == 3 ? v : pixelsIn(v, Screen::TwipsPerPixelX()); }

double PictureBox::toPixelsY(float v) const { return m_scaleMode == 3 ? v : pixelsIn(v, Screen::TwipsPerPixelY()); }

void PictureBox::PaintPicture(const Picture& picture, float x1, float y1, std::optional<float> width1,
                              std::optional<float> height1, std::optional<float> x2, std::optional<float> y2,
                              std::optional<float> width2, std::optional<float> height2, std::optional<int32_t> opcode) {
    if (picture.isNull()) throw invalidCall();
    if (opcode && *opcode != kSourceCopy) throw invalidCall();
    // Source region in picture pixels (the picture's own pixel is one screen pixel), then the
    // destination in the box's pixels.
    const double sx = x2 ? toPixelsX(*x2) : 0, sy = y2 ? toPixelsY(*y2) : 0;
    const double sw = width2 ? toPixelsX(*width2) : picture.widthPixels(), sh = height2 ? toPixelsY(*height2) : picture.heightPixels();
    const double dw = width1 ? toPixelsX(*width1) : sw, dh = height1 ? toPixelsY(*height1) : sh;
    drawPicture(image(), picture, toPixelsX(x1), toPixelsY(y1), dw, dh, sx, sy, sw, sh);
    notify(Property::Image);
}

uint32_t PictureBox::Point(float x, float y) {
    const bmp::Image& img = image();
    const double px = std::floor(toPixelsX(x)), py = std::floor(toPixelsY(y));
    if (!(px >= 0 && py >= 0 && px < img.width && py < img.height)) return 0xFFFFFFFFu;
    const uint32_t p = img.row(static_cast<int32_t>(py))[static_cast<int64_t>(px)];
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

void PictureBox::Line(int flags, float x1, float y1, float x2, float y2, uint32_t colour) {
    constexpr int kFilledBox = 38;
    if (flags != kFilledBox) throw invalidCall();
    const double ax = toPixelsX(x1), bx = toPixelsX(x2), ay = toPixelsY(y1), by = toPixelsY(y2);
    bmp::fill(image(), pixelEdge(std::min(ax, bx)), pixelEdge(std::min(ay, by)), pixelEdge(std::max(ax, bx)),
              pixelEdge(std::max(ay, by)), toArgb(colour));
    notify(Property::Image);
}

}  // namespace tk
