#pragma once
// Gutters against bleeding: each cell's outer rows and columns repeated outwards, so that a
// texture sampled past a sprite's edge (linear filtering, mipmaps, a camera between pixels)
// picks up the sprite's own edge instead of its neighbour's.

#include "bitmap/BmpImage.h"
#include "compose/Layout.h"

namespace compose {

// Repeats the edges of cells first .. end - 1 outwards by extrude pixels: at most half the spacing
// towards a neighbour (both cells then reach the same distance, an odd pixel left between them)
// and at most the margin towards the sheet's edge (on the right, the margin as the grid cuts it);
// the corners take the cell's corner pixel.
void extrudeCells(bmp::Image& canvas, const Grid& grid, int64_t first, int64_t end, int64_t extrude);

}  // namespace compose
