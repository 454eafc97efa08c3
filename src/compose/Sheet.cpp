#include "compose/Sheet.h"

#include "bitmap/Pixels.h"
#include "bitmap/PngReader.h"
#include "bitmap/PngWriter.h"
#include "compose/Gutters.h"
#include "compose/PaintRun.h"
#include "storage/Memory.h"
#include "storage/PictureFile.h"
#include "storage/ReadAhead.h"
#include "compose/NaturalOrder.h"
#include "toolkit/Errors.h"

#include <algorithm>
#include <bit>
#include <atomic>
#include <memory>
#include <optional>

namespace compose {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
// A picture read whole decodes to at most this: a file under the size from which pictures are
// read a row at a time (256 KiB), at one bit a pixel, as 4-byte pixels; and a thread's stack.
constexpr uint64_t kPictureReadWhole = uint64_t{256} * 1024 * 8 * 4;
constexpr uint64_t kThreadStack = 8 * kMiB;
// The threads beside the painting ones: the read-ahead and the batch tool's two writers, with
// their stacks and chunk buffers.
constexpr uint64_t kHelpers = 3 * kThreadStack + 8 * kMiB;
constexpr uint32_t kOpaque = 0xFF000000u;

}  // namespace

namespace {

// With --pot, the limits a page rounded up to powers of two must stay within.
SheetOptions withinPowers(SheetOptions o) {
    if (!o.pot) return o;
    o.maxWidth = int64_t{1} << (std::bit_width(static_cast<uint64_t>(o.maxWidth)) - 1);
    if (o.maxHeight > 0) o.maxHeight = int64_t{1} << (std::bit_width(static_cast<uint64_t>(o.maxHeight)) - 1);
    return o;
}

}  // namespace

// listed: how many entries the list holds, every one of them the program's own output.
void refuseNothingToCombine(int32_t listed) {
    const QString holds = listed == 0   ? QStringLiteral("holds no picture")
                          : listed == 1 ? QStringLiteral("holds no picture but a Combined.bmp")
                                        : QStringLiteral("holds no picture but %1 files named Combined.bmp").arg(listed);
    throw tk::Error(tk::kFileNotFound,
                    QStringLiteral("Nothing to combine: the list %1, and a sheet this program saved is never painted "
                                   "into a new one. Open a folder that holds the pictures to combine and Get Contents "
                                   "again.").arg(holds));
}

std::string noRoomForACell(const SheetOptions& options) {
    const SheetOptions o = withinPowers(options);
    if (o.margin == 0 || o.columns > 0 || o.margin + o.cellWidth <= o.maxWidth) return {};
    return "a margin of " + std::to_string(o.margin) + " pixels leaves no room for a cell " + std::to_string(o.cellWidth) +
           " pixels wide in a row of " + std::to_string(o.maxWidth) + ": give a smaller margin or cell, or a larger --max-width";
}

std::pair<int64_t, int64_t> largestPicture(const std::vector<std::string>& pictures) {
    std::pair<int64_t, int64_t> largest{1, 1};
    uint8_t head[32];
    for (const std::string& path : pictures) {
        std::optional<std::pair<int32_t, int32_t>> size;
        try {
            size = bmp::pictureSize(head, storage::readHead(path, head, sizeof head));
        } catch (const storage::Failure& failure) {
            throw tk::errorOf(failure);
        }
        if (!size)
            throw tk::Error(tk::kInvalidPicture, QStringLiteral("Invalid picture: %1\nits size cannot be read from its header")
                                                     .arg(tk::displayPath(path)));
        largest = {std::max<int64_t>(largest.first, size->first), std::max<int64_t>(largest.second, size->second)};
    }
    return largest;
}

Grid layOut(const SheetOptions& options, int64_t count) {
    const SheetOptions o = withinPowers(options);
    return gridFor(count, o.cellWidth, o.cellHeight, o.maxWidth, o.margin, o.spacing, o.columns, o.pot);
}

std::string noRoomOnAPage(const SheetOptions& options) {
    const SheetOptions o = withinPowers(options);
    if (o.maxHeight == 0 || 2 * o.margin + o.cellHeight <= o.maxHeight) return {};
    return "a cell " + std::to_string(o.cellHeight) + " pixels tall with its margins does not fit on a page of " +
           std::to_string(o.maxHeight) + " pixels: give a larger --max-height";
}

