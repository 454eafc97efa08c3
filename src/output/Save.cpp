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

// A transparent sheet is written with its alpha where any pixel is not opaque; any other in RGB
// (PNG) or as the window's 24-bit bitmap.
tk::SaveFormat frmQuiltwright::saveFormat() {
    const bmp::Image& canvas = canvasToSave();
    bool alpha = false;
    const auto count = static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height);
    for (size_t i = 0; m_transparent && i < count && !alpha; ++i) alpha = canvas.pixels[i] < 0xFF000000u;
    return {Sheet.png, alpha};
}

void frmQuiltwright::saveCanvas(const std::string& target) {
    tk::SavePicture(canvasToSave(), target, pipeWait(host()), threads(), saveFormat());
}

void frmQuiltwright::combineAndSave(const std::string& target) {
    // A pipe or a device gets the sheet once it stands, and so does a sheet whose gutters or
    // transparency are worked once every cell is painted, or that is compressed whole.
    if (storage::AtomicFile::writesInPlace(target) || !Sheet.isPlain()) {
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

void frmQuiltwright::saveCanvas(int fd, const std::string& name) {
    tk::SavePicture(canvasToSave(), fd, name, saveFormat(), threads());
}

std::vector<std::string> frmQuiltwright::frameNames() {
    std::vector<std::string> names;
    for (const std::string& picture : picturesToPaint()) names.push_back(output::frameName(picture, dir.Path()));
    return names;
}

namespace {

output::GridNumbers gridNumbers(const compose::Grid& grid, size_t frames) {
    return {grid.cellWidth, grid.cellHeight, grid.margin, grid.spacing, grid.perRow, grid.rows, static_cast<int64_t>(frames)};
}

}  // namespace

void frmQuiltwright::saveCanvasWithFrameList(const std::string& sheet, const std::string& list) {
    const std::vector<std::string> names = frameNames();
    const compose::Grid grid = sheetGrid();
    std::vector<output::Frame> frames;
    for (size_t i = 0; i < names.size(); ++i) {
        const auto p = static_cast<int64_t>(i);
        // The cell, as much of it as lies on the sheet (a cell wider than the sheet is cut there).
        frames.push_back({names[i], grid.left(p), grid.top(p), std::min(grid.cellWidth, grid.width - grid.left(p)), grid.cellHeight});
    }
    const tk::SaveFormat format = saveFormat();
    saveCanvasBeside(sheet, list,
                     output::frameListJson(frames, grid.width, grid.height, output::relativePath(sheet, list.substr(0, list.rfind('/') + 1)),
                                           format.alpha, gridNumbers(grid, names.size()), {AtlasArray, chkDropFloor.Value() == 1}));
}

void frmQuiltwright::saveCanvasWithGrid(const std::string& sheet, const std::string& gridFile) {
    saveCanvasBeside(sheet, gridFile, output::gridJson(gridNumbers(sheetGrid(), picturesToPaint().size())));
}

void frmQuiltwright::saveCanvasBeside(const std::string& sheet, const std::string& data, const QByteArray& json) {
    const tk::SaveFormat format = saveFormat();
    const bmp::Image& canvas = canvasToSave();
    tk::checkSavable(canvas, format);
    storage::AtomicFile sheetFile(sheet, pipeWait(host()));
    if (!sheetFile.placeable())
        throw tk::Error(tk::kPathFileAccess, QStringLiteral("A frame list needs its sheet in a file: %1 is a pipe, a device or "
                                                            "an open file, which an engine cannot find by its name")
                                                 .arg(tk::displayPath(sheet)));
    storage::AtomicFile dataFile(data, pipeWait(host()));
    tk::writePicture(canvas, sheetFile, threads(), format);
    dataFile.write(reinterpret_cast<const uint8_t*>(json.data()), static_cast<size_t>(json.size()));
    storage::AtomicFile::commitTogether(sheetFile, dataFile);
}
