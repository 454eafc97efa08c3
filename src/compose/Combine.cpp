// Combine: every listed picture into the next cell of a grid at most 640 pixels wide.

#include "compose/Gutters.h"
#include "compose/Layout.h"
#include "compose/PaintCell.h"
#include "compose/PaintRun.h"
#include "compose/Units.h"
#include "form/Form.h"
#include "toolkit/Errors.h"
#include "storage/Memory.h"
#include "storage/ReadAhead.h"
#include "toolkit/Screen.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr int32_t kMostPixelsAcross = 640;
constexpr uint64_t kMiB = uint64_t{1} << 20;
// A picture read whole decodes to at most this: a file under the size from which pictures are
// read a row at a time (256 KiB), at one bit a pixel, as 4-byte pixels; and a thread's stack.
constexpr uint64_t kPictureReadWhole = uint64_t{256} * 1024 * 8 * 4;
constexpr uint64_t kThreadStack = 8 * kMiB;
// The threads beside the painting ones: the read-ahead and the batch tool's two writers, with
// their stacks and chunk buffers.
constexpr uint64_t kHelpers = 3 * kThreadStack + 8 * kMiB;

void refuseCellSize(const QString& field, const QString& typed, int32_t pixels) {
    if (pixels > 0) return;
    throw tk::Error(tk::kInvalidPropertyValue,
                    QStringLiteral("Invalid cell size: %1 reads \"%2\" as %3 pixels. Type a whole number of pixels, "
                                   "1 or more, into %1 (64 to start with).")
                        .arg(field, typed.left(40)).arg(pixels));
}

// The program's own output: a sheet saved earlier into the folder is listed by Get Contents,
// but painting it into the new sheet would nest sheets inside sheets.
bool isOwnOutput(std::string_view path) {
    const size_t slash = path.rfind('/');
    return path.substr(slash == std::string_view::npos ? 0 : slash + 1) == "Combined.bmp";
}

// listed: how many entries the list holds, every one of them the program's own output.
[[noreturn]] void refuseNothingToCombine(int32_t listed) {
    const QString holds = listed == 0   ? QStringLiteral("holds no picture")
                          : listed == 1 ? QStringLiteral("holds no picture but a Combined.bmp")
                                        : QStringLiteral("holds no picture but %1 files named Combined.bmp").arg(listed);
    throw tk::Error(tk::kFileNotFound,
                    QStringLiteral("Nothing to combine: the list %1, and a sheet this program saved is never painted "
                                   "into a new one. Open a folder that holds the pictures to combine and Get Contents "
                                   "again.").arg(holds));
}

// A bar for one direction: when the canvas is larger than the area the viewport shows, back to 0
// with a range that reaches the canvas's far edge; otherwise unavailable, keeping its Value and
// Max. sizes() reads the canvas's and the viewport's size afresh, as they stand after each write.
template <typename Sizes>
void setUpBar(tk::ScrollBar& bar, Sizes sizes) {
    if (sizes().first > sizes().second) {
        bar.setValue(0);
        const auto [canvas, viewport] = sizes();
        bar.setMax(compose::scrollMax(canvas, viewport));
        bar.setEnabled(true);
    } else {
        bar.setEnabled(false);
    }
}

}  // namespace

