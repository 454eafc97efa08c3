// Combine: every listed picture into the next cell of a grid at most 640 pixels wide.

#include "compose/Sheet.h"
#include "compose/Units.h"
#include "form/Form.h"
#include "storage/Memory.h"
#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

#include <string_view>
#include <vector>

namespace {

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
    if (pictures == 0) compose::refuseNothingToCombine(piclist.ListCount());
    // The sheet in whole pixels, from the cell's size in pixels (exactly what was typed, at every
    // screen factor), so that it never depends on the screen.
    compose::SheetOptions options;
    options.cellWidth = compose::TwipsToPixelsX(cellWidth);
    options.cellHeight = compose::TwipsToPixelsY(cellHeight);
    options.dropToFloor = chkDropFloor.Value() == 1;
    const compose::Grid grid = compose::layOut(options, pictures);
    tk::PictureBox::checkImagePixels(grid.width, grid.height);
    const float canvasWidth = compose::PixelsToTwipsX(static_cast<int32_t>(grid.width));
    const float canvasHeight = compose::PixelsToTwipsY(static_cast<int32_t>(grid.height));
    compose::scrollMax(canvasHeight, picContainer.ScaleHeight());
    // The canvas's present image is let go before the new one is made.
    const int threads = compose::threadsFor(options, grid, this->threads(), picMain.imageBytes());

    LongCommand command(host(), QStringLiteral("Combine"));
    compose::SheetPainting painting(options, grid, toPaint);
    tk::Picture first = painting.loadFirst();
    // From here on the canvas is being repainted: Save waits until the whole sheet stands, so a
    // failed or cancelled run is never saved as if it were complete. A first picture that fails
    // leaves the canvas, and Save, as they were.
    cmdSave.setEnabled(false);
    setUpCanvas(canvasWidth, canvasHeight);  // once the first picture has loaded
    bmp::Image& canvas = picMain.paintableImage();  // made here: the painting threads share it
    struct Painted {
        tk::PictureBox& box;
        ~Painted() { box.imagePainted(); }
    } painted{picMain};
    painting.paint(std::move(first), canvas, threads,
                   {[&](size_t done) {
                        command.report(QStringLiteral("%1 of %2 pictures painted").arg(done).arg(pictures), static_cast<int64_t>(done), pictures);
                    },
                    rowsPainted});
    cmdSave.setEnabled(true);
}

int frmQuiltwright::threads() const { return Jobs > 0 ? Jobs : storage::usableCores(); }

std::vector<std::string> frmQuiltwright::picturesToPaint() {
    std::vector<std::string> pictures;
    const int32_t last = piclist.ListCount() - 1;
    for (int32_t i = 0; i <= last; ++i)
        if (!isOwnOutput(piclist.List(i))) pictures.push_back(piclist.List(i));
    return pictures;
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
