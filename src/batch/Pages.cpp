#include "batch/Pages.h"

#include "bitmap/Pixels.h"
#include "output/PngWhilePainting.h"
#include "output/SheetFiles.h"
#include "storage/PictureWriter.h"
#include "toolkit/Errors.h"
#include "toolkit/PictureBox.h"

#include <memory>
#include <new>
#include <optional>

namespace batch {

std::string pageName(const std::string& name, size_t page) {
    std::string out = name;
    for (size_t at = out.find("{n}"); at != std::string::npos; at = out.find("{n}", at)) out.replace(at, 3, std::to_string(page));
    return out;
}

bmp::Image newCanvas(const compose::Grid& grid) {
    tk::PictureBox::checkImagePixels(grid.width, grid.height);
    bmp::Image canvas;
    canvas.width = static_cast<int32_t>(grid.width), canvas.height = static_cast<int32_t>(grid.height);
    try {
        canvas.pixels = bmp::allocateLargePixels(static_cast<size_t>(grid.width) * static_cast<size_t>(grid.height), true);
    } catch (const std::bad_alloc&) {
        throw tk::Error(tk::kOutOfMemory, QStringLiteral("Out of memory: a picture of %1 x %2 pixels").arg(grid.width).arg(grid.height));
    }
    return canvas;
}

namespace {

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

}  // namespace

void writePages(const Options& options, const compose::SheetOptions& sheet, const std::vector<compose::Page>& pages,
                const std::vector<std::string>& pictures, const std::vector<std::string>& names, const std::string& output,
                int threads, const std::function<void(const QString& text, bool last)>& report) {
    const auto wait = output::pipeWait(true);
    const int painters = compose::threadsFor(sheet, pages.front().grid, threads);
    std::vector<std::unique_ptr<storage::AtomicFile>> files;
    std::vector<output::TexturePage> textures;
    std::vector<int64_t> counts;
    for (size_t k = 0; k < pages.size(); ++k) {
        const compose::Page& page = pages[k];
        const auto from = pictures.begin() + static_cast<std::ptrdiff_t>(page.first);
        const std::vector<std::string> onPage(from, from + static_cast<std::ptrdiff_t>(page.count));
        compose::SheetPainting painting(sheet, page.grid, onPage);
        tk::Picture first = painting.loadFirst();
        bmp::Image canvas = newCanvas(page.grid);
        compose::PaintHooks hooks;
        hooks.anchors = options.atlas.has_value();
        hooks.progress = [&](size_t done) {
            report(QStringLiteral("page %1 of %2: %3 of %4 pictures painted").arg(k + 1).arg(pages.size()).arg(done).arg(page.count),
                   k + 1 == pages.size() && static_cast<int64_t>(done) == page.count);
        };
        const std::string name = pageName(output, k);
        const auto open = [&] {
            files.push_back(std::make_unique<storage::AtomicFile>(name, wait));
            if (!files.back()->placeable())
                throw tk::Error(tk::kPathFileAccess, QStringLiteral("A sheet of pages needs each page in a file: %1 is a pipe, a "
                                                                    "device or an open file").arg(tk::displayPath(name)));
        };
        // A plain bitmap page is written as its rows are painted for good, as a sheet of one page is.
        std::optional<storage::PictureWriter> writer;
        if (sheet.isPlain())
            hooks.rowsPainted = [&](const bmp::Image& painted, int64_t rows) {
                if (!writer) {
                    output::checkSavable(painted);
                    open();
                    writer.emplace(painted, *files.back());
                }
                writer->rowsFinal(rows);
            };
        const auto png = output::compressWhilePainting(sheet, first, canvas, hooks, threads, options.compression);
        painting.paint(std::move(first), canvas, painters, hooks);
        const bmp::PngBands* compressed = png ? &png->finish(painting.transparent(), threads) : nullptr;
        const output::SaveFormat format = output::sheetFormat(canvas, sheet.png, painting.transparent(), compressed);
        if (writer) {
            writer->finish(threads);
        } else {
            output::checkSavable(canvas, format);
            open();
            output::writePicture(canvas, *files.back(), threads, format, compressed);
        }
        counts.push_back(page.count);
        if (options.atlas) {
            const auto firstName = names.begin() + static_cast<std::ptrdiff_t>(page.first);
            const std::vector<std::string> frameNames(firstName, firstName + static_cast<std::ptrdiff_t>(page.count));
            textures.push_back({name, page.grid.width, page.grid.height, format.alpha,
                                output::framesOf(page.grid, frameNames, sheet.dropToFloor ? &painting.anchors() : nullptr)});
        }
    }
    const output::GridNumbers grid = output::gridNumbers(pages.front().grid, pictures.size());
    const auto addList = [&](const std::string& path, const QByteArray& json) {
        files.push_back(std::make_unique<storage::AtomicFile>(path, wait));
        files.back()->write(reinterpret_cast<const uint8_t*>(json.data()), static_cast<size_t>(json.size()));
    };
    if (options.atlas && options.atlasFormat == Options::AtlasFormat::MultiAtlas) {
        for (output::TexturePage& texture : textures) texture.image = output::relativePath(texture.image, folderOf(*options.atlas));
        addList(*options.atlas, output::multiAtlasJson(textures, grid));
    } else if (options.atlas) {
        // One list a page; the first names the others, from which PixiJS loads every page.
        std::vector<std::string> others;
        for (size_t k = 1; k < textures.size(); ++k) others.push_back(output::relativePath(pageName(*options.atlas, k), folderOf(*options.atlas)));
        for (size_t k = 0; k < textures.size(); ++k) {
            const std::string list = pageName(*options.atlas, k);
            const output::TexturePage& t = textures[k];
            addList(list, output::frameListJson(t.frames, t.width, t.height, output::relativePath(t.image, folderOf(list)), t.alpha, grid,
                                                {options.atlasFormat == Options::AtlasFormat::Array}, k == 0 ? others : std::vector<std::string>{}));
        }
    } else if (options.grid) {
        addList(*options.grid, output::gridJson(grid, counts));
    }
    std::vector<storage::AtomicFile*> all;
    for (const auto& file : files) all.push_back(file.get());
    try {
        storage::AtomicFile::commitAll(all);
    } catch (const storage::Failure& failure) {
        throw tk::errorOf(failure);
    }
}

}  // namespace batch
