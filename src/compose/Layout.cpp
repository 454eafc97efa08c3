#include "compose/Layout.h"

#include "toolkit/Errors.h"

#include <cmath>

namespace compose {

CanvasSize foldIntoRows(int32_t n, float cellWidth, float cellHeight, float rowWidth) {
    constexpr double kMostSteps = 1e7;
    CanvasSize size;
    size.width = static_cast<float>(n) * cellWidth;
    size.height = cellHeight;
    if (!std::isfinite(size.width)) throw tk::floatingPointError();
    if (size.width > rowWidth) {
        const double steps = std::ceil(static_cast<double>(size.width) / rowWidth) - 1;
        if (steps <= kMostSteps) {
            while (size.width > rowWidth) {
                size.width = size.width - rowWidth;
                size.height = size.height + cellHeight;
            }
        } else {
            size.height = static_cast<float>((steps + 1) * static_cast<double>(cellHeight));
        }
        size.width = rowWidth;
    }
    if (!std::isfinite(size.height)) throw tk::floatingPointError();
    return size;
}

void CellWalk::advance() {
    x = x + cellWidth;
    if (static_cast<float>(x + cellWidth) > layoutWidth) {
        x = 0;
        y = y + cellHeight;
    }
}

CanvasSize canvasFor(int32_t n, float cellWidth, float cellHeight, float rowWidth) {
    CanvasSize size = foldIntoRows(n, cellWidth, cellHeight, rowWidth);
    if (n <= 0 || !(cellWidth > 0)) return size;  // no wrap ever: every cell is in the first row
    // Whole cells in one row, counted as the walk counts them (rows are all alike).
    CellWalk walk{cellWidth, cellHeight, size.width};
    int64_t perRow = 0;
    do {
        walk.advance();
        ++perRow;
    } while (walk.x != 0 && perRow < n);
    const int64_t rows = (n + perRow - 1) / perRow;
    const auto needed = static_cast<float>(static_cast<double>(rows) * static_cast<double>(cellHeight));
    if (needed > size.height) size.height = needed;
    if (!std::isfinite(size.height)) throw tk::floatingPointError();
    return size;
}

int32_t scrollMax(float canvas, float viewport) {
    const double steps = std::floor((static_cast<double>(canvas) - viewport) / 10);
    if (!(steps >= -2147483648.0 && steps <= 2147483647.0)) throw tk::overflowError();
    return static_cast<int32_t>(steps);
}

}  // namespace compose
