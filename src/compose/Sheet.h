#pragma once
// The sheet: what the user asked for (cell, gutters, key, Drop to floor, order, format), the
// layout worked out once from it in pixels, and the painting of every picture into its cell of an
// image. The window builds it from its controls (its twips end at its edge), the batch tool from
// its options; both paint through it, so they give the same sheet, and every writer (BMP, PNG,
// the frame list, the grid) reads the same numbers.

#include "bitmap/BmpImage.h"
#include "compose/Layout.h"
#include "toolkit/Picture.h"

#include <functional>
#include <string>
#include <vector>

namespace compose {

// The widest row a sheet has: the window's canvas.
constexpr int64_t kMostPixelsAcross = 640;

struct SheetOptions {
    int64_t cellWidth = 64, cellHeight = 64;  // pixels, 1 or more
    int64_t margin = 0, spacing = 0, extrude = 0;
    // A colour made transparent: each picture's top-left colour, or one for all (0xRRGGBB).
    enum class Key { None, Corner, Colour } key = Key::None;
    uint32_t keyColour = 0;
    bool dropToFloor = false;
    // Each picture stretched to its cell (the window's way), or drawn at its own size, centred
    // in its cell and cut to it (with Drop to floor centred across, its content on the floor).
    bool stretch = true;
    bool png = false;
    bool naturalOrder = false;  // digits compared as numbers, else the list's order
    int64_t maxWidth = kMostPixelsAcross;  // a row holds as many cells as fit in it
    int64_t columns = 0;                   // or exactly this many (past maxWidth where they need)
    bool pot = false;                      // width and height rounded up to powers of two
    int64_t maxHeight = 0;                 // when given, cells that do not fit go on the next page
    // A transparent sheet keeps the alpha its pictures' bitmaps carry, and what no picture covers
    // is transparent.
    bool keepsAlpha() const { return png || key != Key::None; }
    // Written while it is painted: no gutters or transparency worked once every cell stands.
    bool isPlain() const { return margin == 0 && spacing == 0 && extrude == 0 && key == Key::None && !png && !pot; }
};

// Why these options leave no room for a whole cell in a row (a margin with the cell past the
// row's width); empty when they do.
std::string noRoomForACell(const SheetOptions& options);

// Refuses a run whose list holds nothing to paint: listed entries, every one a sheet this
// program saved (Combined.bmp), which is never painted into a new one.
[[noreturn]] void refuseNothingToCombine(int32_t listed);

// The largest width and height among the pictures, read from their first bytes: cells that
// hold every picture at its own size. Refuses a file whose size cannot be told, naming it.
std::pair<int64_t, int64_t> largestPicture(const std::vector<std::string>& pictures);

// The layout of count pictures (1 or more).
Grid layOut(const SheetOptions& options, int64_t count);

// The sheet's pages: pictures first .. first + count - 1 on each, laid out as layOut lays them.
// One page unless maxHeight is given; then as many rows on each as fit in it (with --pot, in
// the power of two it holds, and rows in the power of two maxWidth holds, so that a page rounded
// up stays within both).
struct Page {
    int64_t first = 0, count = 0;
    Grid grid;
};
std::vector<Page> pagesOf(const SheetOptions& options, int64_t count);
// Why a cell and its margins do not fit on a page; empty when they do.
std::string noRoomOnAPage(const SheetOptions& options);

// The pictures in the order they are painted: as listed, or in natural order.
std::vector<std::string> paintingOrder(std::vector<std::string> listed, bool natural);

// How many threads paint a sheet: as many as wanted and the memory at hand holds (freed: what
// the caller lets go before the canvas is made). Refuses, before anything changes, a canvas and
// one thread (with the PNG writer's buffers) that do not fit.
int threadsFor(const SheetOptions& options, const Grid& grid, int wanted, uint64_t freed = 0);

// Where a painted picture stands in its frame, as engines take an anchor: x across, y down, each
// from 0 to 1 of the frame (the bottom centre of a cell-sized sprite is 0.5, 1).
struct Anchor {
    double x = 0.5, y = 1;
};

struct PaintHooks {
    // As pictures get painted, on the calling thread; what it throws (a cancel) stops the run.
    std::function<void(size_t painted)> progress;
    // When set: the canvas's rows from the top painted for good, as they become so.
    std::function<void(const bmp::Image& canvas, int64_t rows)> rowsPainted;
    // Whether anchors() is wanted (with Drop to floor: where each sprite stands).
    bool anchors = false;
};

// One run of painting: pictures (in painting order) into a canvas of the grid's size.
class SheetPainting {
public:
    SheetPainting(const SheetOptions& options, const Grid& grid, const std::vector<std::string>& pictures);
    ~SheetPainting();
    SheetPainting(const SheetPainting&) = delete;
    SheetPainting& operator=(const SheetPainting&) = delete;

    // Loads the first picture: a first picture that fails leaves everything as it was.
    tk::Picture loadFirst();
    // Paints every picture, first already loaded, into canvas (the grid's size, cleared) on
    // threads threads; then the key, alpha and gutters. Throws the first failing picture's error.
    void paint(tk::Picture first, bmp::Image& canvas, int threads, const PaintHooks& hooks);

    // After paint: whether anything is transparent, and where each picture stands (when asked).
    bool transparent() const { return m_transparent; }
    const std::vector<Anchor>& anchors() const { return m_anchors; }

private:
    struct Impl;
    const SheetOptions& m_options;
    const Grid& m_grid;
    const std::vector<std::string>& m_pictures;
    std::unique_ptr<Impl> m_impl;
    bool m_transparent = false;
    std::vector<Anchor> m_anchors;
};

// One picture into one cell of image (pixels), with scratch for Drop to floor: stretched to the
// cell; or analysed at the cell's size in scratch and drawn at its own size, lowered so that its
// lowest row of content rests on the cell's bottom edge. turn, when given, is called right before
// the drawing that may reach into the next cell. keepAlpha: a picture with alpha keeps it, and a
// pixel of alpha 0 is background whatever colour it hides. Without stretch, drawn at its own size
// centred in the cell and cut to it; with Drop to floor centred across, its lowest row of content
// on the cell's bottom row.
struct CellPainted {
    uint32_t background = 0;    // with Drop to floor or at its own size, its top-left pixel as drawn, else 0
    int64_t left = 0, right = 0;  // the columns the picture was drawn across (past the cell, for a wide one)
};
CellPainted paintCell(const tk::Picture& picture, bmp::Image& image, bmp::Image& scratch, const Rect& cell, bool dropToFloor,
                      bool keepAlpha, const std::function<void()>& turn = {}, bool stretch = true);

}  // namespace compose
