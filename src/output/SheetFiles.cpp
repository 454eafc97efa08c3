#include "output/SheetFiles.h"

#include "toolkit/Errors.h"

#include <algorithm>

namespace output {

tk::SaveFormat sheetFormat(const bmp::Image& canvas, bool png, bool transparent) {
    bool alpha = false;
    const auto count = static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height);
    for (size_t i = 0; transparent && i < count && !alpha; ++i) alpha = canvas.pixels[i] < 0xFF000000u;
    return {png, alpha};
}

GridNumbers gridNumbers(const compose::Grid& grid, size_t count) {
    return {grid.frameWidth(), grid.cellHeight, grid.margin, grid.spacing, grid.columns, grid.rows, static_cast<int64_t>(count)};
}

std::vector<Frame> framesOf(const compose::Grid& grid, const std::vector<std::string>& names,
                            const std::vector<compose::Anchor>* anchors) {
    std::vector<Frame> frames;
    for (size_t i = 0; i < names.size(); ++i) {
        const compose::Rect cell = grid.frame(static_cast<int64_t>(i));
        Frame frame{names[i], cell.x, cell.y, cell.width, cell.height, {}};
        if (anchors) frame.anchor = std::pair{(*anchors)[i].x, (*anchors)[i].y};
        frames.push_back(std::move(frame));
    }
    return frames;
}

void writeSheetBeside(const bmp::Image& canvas, tk::SaveFormat format, const std::string& sheet, const std::string& data,
                      const QByteArray& json, int threads, storage::AtomicFile::PipeWait wait) {
    tk::checkSavable(canvas, format);
    try {
        storage::AtomicFile sheetFile(sheet, wait);
        if (!sheetFile.placeable())
            throw tk::Error(tk::kPathFileAccess, QStringLiteral("A frame list needs its sheet in a file: %1 is a pipe, a device "
                                                                "or an open file, which an engine cannot find by its name")
                                                     .arg(tk::displayPath(sheet)));
        storage::AtomicFile dataFile(data, wait);
        tk::writePicture(canvas, sheetFile, threads, format);
        dataFile.write(reinterpret_cast<const uint8_t*>(json.data()), static_cast<size_t>(json.size()));
        storage::AtomicFile::commitTogether(sheetFile, dataFile);
    } catch (const storage::Failure& failure) {
        throw tk::errorOf(failure);
    }
}

}  // namespace output
