#include "compose/Gutters.h"

#include <algorithm>

namespace compose {

void extrudeCells(tk::PictureBox& canvas, const Grid& grid, int64_t cells, int64_t extrude) {
    const int64_t between = std::min(extrude, grid.spacing / 2), outside = std::min(extrude, grid.margin);
    for (int64_t p = 0; p < cells; ++p) {
        const int64_t column = p % grid.perRow, row = p / grid.perRow;
        const int64_t left = grid.left(p), top = grid.top(p);
        // A cell cut at the sheet's right edge, or ending at it, has nothing to repeat past it.
        const int64_t right = std::min(left + grid.cellWidth, grid.width), bottom = top + grid.cellHeight;
        const int64_t toLeft = column == 0 ? outside : between;
        const int64_t toRight = std::min(grid.width - right, column + 1 == grid.perRow ? outside : between);
        const int64_t toTop = row == 0 ? outside : between;
        const int64_t toBottom = row + 1 == grid.rows ? outside : between;
        for (int64_t k = 1; k <= toLeft; ++k) canvas.copyPixels(left, top, 1, bottom - top, left - k, top);
        for (int64_t k = 1; k <= toRight; ++k) canvas.copyPixels(right - 1, top, 1, bottom - top, right - 1 + k, top);
        const int64_t from = left - toLeft, width = right + toRight - from;
        for (int64_t k = 1; k <= toTop; ++k) canvas.copyPixels(from, top, width, 1, from, top - k);
        for (int64_t k = 1; k <= toBottom; ++k) canvas.copyPixels(from, bottom - 1, width, 1, from, bottom - 1 + k);
    }
}

}  // namespace compose