void frmQuiltwright::cmdCombine_Click() {
    // One set of screen factors from the first twips to the last painted pixel: a move to another
    // screen meanwhile takes effect once the run has ended.
    const tk::Screen::Held screenHeld;
    const int32_t typedWidth = tk::CLng(tk::Val(txtWidth.Text()));
    const float cellWidth = compose::PixelsToTwipsX(typedWidth);
    const int32_t typedHeight = tk::CLng(tk::Val(txtHeight.Text()));
    const float cellHeight = compose::PixelsToTwipsY(typedHeight);
    const std::vector<std::string> toPaint = picturesToPaint();
    const auto pictures = static_cast<int32_t>(toPaint.size());

    // What cannot work is refused here, before the canvas, the bars or Save change. A size that
    // reads as 0 (letters, nothing, "0") would paint an empty canvas; a list of nothing but earlier
    // sheets would leave the canvas as it stands to be saved over the user's sheet.
    refuseCellSize(QStringLiteral("Width"), txtWidth.Text(), typedWidth);
    refuseCellSize(QStringLiteral("Height"), txtHeight.Text(), typedHeight);
    if (pictures == 0) refuseNothingToCombine(piclist.ListCount());
    const compose::Grid grid = gridFor(pictures, cellWidth, cellHeight);
    tk::PictureBox::checkImagePixels(grid.width, grid.height);
    const float canvasWidth = compose::PixelsToTwipsX(static_cast<int32_t>(grid.width));
    const float canvasHeight = compose::PixelsToTwipsY(static_cast<int32_t>(grid.height));
    compose::scrollMax(canvasHeight, picContainer.ScaleHeight());
    const int threads = threadsFor(grid);

    LongCommand command(host(), QStringLiteral("Combine"));
    const bool drop = chkDropFloor.Value() == 1;
    // Once a picture has had to wait for the storage, the storage works ahead while pictures are
    // painted: on the rows the cells sample, for pictures much larger than their cells.
    storage::ReadAhead readAhead(toPaint, 64, {typedWidth, typedHeight, drop});
    const std::function<void()> storageWait = [&readAhead] { readAhead.storageWaited(); };
    tk::Picture first = tk::LoadPicture(toPaint[0], storageWait);
    // From here on the canvas is being repainted: Save waits until the whole sheet stands, so a
    // failed or cancelled run is never saved as if it were complete. A first picture that fails
    // leaves the canvas, and Save, as they were.
    cmdSave.setEnabled(false);
    picMain.KeepsAlpha = tmpPic.KeepsAlpha = Sheet.keepsAlpha();
    m_transparent = false;
    setUpCanvas(canvasWidth, canvasHeight);  // once the first picture has loaded
    const bmp::Image& canvas = picMain.persistentImage();  // made here: the painting threads share it
    std::atomic<bool> anyAlpha{false};

    // Every core paints: each thread its own scratch box for Drop to floor (the first uses tmpPic).
    std::vector<std::unique_ptr<tk::PictureBox>> scratch;
    for (int w = 1; w < threads; ++w) {
        scratch.push_back(std::make_unique<tk::PictureBox>(tmpPic.Name(), tmpPic.TabIndex()));
        scratch.back()->KeepsAlpha = tmpPic.KeepsAlpha;
        scratch.back()->Move(tmpPic.Left(), tmpPic.Top(), tmpPic.Width(), tmpPic.Height());
    }
    compose::PaintSteps steps{
        [&](size_t i) {
            readAhead.reached(i);
            return tk::LoadPicture(toPaint[i], storageWait);
        },
        [&](size_t i, const tk::Picture& picture, int worker, const std::function<void()>& turn) {
            const auto p = static_cast<int64_t>(i);
            const compose::CellPlace cell{compose::PixelsToTwipsX(static_cast<int32_t>(grid.left(p))),
                                          compose::PixelsToTwipsY(static_cast<int32_t>(grid.top(p))), cellWidth, cellHeight};
            const uint32_t background =
                compose::paintCell(picture, picMain, worker == 0 ? tmpPic : *scratch[static_cast<size_t>(worker - 1)], cell, drop, turn);
            if (picture.hasAlpha()) anyAlpha = true;
            // The key's colour goes transparent wherever it is in the cell: with Drop to floor the
            // background filled above the picture goes too. A stretched picture's top-left colour
            // is the cell's first pixel, read in pixels whatever the screen's factor.
            if (Sheet.key == SheetStyle::Key::None) return;
            const uint32_t key = Sheet.key == SheetStyle::Key::Colour ? Sheet.keyColour
                                 : drop ? background : canvas.row(static_cast<int32_t>(grid.top(p)))[grid.left(p)] & 0xFFFFFFu;
            picMain.setAlphaWhere(grid.left(p), grid.top(p), grid.left(p) + grid.cellWidth, grid.top(p) + grid.cellHeight, key, 0);
        },
        // A dropped picture wider than its cell reaches into the next cell of its row.
        [&](size_t i) { return drop && grid.top(static_cast<int64_t>(i)) == grid.top(static_cast<int64_t>(i) - 1); },
        {},  // inOrder: below, when rows are handed on as they are painted
        // A picture painted after an earlier one failed is taken off: its cell and what it reached
        // to its right (only cells of later pictures) are black again, as on one thread.
        [&](size_t i) {
            const auto p = static_cast<int64_t>(i);
            picMain.Line(38, compose::PixelsToTwipsX(static_cast<int32_t>(grid.left(p))),
                         compose::PixelsToTwipsY(static_cast<int32_t>(grid.top(p))), canvasWidth,
                         compose::PixelsToTwipsY(static_cast<int32_t>(grid.top(p) + grid.cellHeight)), picMain.BackColor);
        },
        {}};
    // A cell row is painted for good once every picture in it is: no picture reaches into another
    // row (a dropped one only into the next cells of its own).
    if (rowsPainted)
        steps.inOrder = [&](size_t painted) {
            const auto p = static_cast<int64_t>(painted);
            const int64_t rows = painted == toPaint.size() ? grid.height : grid.top(p);
            if (rows > 0) rowsPainted(canvas, rows);
            return std::min(toPaint.size(), static_cast<size_t>((p / grid.perRow + 1) * grid.perRow));
        };
    picMain.holdNotifications();
    tmpPic.holdNotifications();
    struct Release {
        frmQuiltwright& form;
        ~Release() {
            form.picMain.releaseNotifications(tk::Property::Image);
            form.tmpPic.releaseNotifications(tk::Property::Image);
        }
    } release{*this};
    compose::paintAll(toPaint.size(), threads, std::move(first), steps, [&](size_t painted) {
        command.report(QStringLiteral("%1 of %2 pictures painted").arg(painted).arg(pictures), static_cast<int64_t>(painted), pictures);
    });
    if (Sheet.extrude > 0) compose::extrudeCells(picMain, grid, pictures, Sheet.extrude);
    m_transparent = Sheet.keepsAlpha() && (Sheet.key != SheetStyle::Key::None || anyAlpha);
    cmdSave.setEnabled(true);
}