std::vector<Page> pagesOf(const SheetOptions& options, int64_t count) {
    const SheetOptions o = withinPowers(options);
    const Grid whole = layOut(options, count);
    if (o.maxHeight == 0) return {{0, count, whole}};
    const int64_t rows = std::max<int64_t>(1, (o.maxHeight - 2 * o.margin + o.spacing) / (o.cellHeight + o.spacing));
    const int64_t perPage = rows * whole.perRow;
    std::vector<Page> pages;
    for (int64_t first = 0; first < count; first += perPage) pages.push_back({first, std::min(perPage, count - first), layOut(options, std::min(perPage, count - first))});
    return pages;
}

std::vector<std::string> paintingOrder(std::vector<std::string> listed, bool natural) {
    if (natural)
        std::stable_sort(listed.begin(), listed.end(), [](const std::string& a, const std::string& b) { return compareNatural(a, b) < 0; });
    return listed;
}

int threadsFor(const SheetOptions& options, const Grid& grid, int wanted, uint64_t freed) {
    const uint64_t canvas = static_cast<uint64_t>(grid.width) * static_cast<uint64_t>(grid.height) * 4;
    // Every painting thread holds a picture read whole (smaller files are; larger ones are read a
    // row at a time), its stack and, with Drop to floor, a scratch copy of one cell. A PNG is built
    // in memory before it is written.
    uint64_t perThread = kPictureReadWhole + kThreadStack;
    if (options.dropToFloor) perThread += static_cast<uint64_t>(grid.cellWidth) * static_cast<uint64_t>(grid.cellHeight) * 4;
    const uint64_t fixed = canvas + kHelpers + (options.png ? bmp::pngWriterBytes(grid.width, grid.height) : 0);
    // Under an address-space limit, threads allocate from one heap: a heap of a thread's own
    // reserves 64 MiB of the limit, however many threads happen to take one.
    storage::oneHeapUnderAddressLimit();
    const uint64_t atHand = storage::memoryAtHand();
    if (atHand == UINT64_MAX) return wanted;
    // Fewer threads where memory does not hold them all; refused only when one does not fit.
    if (fixed + perThread <= atHand + freed)
        return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(wanted), (atHand + freed - fixed) / perThread));
    throw tk::Error(tk::kOutOfMemory,
                    QStringLiteral("Out of memory: a canvas of %1 x %2 pixels needs %3 MiB, and %4 it %5 MiB more, "
                                   "but only %6 MiB are at hand. Choose a smaller cell size or fewer pictures.")
                        .arg(grid.width).arg(grid.height).arg((canvas + kMiB - 1) / kMiB)
                        .arg(options.png ? QStringLiteral("painting and compressing") : QStringLiteral("painting"))
                        .arg((fixed - canvas + perThread + kMiB - 1) / kMiB).arg((atHand + freed) / kMiB));
}

namespace {

// A picture at its own size centred in its cell and cut to it; with Drop to floor, centred
// across with its lowest row of content on the cell's bottom row.
CellPainted paintAtOwnSize(const tk::Picture& picture, bmp::Image& image, const Rect& cell, bool dropToFloor, bool keepAlpha,
                           const std::function<void()>& turn) {
    const int64_t pw = picture.widthPixels(), ph = picture.heightPixels();
    const int64_t dw = std::min(pw, cell.width), sx = (pw - dw) / 2, dx = cell.x + (cell.width - dw) / 2;
    int64_t dh = std::min(ph, cell.height), sy = (ph - dh) / 2, dy = cell.y + (cell.height - dh) / 2;
    // The picture's own top-left pixel, as it is drawn: the background, and the key's colour.
    const bmp::Image& own = picture.image();
    const bool withAlpha = keepAlpha && picture.hasAlpha();
    const uint32_t background = withAlpha ? own.row(0)[0] : kOpaque | own.row(0)[0];
    if (dropToFloor) {
        int64_t rows = bmp::contentRows(own, 0, 0, pw, ph, withAlpha ? background : background & 0xFFFFFFu, withAlpha);
        if (rows == 0) rows = ph;
        sy = std::max<int64_t>(0, rows - cell.height), dh = rows - sy, dy = cell.y + cell.height - dh;
        if (turn) turn();
        bmp::fill(image, cell.x, cell.y, cell.x + cell.width, cell.y + cell.height, background);
    }
    tk::drawPicture(image, picture, double(dx), double(dy), double(dw), double(dh), double(sx), double(sy), double(dw), double(dh), keepAlpha);
    return {background, dx, dx + dw};
}

}  // namespace

