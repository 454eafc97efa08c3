#include "compose/Layout.h"

#include "toolkit/Errors.h"

#include <algorithm>
#include <cmath>

namespace compose {

Grid gridFor(int64_t n, int64_t cellWidth, int64_t cellHeight, int64_t rowWidth, int64_t margin, int64_t spacing) {
    Grid grid;
    grid.cellWidth = cellWidth;
    grid.cellHeight = cellHeight;
    grid.margin = margin;
    grid.spacing = spacing;
    grid.perRow = std::max<int64_t>(1, (rowWidth - 2 * margin + spacing) / (cellWidth + spacing));
    grid.rows = (n + grid.perRow - 1) / grid.perRow;
    const int64_t oneRow = 2 * margin + n * cellWidth + (n - 1) * spacing;
    grid.width = n <= grid.perRow ? std::min(oneRow, rowWidth) : rowWidth;
    grid.height = 2 * margin + grid.rows * cellHeight + (grid.rows - 1) * spacing;
    return grid;
}

int32_t scrollMax(float canvas, float shown) {
    const double steps = std::ceil((static_cast<double>(canvas) - shown) / 10);
    if (!(steps >= -2147483648.0 && steps <= 2147483647.0)) throw tk::overflowError();
    return static_cast<int32_t>(steps);
}

}  // namespace compose
