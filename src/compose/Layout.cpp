#include "compose/Layout.h"

#include "toolkit/Errors.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace compose {

Grid gridFor(int64_t n, int64_t cellWidth, int64_t cellHeight, int64_t rowWidth, int64_t margin, int64_t spacing, int64_t columns,
             bool pot) {
    Grid grid;
    grid.cellWidth = cellWidth;
    grid.cellHeight = cellHeight;
    grid.margin = margin;
    grid.spacing = spacing;
    grid.perRow = columns > 0 ? columns : std::max<int64_t>(1, (rowWidth - 2 * margin + spacing) / (cellWidth + spacing));
    grid.columns = std::min(n, grid.perRow);
    grid.rows = (n + grid.perRow - 1) / grid.perRow;
    const int64_t cells = margin + grid.columns * cellWidth + (grid.columns - 1) * spacing;
    if (margin == 0 && spacing == 0 && columns == 0) {
        grid.width = n <= grid.perRow ? std::min(cells, rowWidth) : rowWidth;
        grid.rightMargin = std::max<int64_t>(0, grid.width - cells);
    } else {
        const int64_t room = columns > 0 ? margin : rowWidth - cells;
        grid.rightMargin = std::max<int64_t>(0, std::min({margin, cellWidth + spacing - 1, room}));
        grid.width = columns > 0 ? cells + grid.rightMargin : std::min(cells + grid.rightMargin, rowWidth);
    }
    grid.height = 2 * margin + grid.rows * cellHeight + (grid.rows - 1) * spacing;
    if (pot) {
        const auto rounded = [](int64_t v) { return int64_t{1} << std::bit_width(static_cast<uint64_t>(v - 1)); };
        grid.width = rounded(grid.width), grid.height = rounded(grid.height);
    }
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
