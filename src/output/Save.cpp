// Save: the whole canvas as "Combined.bmp" in the folder list's open folder.

#include "compose/Layout.h"
#include "form/Form.h"
#include "output/FrameList.h"
#include "toolkit/Errors.h"
#include "storage/PictureWriter.h"

#include <algorithm>
#include <optional>

namespace {
constexpr int kInformation = 64;

// A named pipe nobody reads yet: a command-line run waits for its reader, the window gives up.
storage::AtomicFile::PipeWait pipeWait(const FormHost& host) {
    return host.waitsForPipeReaders() ? storage::AtomicFile::PipeWait::Wait : storage::AtomicFile::PipeWait::GiveUp;
}

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
    tk::SavePicture(canvasToSave(), target, pipeWait(host()), threads());
}

void frmQuiltwright::combineAndSave(const std::string& target) {
    if (storage::AtomicFile::writesInPlace(target)) {  // a pipe or a device gets the sheet once it stands
        cmdCombine_Click();
        saveCanvas(target);
        return;
    }
    // The file is made once the first row of cells is painted, so what Combine refuses (a cell
    // size, an empty list) is refused as it is without a file; a failed or cancelled run removes it.
    std::optional<storage::AtomicFile> file;
    std::optional<storage::PictureWriter> writer;
    const auto open = [&](const bmp::Image& canvas) {
        tk::checkSavable(canvas);
        file.emplace(target, pipeWait(host()));
        writer.emplace(canvas, *file);
    };
    rowsPainted = [&](const bmp::Image& canvas, int64_t rows) {
        if (!writer) open(canvas);
        writer->rowsFinal(rows);
    };
    struct Unhook {
        std::function<void(const bmp::Image&, int64_t)>& hook;
        ~Unhook() { hook = nullptr; }
    } unhook{rowsPainted};
    cmdCombine_Click();
    if (!writer) open(canvasToSave());
    writer->finish(threads());
    file->commit();
}

void frmQuiltwright::saveCanvas(int fd, const std::string& name) { tk::SavePicture(canvasToSave(), fd, name); }

std::vector<std::string> frmQuiltwright::frameNames() {
    std::vector<std::string> names;
    for (const std::string& picture : picturesToPaint()) names.push_back(output::frameName(picture, dir.Path()));
    return names;
}

void frmQuiltwright::saveCanvasWithFrameList(const std::string& sheet, const std::string& list) {
    const std::vector<std::string> names = frameNames();
    const compose::Grid grid = sheetGrid();
    std::vector<output::Frame> frames;
    for (size_t i = 0; i < names.size(); ++i) {
        const auto p = static_cast<int64_t>(i);
        // The cell, as much of it as lies on the sheet (a cell wider than the sheet is cut there).
        frames.push_back({names[i], grid.left(p), grid.top(p), std::min(grid.cellWidth, grid.width - grid.left(p)), grid.cellHeight});
    }
    const std::string json = output::frameListJson(frames, grid.width, grid.height,
                                                   output::relativePath(sheet, list.substr(0, list.rfind('/') + 1)));
    const bmp::Image& canvas = canvasToSave();
    tk::checkSavable(canvas);
    storage::AtomicFile sheetFile(sheet, pipeWait(host()));
    if (!sheetFile.placeable())
        throw tk::Error(tk::kPathFileAccess, QStringLiteral("A frame list needs its sheet in a file: %1 is a pipe, a device or "
                                                            "an open file, which an engine cannot find by its name")
                                                 .arg(tk::displayPath(sheet)));
    storage::AtomicFile listFile(list, pipeWait(host()));
    tk::writePicture(canvas, sheetFile, threads());
    listFile.write(reinterpret_cast<const uint8_t*>(json.data()), json.size());
    storage::AtomicFile::commitTogether(sheetFile, listFile);
}
