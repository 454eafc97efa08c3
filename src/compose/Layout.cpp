#include "compose/Layout.h"

#include "toolkit/Errors.h"

#include <algorithm>
#include <cmath>

namespace compose {

Grid gridFor(int64_t n, int64_t cellWidth, int64_t cellHeight, int64_t rowWidth) {
    Grid grid;
    grid.cellWidth = cellWidth;
    grid.cellHeight = cellHeight;
    grid.perRow = std::max<int64_t>(1, rowWidth / cellWidth);
    grid.rows = (n + grid.perRow - 1) / grid.perRow;
    grid.width = std::min(n * cellWidth, rowWidth);
    grid.height = grid.rows * cellHeight;
    return grid;
}

int32_t scrollMax(float canvas, float shown) {
    const double steps = std::ceil((static_cast<double>(canvas) - shown) / 10);
    if (!(steps >= -2147483648.0 && steps <= 2147483647.0)) throw tk::overflowError();
    return static_cast<int32_t>(steps);
}

}  // namespace compose