int frmQuiltwright::threads() const { return Jobs > 0 ? Jobs : storage::usableCores(); }

std::vector<std::string> frmQuiltwright::picturesToPaint() {
    std::vector<std::string> pictures;
    const int32_t last = piclist.ListCount() - 1;
    for (int32_t i = 0; i <= last; ++i)
        if (!isOwnOutput(piclist.List(i))) pictures.push_back(piclist.List(i));
    if (NaturalOrder)
        std::stable_sort(pictures.begin(), pictures.end(), [](const std::string& a, const std::string& b) { return tk::compareNatural(a, b) < 0; });
    return pictures;
}

// The grid in whole pixels, from the cell's size in pixels (exactly what was typed, at every
// screen factor), so that the sheet never depends on the screen.
compose::Grid frmQuiltwright::gridFor(int32_t pictures, float cellWidth, float cellHeight) {
    return compose::gridFor(pictures, compose::TwipsToPixelsX(cellWidth), compose::TwipsToPixelsY(cellHeight), kMostPixelsAcross,
                            Sheet.margin, Sheet.spacing);
}

compose::Grid frmQuiltwright::sheetGrid() {
    return gridFor(static_cast<int32_t>(picturesToPaint().size()), compose::PixelsToTwipsX(tk::CLng(tk::Val(txtWidth.Text()))),
                   compose::PixelsToTwipsY(tk::CLng(tk::Val(txtHeight.Text()))));
}

int frmQuiltwright::threadsFor(const compose::Grid& grid) {
    const uint64_t canvas = static_cast<uint64_t>(grid.width) * static_cast<uint64_t>(grid.height) * 4;
    // Every painting thread holds a picture read whole (smaller files are; larger ones are read a
    // row at a time), its stack and, with Drop to floor, a scratch copy of one cell.
    uint64_t perThread = kPictureReadWhole + kThreadStack;
    if (chkDropFloor.Value() == 1) perThread += static_cast<uint64_t>(grid.cellWidth) * static_cast<uint64_t>(grid.cellHeight) * 4;
    // Under an address-space limit, threads allocate from one heap: a heap of a thread's own
    // reserves 64 MiB of the limit, however many threads happen to take one.
    storage::oneHeapUnderAddressLimit();
    const int threads = this->threads();
    // The canvas's present image is let go before the new one is made.
    const uint64_t atHand = storage::memoryAtHand();
    const uint64_t freed = picMain.imageBytes();
    if (atHand == UINT64_MAX) return threads;
    // Fewer threads where memory does not hold them all; refused only when one does not fit.
    if (canvas + kHelpers + perThread <= atHand + freed)
        return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(threads), (atHand + freed - canvas - kHelpers) / perThread));
    throw tk::Error(tk::kOutOfMemory,
                    QStringLiteral("Out of memory: a canvas of %1 x %2 pixels needs %3 MiB, and painting it %4 MiB more, "
                                   "but only %5 MiB are at hand. Choose a smaller cell size or fewer pictures.")
                        .arg(grid.width).arg(grid.height).arg((canvas + kMiB - 1) / kMiB).arg((kHelpers + perThread + kMiB - 1) / kMiB)
                        .arg((atHand + freed) / kMiB));
}

void frmQuiltwright::setUpCanvas(float layoutWidth, float layoutHeight) {
    picMain.setWidth(layoutWidth);
    picMain.setHeight(layoutHeight);
    picMain.setLeft(0);
    picMain.setTop(0);
    picMain.Cls();  // every Combine paints on an all-black canvas

    setUpBar(HScr, [this] { return std::pair{picMain.Width(), picContainer.ScaleWidth()}; });
    setUpBar(VScr, [this] { return std::pair{picMain.Height(), picContainer.ScaleHeight()}; });
}
