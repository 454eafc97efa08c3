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
    grid.columns = std::min(n, grid.perRow);
    grid.rows = (n + grid.perRow - 1) / grid.perRow;
    const int64_t cells = margin + grid.columns * cellWidth + (grid.columns - 1) * spacing;
    if (margin == 0 && spacing == 0) {
        grid.width = n <= grid.perRow ? std::min(cells, rowWidth) : rowWidth;
        grid.rightMargin = std::max<int64_t>(0, grid.width - cells);
    } else {
        grid.rightMargin = std::max<int64_t>(0, std::min({margin, cellWidth + spacing - 1, rowWidth - cells}));
        grid.width = std::min(cells + grid.rightMargin, rowWidth);
    }
    grid.height = 2 * margin + grid.rows * cellHeight + (grid.rows - 1) * spacing;
    return grid;
}

Rect Grid::frame(int64_t p) const { return {left(p), top(p), std::min(cellWidth, width - left(p)), cellHeight}; }

int64_t Grid::frameWidth() const { return std::min(cellWidth, width - margin); }

int32_t scrollMax(float canvas, float shown) {
    const double steps = std::ceil((static_cast<double>(canvas) - shown) / 10);
    if (!(steps >= -2147483648.0 && steps <= 2147483647.0)) throw tk::overflowError();
    return static_cast<int32_t>(steps);
}

}  // namespace compose
