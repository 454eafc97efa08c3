#pragma once
// Geometry of the combined picture in whole pixels: sizes in, numbers out, no pixels drawn and no
// screen asked. Worked out from the cell's size in pixels, the grid is the same at every screen
// factor, in the window and in the batch tool.

#include <cstdint>

namespace compose {

// A rectangle on the sheet, pixels.
struct Rect {
    int64_t x = 0, y = 0, width = 0, height = 0;
};

// The grid of n cells (n >= 1) of cellWidth x cellHeight pixels (each 1 or more) on a canvas at
// most rowWidth pixels wide, a margin around the cells and spacing between them (0 or more): as
// many whole cells to a row as fit with both margins and the spacing, and at least one (a cell
// wider than the row is cut at the canvas's right edge), rows from the top.
//
// Without margin or spacing the canvas is as wide as its one row where the cells fit in rowWidth,
// else rowWidth (the window's sheet). With them it is exactly as wide as its columns of cells
// and their gutters, and the margin to the right of the last column is cut below a cell and its
// spacing: an engine that works its columns out of the sheet's width and one margin (Phaser's
// spritesheet, Godot's hframes) then finds exactly ours. The canvas is exactly as tall as the rows
// the cells take with their margins and spacing.
struct Grid {
    int64_t cellWidth = 0, cellHeight = 0;
    int64_t margin = 0, spacing = 0;
    int64_t perRow = 1;   // cells a full row holds
    int64_t columns = 0;  // cells the widest row has: perRow, or n where that is fewer
    int64_t rows = 0;
    int64_t rightMargin = 0;
    int64_t width = 0, height = 0;  // the canvas

    // Top-left corner of cell p, counted from 0 in painting order.
    int64_t left(int64_t p) const { return margin + p % perRow * (cellWidth + spacing); }
    int64_t top(int64_t p) const { return margin + p / perRow * (cellHeight + spacing); }
    // Cell p as much of it as lies on the canvas (a cell wider than the canvas is cut there).
    Rect frame(int64_t p) const;
    // The cells' size as they stand on the canvas: the cell, cut at its right edge where it is.
    int64_t frameWidth() const;
};
// columns, when given (1 or more), is exactly the cells a row holds, whatever rowWidth; with pot
// the canvas's width and height are rounded up to powers of two, the area added left empty.
Grid gridFor(int64_t n, int64_t cellWidth, int64_t cellHeight, int64_t rowWidth, int64_t margin = 0, int64_t spacing = 0,
             int64_t columns = 0, bool pot = false);

// A scroll bar's Max: the 10-twip steps that bring the canvas's far edge into the area the view
// shows, a part of a step counting as a whole one. The overflow error past the 32-bit range.
int32_t scrollMax(float canvas, float shown);

}  // namespace compose