CellPainted paintCell(const tk::Picture& picture, bmp::Image& image, bmp::Image& scratch, const Rect& cell, bool dropToFloor,
                      bool keepAlpha, const std::function<void()>& turn, bool stretch) {
    if (!stretch) return paintAtOwnSize(picture, image, cell, dropToFloor, keepAlpha, turn);
    const auto [left, top, width, height] = cell;
    if (!dropToFloor) {
        tk::drawPicture(image, picture, double(left), double(top), double(width), double(height), 0, 0, picture.widthPixels(),
                        picture.heightPixels(), keepAlpha);
        return {0, left, left + width};
    }
    // The picture at the cell's size in scratch, at least the cell's size, tells the background
    // (its top-left colour; where the picture keeps its alpha, that alpha too) and the lowest row
    // of content.
    if (scratch.width < width || scratch.height < height) {
        scratch.width = static_cast<int32_t>(std::max<int64_t>(scratch.width, width));
        scratch.height = static_cast<int32_t>(std::max<int64_t>(scratch.height, height));
        scratch.pixels = bmp::allocatePixels(static_cast<size_t>(scratch.width) * static_cast<size_t>(scratch.height));
    }
    tk::drawPicture(scratch, picture, 0, 0, double(width), double(height), 0, 0, picture.widthPixels(), picture.heightPixels(),
                    keepAlpha);
    const bool withAlpha = keepAlpha && picture.hasAlpha();
    const uint32_t background = withAlpha ? scratch.row(0)[0] : kOpaque | scratch.row(0)[0];
    int64_t rows = bmp::contentRows(scratch, 0, 0, width, height, withAlpha ? background : background & 0xFFFFFFu, withAlpha);
    if (rows == 0) rows = height;

    // A picture wider than its cell reaches into the next one: drawn after the previous picture.
    if (turn) turn();
    bmp::fill(image, left, top, left + width, top + height, background);
    // At its own size, lowered so that its lowest row of content rests on the cell's bottom edge.
    tk::drawPicture(image, picture, double(left), double(top + height - rows), picture.widthPixels(), double(rows), 0, 0,
                    picture.widthPixels(), double(rows), keepAlpha);
    return {background, left, left + picture.widthPixels()};
}

struct SheetPainting::Impl {
    explicit Impl(const std::vector<std::string>& pictures, const SheetOptions& o)
        : readAhead(pictures, 64, {int32_t(std::min<int64_t>(o.cellWidth, INT32_MAX)),
                                   int32_t(std::min<int64_t>(o.cellHeight, INT32_MAX)), o.dropToFloor}) {}
    // Once a picture has had to wait for the storage, the storage works ahead while pictures are
    // painted: on the rows the cells sample, for pictures much larger than their cells.
    storage::ReadAhead readAhead;
    std::function<void()> storageWait = [this] { readAhead.storageWaited(); };
};

SheetPainting::SheetPainting(const SheetOptions& options, const Grid& grid, const std::vector<std::string>& pictures)
    : m_options(options), m_grid(grid), m_pictures(pictures), m_impl(std::make_unique<Impl>(pictures, options)) {}

SheetPainting::~SheetPainting() = default;

tk::Picture SheetPainting::loadFirst() { return tk::LoadPicture(m_pictures.at(0), m_impl->storageWait); }

