// Save: the whole canvas as "Combined.bmp" in the folder list's open folder.

#include "form/Form.h"
#include "output/SheetFiles.h"
#include "toolkit/Errors.h"

namespace {
constexpr int kInformation = 64;
}  // namespace

void frmQuiltwright::cmdSave_Click() {
    std::string target = dir.Path();
    if (target.empty() || target.back() != '/') target += '/';
    target += "Combined.bmp";
    saveCanvas(target);
    host().MsgBox(QStringLiteral("Saved as Combined.bmp in the selected directory"), kInformation,
                  QStringLiteral("Picture saved"));
}

const bmp::Image& frmQuiltwright::canvasToSave() {
    const bmp::Image& canvas = picMain.persistentImage();
    if (canvas.width <= 0 || canvas.height <= 0)
        throw tk::Error(tk::kInvalidPicture,
                        QStringLiteral("The combined picture is empty (%1 x %2 pixels), so there is nothing to save. "
                                       "Type a cell size above 0 and Combine again.")
                            .arg(canvas.width).arg(canvas.height));
    return canvas;
}

void frmQuiltwright::saveCanvas(const std::string& target) {
    tk::SavePicture(canvasToSave(), target, output::pipeWait(host().waitsForPipeReaders()), threads());
}
