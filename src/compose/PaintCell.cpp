// One picture into one cell: stretched to the cell, or with "Drop to floor" lowered so that
// its lowest row of content rests on the cell's bottom edge.

#include "compose/PaintCell.h"

#include "compose/Units.h"
#include "form/Form.h"

#include <algorithm>

namespace {

constexpr int kFilledBox = 38;

// Content rows of the scratch copy's top-left width x height pixels: one more than the lowest
// row holding a colour other than the background, or 0 when none does. Scanning from the
// bottom finds the same row as scanning from the top and reads far fewer pixels.
int32_t contentRows(const bmp::Image& scratch, int32_t width, int32_t height, uint32_t background) {
    for (int32_t r = height - 1; r >= 0; --r) {
        const uint32_t* row = scratch.row(r);
        for (int32_t c = 0; c < width; ++c)
            if ((row[c] & 0xFFFFFFu) != background) return r + 1;
    }
    return 0;
}

uint32_t argbToColour(uint32_t colour) {  // 0x00BBGGRR, as Point gives it, to 0x00RRGGBB
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

}  // namespace

void frmQuiltwright::PaintCell(const tk::Picture& picture, tk::PictureBox& target, float x, float y, float cellWidth,
                               float cellHeight) {
    compose::paintCell(picture, target, tmpPic, {x, y, cellWidth, cellHeight}, chkDropFloor.Value() == 1);
}

uint32_t compose::paintCell(const tk::Picture& picture, tk::PictureBox& target, tk::PictureBox& scratch, const CellPlace& cell,
                            bool dropToFloor, const std::function<void()>& turn) {
    const auto [x, y, cellWidth, cellHeight] = cell;
    if (!dropToFloor) {
        target.PaintPicture(picture, x, y, cellWidth, cellHeight);
        return 0;
    }

    scratch.setScaleMode(3);
    // The cell in whole screen pixels, from the twips and the screen's factor as it is (at a
    // fractional factor, rounding the factor first would scan a smaller cell). The drop is worked
    // out in whole pixels too and handed back in twips that stand for exactly those pixels, so the
    // same picture drops as far at every screen factor.
    const int32_t left = compose::TwipsToPixelsX(x), top = compose::TwipsToPixelsY(y);
    const int32_t width = compose::TwipsToPixelsX(cellWidth);
    const int32_t height = compose::TwipsToPixelsY(cellHeight);

    // The scratch image is at least the cell's size, so the scan never reads outside it.
    if (width > 0 && height > 0) scratch.ensureImageAtLeast(width, height);
    scratch.PaintPicture(picture, 0, 0, static_cast<float>(width), static_cast<float>(height));
    const uint32_t background = scratch.Point(0, 0);

    int32_t rows = width > 0 ? contentRows(scratch.persistentImage(), width, height, argbToColour(background)) : 0;
    if (rows == 0) rows = height;
    // Places past the 32-bit range lie far outside any canvas: there the drawing is cut anyway.
    const auto place = [](int64_t pixels) { return static_cast<int32_t>(std::min<int64_t>(pixels, INT32_MAX)); };
    const int32_t dropped = place(int64_t{top} + height - rows);  // where the lowered picture's top row goes

    // A picture wider than its cell reaches into the next one: drawn after the previous picture.
    if (turn) turn();
    target.Line(kFilledBox, x, y, compose::PixelsToTwipsX(place(int64_t{left} + width)),
                compose::PixelsToTwipsY(place(int64_t{top} + height)), background);
    // A picture that keeps its alpha fills with its top-left pixel's alpha too.
    const uint32_t corner = argbToColour(background);
    if (target.KeepsAlpha && picture.hasAlpha() && width > 0 && height > 0)
        target.setAlphaWhere(left, top, int64_t{left} + width, int64_t{top} + height, corner,
                             static_cast<uint8_t>(scratch.persistentImage().row(0)[0] >> 24));
    target.PaintPicture(picture, x, compose::PixelsToTwipsY(dropped), {}, {}, 0.0f, 0.0f, {}, compose::PixelsToTwipsY(rows));
    return corner;
}
