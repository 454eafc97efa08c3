#include "compose/Gutters.h"

#include "bitmap/Pixels.h"

#include <algorithm>

namespace compose {

void extrudeCells(bmp::Image& canvas, const Grid& grid, int64_t first, int64_t end, int64_t extrude) {
    const int64_t between = std::min(extrude, grid.spacing / 2), outside = std::min(extrude, grid.margin);
    for (int64_t p = first; p < end; ++p) {
        const int64_t column = p % grid.perRow, row = p / grid.perRow;
        const Rect cell = grid.frame(p);
        // A cell cut at the sheet's right edge, or ending at it, has nothing to repeat past it.
        const int64_t left = cell.x, top = cell.y, right = cell.x + cell.width, bottom = top + cell.height;
        const int64_t toLeft = column == 0 ? outside : between;
        const int64_t toRight = std::min(grid.width - right, column + 1 == grid.columns ? std::min(extrude, grid.rightMargin) : between);
        const int64_t toTop = row == 0 ? outside : between;
        const int64_t toBottom = row + 1 == grid.rows ? outside : between;
        for (int64_t k = 1; k <= toLeft; ++k) bmp::copyPixels(canvas, left, top, 1, bottom - top, left - k, top);
        for (int64_t k = 1; k <= toRight; ++k) bmp::copyPixels(canvas, right - 1, top, 1, bottom - top, right - 1 + k, top);
        const int64_t from = left - toLeft, width = right + toRight - from;
        for (int64_t k = 1; k <= toTop; ++k) bmp::copyPixels(canvas, from, top, width, 1, from, top - k);
        for (int64_t k = 1; k <= toBottom; ++k) bmp::copyPixels(canvas, from, bottom - 1, width, 1, from, bottom - 1 + k);
    }
}

}  // namespace compose