void SheetPainting::paint(tk::Picture first, bmp::Image& canvas, int threads, const PaintHooks& hooks) {
    const SheetOptions& o = m_options;
    const Grid& grid = m_grid;
    const bool keepAlpha = o.keepsAlpha();
    std::atomic<bool> anyAlpha{false};
    m_anchors.assign(m_pictures.size(), Anchor{});
    std::vector<bmp::Image> scratch(static_cast<size_t>(std::max(threads, 1)));
    PaintSteps steps{
        [&](size_t i) {
            m_impl->readAhead.reached(i);
            return tk::LoadPicture(m_pictures[i], m_impl->storageWait);
        },
        [&](size_t i, const tk::Picture& picture, int worker, const std::function<void()>& turn) {
            const auto p = static_cast<int64_t>(i);
            const Rect cell{grid.left(p), grid.top(p), grid.cellWidth, grid.cellHeight};
            const CellPainted painted =
                paintCell(picture, canvas, scratch[static_cast<size_t>(worker)], cell, o.dropToFloor, keepAlpha, turn, o.stretch);
            if (picture.hasAlpha()) anyAlpha = true;
            const Rect frame = grid.frame(p);
            if (o.dropToFloor && hooks.anchors) {
                // The sprite stands on the row under its lowest painted pixel, in the middle of the
                // picture as drawn in its frame.
                const int64_t stands = bmp::contentRows(canvas, frame.x, frame.y, frame.x + frame.width, frame.y + frame.height,
                                                        keepAlpha ? painted.background : painted.background & 0xFFFFFFu, keepAlpha);
                const double middle = double(painted.left + std::min(painted.right, frame.x + frame.width)) / 2 - double(frame.x);
                m_anchors[i] = {middle / double(frame.width), double(stands == 0 ? frame.height : stands) / double(frame.height)};
            }
            // The key's colour goes transparent wherever the picture painted: with Drop to floor the
            // background filled above it and what a wide picture reached past its cell too. A
            // stretched picture's top-left colour is the cell's first pixel.
            // A corner's colour is taken with its alpha: a transparent corner makes nothing opaque
            // transparent.
            if (o.key == SheetOptions::Key::None) return;
            const bool corner = o.key == SheetOptions::Key::Corner;
            const uint32_t key = !corner ? o.keyColour : o.dropToFloor || !o.stretch ? painted.background : canvas.row(int32_t(cell.y))[cell.x];
            bmp::keyOut(canvas, cell.x, cell.y, std::max(painted.right, cell.x + cell.width), cell.y + cell.height, key, 0, corner);
        },
        // A dropped picture wider than its cell reaches into the next cell of its row.
        [&](size_t i) { return o.dropToFloor && grid.top(static_cast<int64_t>(i)) == grid.top(static_cast<int64_t>(i) - 1); },
        {},  // inOrder: below, when rows are handed on as they are painted
        // A picture painted after an earlier one failed is taken off: its cell and what it reached
        // to its right (only cells of later pictures) are black again, as on one thread.
        [&](size_t i) {
            const auto p = static_cast<int64_t>(i);
            bmp::fill(canvas, grid.left(p), grid.top(p), canvas.width, grid.top(p) + grid.cellHeight, kOpaque);
        },
        {}};
    // A cell row is painted for good once every picture in it is and its gutters are extruded:
    // no picture reaches into another row (a dropped one only into the next cells of its own),
    // and the row painted next extrudes its cells up into half the spacing (the first row, into
    // the margin).
    int64_t extruded = 0;
    const auto extrudeTo = [&](int64_t painted) {
        if (o.extrude > 0 && painted > extruded) extrudeCells(canvas, grid, extruded, painted, o.extrude);
        extruded = std::max(extruded, painted);
    };
    if (hooks.rowsPainted)
        steps.inOrder = [&](size_t painted) {
            const auto p = static_cast<int64_t>(painted);
            extrudeTo(p);
            const int64_t row = p / grid.perRow, reach = std::min(o.extrude, row == 0 ? grid.margin : grid.spacing / 2);
            const int64_t rows = painted == m_pictures.size() ? grid.height : grid.top(row * grid.perRow) - reach;
            if (rows > 0) hooks.rowsPainted(canvas, rows);
            return std::min(m_pictures.size(), static_cast<size_t>((p / grid.perRow + 1) * grid.perRow));
        };
    paintAll(m_pictures.size(), threads, std::move(first), steps, [&](size_t painted) {
        if (hooks.progress) hooks.progress(painted);
    });
    extrudeTo(static_cast<int64_t>(m_pictures.size()));
    m_transparent = keepAlpha && (o.key != SheetOptions::Key::None || anyAlpha);
}

}  // namespace compose
