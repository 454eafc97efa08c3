#pragma once
// Geometry of the combined picture: sizes in, numbers out, no pixels.

#include <cstdint>

namespace compose {

struct CanvasSize {
    float width = 0;   // twips
    float height = 0;  // twips
};

// The canvas for n cells laid in one row of n x cellWidth twips, folded into rows of at most
// rowWidth twips: while the row is wider than rowWidth, take rowWidth off it and add a cell
// height. Single-precision arithmetic throughout, step by step, exactly as the fold runs;
// when the fold would take more than ten million steps (rows far beyond anything a canvas
// holds, where single precision stops the fold from ending) the row count comes from the
// closed form ceil(n x cellWidth / rowWidth) instead. Throws the floating-point error when a
// size leaves the single-precision range.
CanvasSize foldIntoRows(int32_t n, float cellWidth, float cellHeight, float rowWidth);

// Where the cells go, in painting order: the first at (0, 0); after each, x moves one cell
// width right, and when another cell would pass layoutWidth the next row begins at x = 0.
// Single precision, step by step, as the painting walks it.
struct CellWalk {
    float cellWidth = 0, cellHeight = 0, layoutWidth = 0;
    float x = 0, y = 0;  // the next cell's top-left corner, twips
    void advance();
};

// The canvas for n pictures: the fold, made taller where the fold leaves too few rows for the
// whole cells the painting puts into a row (cells whose width does not divide rowWidth), so
// that every picture lands on the canvas. Wherever the fold already has room it is unchanged.
CanvasSize canvasFor(int32_t n, float cellWidth, float cellHeight, float rowWidth);

// A scroll bar's Max: the whole number of 10-twip steps by which the canvas exceeds the
// viewport (fraction dropped). The overflow error past the 32-bit range.
int32_t scrollMax(float canvas, float viewport);

}  // namespace compose
