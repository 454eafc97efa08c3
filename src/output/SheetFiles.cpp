#include "output/SheetFiles.h"

#include "bitmap/Pixels.h"
#include "bitmap/PngWriter.h"
#include "storage/PictureWriter.h"
#include "storage/Threads.h"
#include "toolkit/Errors.h"

#include <algorithm>
#include <optional>

namespace output {
void checkSavable(const bmp::Image& image, SaveFormat format) {
    const bool fits = format.png ? image.width > 0 && image.height > 0
                                 : (format.alpha ? bmp::fileSize32(image.width, image.height) : bmp::fileSize24(image.width, image.height)) != 0;
    if (!fits)
        throw tk::Error(tk::kInvalidPicture, QStringLiteral("A picture of %1 x %2 pixels cannot be saved as a %3 file")
                                                 .arg(image.width).arg(image.height).arg(format.png ? QStringLiteral("PNG") : QStringLiteral("bitmap")));
}

void writePicture(const bmp::Image& image, storage::AtomicFile& file, int threads, SaveFormat format, const bmp::PngBands* compressed) {
    try {
        const bmp::RowSource rows = [&](int32_t y) { return image.row(y); };
        if (format.png) {
            std::optional<bmp::PngBands> own;
            if (!compressed) {
                own.emplace(image.width, image.height, format.alpha, rows);
                storage::runAll(own->count(), threads, [&](size_t band) { own->compress(band); });
            }
            const bmp::PngBands& png = compressed ? *compressed : *own;
            file.reserve(png.fileSize());
            png.write(file);
        } else if (format.alpha) {
            file.reserve(bmp::fileSize32(image.width, image.height));
            bmp::write32(file, image.width, image.height, rows);
        } else {
            storage::PictureWriter writer(image, file);
            writer.finish(threads);
        }
    } catch (const storage::Failure& failure) {
        throw tk::errorOf(failure);
    }
}

namespace {

// The sheet into the AtomicFile made of file, committed.
template <typename... File>
void commitSheet(const bmp::Image& image, SaveFormat format, int threads, const bmp::PngBands* compressed, File&&... file) {
    checkSavable(image, format);
    try {
        storage::AtomicFile out(std::forward<File>(file)...);
        writePicture(image, out, threads, format, compressed);
        out.commit();
    } catch (const storage::Failure& failure) {
        throw tk::errorOf(failure);
    }
}

}  // namespace

void writeSheet(const bmp::Image& image, const std::string& path, SaveFormat format, int threads, storage::AtomicFile::PipeWait wait,
                const bmp::PngBands* compressed) {
    commitSheet(image, format, threads, compressed, path, wait);
}

void writeSheet(const bmp::Image& image, int fd, const std::string& name, SaveFormat format, int threads, const bmp::PngBands* compressed) {
    commitSheet(image, format, threads, compressed, fd, name);
}

SaveFormat sheetFormat(const bmp::Image& canvas, bool png, bool transparent, const bmp::PngBands* compressed) {
    if (compressed) return {true, compressed->alpha()};
    return {png, transparent && !bmp::allOpaque(canvas)};
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

void writeSheetBeside(const bmp::Image& canvas, SaveFormat format, const std::string& sheet, const std::string& data,
                      const QByteArray& json, int threads, storage::AtomicFile::PipeWait wait, const bmp::PngBands* compressed) {
    checkSavable(canvas, format);
    try {
        storage::AtomicFile sheetFile(sheet, wait);
        if (!sheetFile.placeable())
            throw tk::Error(tk::kPathFileAccess, QStringLiteral("A frame list needs its sheet in a file: %1 is a pipe, a device "
                                                                "or an open file, which an engine cannot find by its name")
                                                     .arg(tk::displayPath(sheet)));
        storage::AtomicFile dataFile(data, wait);
        writePicture(canvas, sheetFile, threads, format, compressed);
        dataFile.write(reinterpret_cast<const uint8_t*>(json.data()), static_cast<size_t>(json.size()));
        storage::AtomicFile::commitTogether(sheetFile, dataFile);
    } catch (const storage::Failure& failure) {
        throw tk::errorOf(failure);
    }
}

}  // namespace output
