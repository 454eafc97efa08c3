// Combine: every listed picture into the next cell of a grid at most 640 pixels wide.

#include "compose/Layout.h"
#include "compose/Units.h"
#include "form/Form.h"
#include "toolkit/Errors.h"

namespace {

constexpr int32_t kMostPixelsAcross = 640;

// A bar for one direction: when the canvas is larger than the viewport, back to 0 with a range
// of the overhang; otherwise unavailable, keeping its Value and Max. sizes() reads the canvas's
// and the viewport's size afresh, as they stand after each write.
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
    float x = 0, y = 0, layoutWidth = 0;
    const int32_t typedWidth = tk::CLng(tk::Val(txtWidth.Text()));
    const float cellWidth = compose::PixelsToTwipsX(typedWidth);
    const int32_t typedHeight = tk::CLng(tk::Val(txtHeight.Text()));
    const float cellHeight = compose::PixelsToTwipsY(typedHeight);
    const int32_t last = piclist.ListCount() - 1;

    // Sizes that cannot work are refused here, before the canvas, the bars or Save change.
    if (typedWidth < 0 || typedHeight < 0)
        throw tk::Error(tk::kInvalidPropertyValue,
                        QStringLiteral("Invalid cell size %1 x %2: the width and height must be 0 or more pixels.")
                            .arg(typedWidth).arg(typedHeight));
    compose::CanvasSize canvas;
    if (last >= 0) {
        canvas = compose::foldIntoRows(piclist.ListCount(), cellWidth, cellHeight,
                                       compose::PixelsToTwipsX(kMostPixelsAcross));
        picMain.checkImageSize(canvas.width, canvas.height);
        compose::scrollMax(canvas.height, picContainer.Height());
    }

    LongCommand command(host(), QStringLiteral("Combine"));
    tk::Picture picture;
    for (int32_t i = 0; i <= last; ++i) {
        const std::string& path = piclist.List(i);
        picture = tk::Picture();  // only one picture is held at a time
        picture = tk::LoadPicture(path);
        if (i == 0) {  // the canvas is set up after the first picture has loaded
            layoutWidth = canvas.width;
            setUpCanvas(canvas.width, canvas.height);
        }
        PaintCell(picture, picMain, x, y, cellWidth, cellHeight);
        x = x + cellWidth;
        if (static_cast<float>(x + cellWidth) > layoutWidth) {
            x = 0;
            y = y + cellHeight;
        }
        command.report(QStringLiteral("%1 of %2 pictures painted").arg(i + 1).arg(last + 1), i + 1, last + 1);
    }
    cmdSave.setEnabled(true);
}

void frmQuiltwright::setUpCanvas(float layoutWidth, float layoutHeight) {
    picMain.setWidth(layoutWidth);
    picMain.setHeight(layoutHeight);
    picMain.setLeft(0);
    picMain.setTop(0);
    picMain.Cls();  // every Combine paints on an all-black canvas

    setUpBar(HScr, [this] { return std::pair{picMain.Width(), picContainer.Width()}; });
    setUpBar(VScr, [this] { return std::pair{picMain.Height(), picContainer.Height()}; });
}
