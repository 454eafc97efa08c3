#include "batch/BatchRun.h"

#include "bitmap/Pixels.h"
#include "batch/Pages.h"
#include "discovery/FindFiles.h"
#include "output/PngWhilePainting.h"
#include "output/SheetFiles.h"
#include "storage/Memory.h"
#include "storage/PictureWriter.h"
#include "toolkit/DriveAndDir.h"
#include "toolkit/Errors.h"
#include "toolkit/PictureBox.h"

#include <QElapsedTimer>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <numeric>

namespace batch {
namespace {

// Progress on a terminal's standard error, one line written over.
class Progress {
public:
    explicit Progress(bool shown) : m_shown(shown) { m_timer.start(); }
    ~Progress() { end(); }
    void report(const QString& text, bool last = false) {
        if (!m_shown || (m_timer.elapsed() <= 100 && !last)) return;
        std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
        m_timer.start();
        m_dirty = true;
    }
    void end() {
        if (m_dirty) std::fputc('\n', stderr);
        m_dirty = false;
    }

private:
    bool m_shown, m_dirty = false;
    QElapsedTimer m_timer;
};

// One line, as command-line tools report: "quiltwright-batch: Error 53: No bitmap files ...".
void fail(const tk::Error& e) {
    QString description = e.description();
    description.replace(QLatin1Char('\n'), QStringLiteral(": "));
    std::fprintf(stderr, "quiltwright-batch: Error %d: %s\n", e.number(), description.toLocal8Bit().constData());
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isOtherThanFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The folder, opened once to be sure it is one the run can read.
std::string openableFolder(const std::string& path) {
    const std::string folder = tk::normalizeFolder(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) throw tk::Error(tk::kPathNotFound, QStringLiteral("Path not found: %1").arg(tk::displayPath(folder)));
        throw tk::fileError(error, tk::displayPath(folder));
    }
    ::closedir(dir);
    return folder;
}

// The files the run writes: never painted into the sheet (a second run would hold the first's
// sheet as a frame). A picture of the same name as one of them is compared as a file where both
// exist (another spelling of its path, a link to its folder), else by its path.
struct Written {
    std::vector<std::string> paths, names;
    std::vector<std::pair<dev_t, ino_t>> files;
    static std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
    explicit Written(const std::vector<std::string>& written) {
        for (const std::string& path : written) {
            struct stat st;
            if (::stat(path.c_str(), &st) == 0) files.emplace_back(st.st_dev, st.st_ino);
            paths.push_back(tk::normalizeFolder(path));
            names.push_back(nameOf(path));
        }
    }
    bool holds(const std::string& path) const {
        // A name of pages ({n}) holds every page's: its {n} any run of digits.
        const std::string normal = tk::normalizeFolder(path);
        for (const std::string& pages : paths) {
            const size_t at = pages.find("{n}");
            if (at == std::string::npos || normal.size() <= pages.size() - 3 || normal.compare(0, at, pages, 0, at) != 0 ||
                normal.compare(normal.size() - (pages.size() - at - 3), std::string::npos, pages, at + 3) != 0)
                continue;
            const std::string number = normal.substr(at, normal.size() - (pages.size() - 3));
            if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) return true;
        }
        if (std::find(names.begin(), names.end(), nameOf(path)) == names.end()) return false;
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && std::find(files.begin(), files.end(), std::pair{st.st_dev, st.st_ino}) != files.end())
            return true;
        return std::find(paths.begin(), paths.end(), tk::normalizeFolder(path)) != paths.end();
    }
};

// Every picture below folder whose name matches a pattern (any letter case), sorted as the
// window's list, less a sheet this program saved (Combined.bmp) and the run's own files. Folders
// that cannot be read are named on stderr; with the default pattern, so are PNG files passed over.
std::vector<std::string> picturesIn(const std::string& folder, const std::vector<std::string>& patterns, const Written& written,
                                    Progress& progress, bool& unread) {
    discovery::PosixEnumerator posix;
    discovery::Finder finder(posix);
    finder.onFolderDone = [&](int64_t folders, int64_t files) {
        progress.report(QStringLiteral("%1 folders searched, %2 files found").arg(folders).arg(files));
    };
    std::string root = folder;
    tk::Collection found;
    finder.FindFiles(root, "*", "*", found);
    progress.end();
    // As find and cp -r do: each folder on a line of its own, the walk goes on, the run fails.
    for (const UnreadFolder& f : finder.unread())
        std::fprintf(stderr, "quiltwright-batch: cannot read the folder %s: %s\n", tk::displayPath(f.path).toLocal8Bit().constData(),
                     std::strerror(f.error));
    unread = !finder.unread().empty();
    const std::vector<std::string> asked = patterns.empty() ? std::vector<std::string>{"*.bmp"} : patterns;
    const auto matches = [](const std::string& path, const std::string& pattern) {
        return tk::Like(tk::LCase(path.substr(path.rfind('/') + 1)), tk::LCase(pattern));
    };
    std::vector<std::string> pictures;
    int64_t pngs = 0;
    for (const std::string& path : found.items()) {
        if (std::any_of(asked.begin(), asked.end(), [&](const std::string& p) { return matches(path, p); })) pictures.push_back(path);
        else if (patterns.empty() && matches(path, "*.png")) ++pngs;
    }
    const QString hint = QStringLiteral("give --pattern='*.png' (and --pattern='*.bmp' for both)");
    if (pictures.empty()) {
        QString what = patterns.empty() ? QStringLiteral("No bitmap files (*.bmp)") : QStringLiteral("No files matching %1").arg(QString::fromStdString(
                           std::accumulate(asked.begin() + 1, asked.end(), asked.front(), [](std::string a, const std::string& b) { return a + ", " + b; })));
        if (pngs > 0) what = QStringLiteral("No bitmap files (*.bmp), but %1 PNG file%2,").arg(pngs).arg(pngs == 1 ? "" : "s");
        throw tk::Error(tk::kFileNotFound, QStringLiteral("%1 in %2 or below it%3").arg(what, tk::displayPath(folder), pngs > 0 ? ": " + hint : QString()));
    }
    if (pngs > 0)
        std::fprintf(stderr, "quiltwright-batch: %lld PNG file%s passed over; %s\n", static_cast<long long>(pngs), pngs == 1 ? "" : "s",
                     hint.toLocal8Bit().constData());
    std::stable_sort(pictures.begin(), pictures.end(), [](const std::string& a, const std::string& b) { return tk::compareListText(a, b) < 0; });
    std::erase_if(pictures, [&](const std::string& p) { return written.holds(p); });
    const auto sheets = std::count_if(pictures.begin(), pictures.end(), [](const std::string& p) { return p.substr(p.rfind('/') + 1) == "Combined.bmp"; });
    if (sheets == static_cast<ptrdiff_t>(pictures.size())) compose::refuseNothingToCombine(static_cast<int32_t>(sheets));
    std::erase_if(pictures, [](const std::string& p) { return p.substr(p.rfind('/') + 1) == "Combined.bmp"; });
    return pictures;
}

int paint(const Options& options, Progress& progress) {
    // Both paths are checked before any work, so a mistyped command costs nothing.
    if (isOtherThanFolder(options.folder))
        throw tk::Error(tk::kPathNotFound, QStringLiteral("%1 is a file, not a folder; give the folder whose pictures "
                                                         "are to be combined").arg(tk::displayPath(options.folder)));
    const bool toStandardOutput = options.output == "-";
    if (options.output && !toStandardOutput && isFolder(*options.output))
        throw tk::Error(tk::kPathFileAccess, QStringLiteral("--output names the folder %1; give a file name, such as "
                                                            "%1/Combined.bmp").arg(tk::displayPath(*options.output)));
    const std::string folder = openableFolder(options.folder);
    std::string sheet = options.output.value_or(folder + (folder == "/" ? "" : "/") + (options.sheet.png ? "Combined.png" : "Combined.bmp"));
    const std::optional<std::string>& data = options.atlas ? options.atlas : options.grid;
    if (data && tk::normalizeFolder(*data) == tk::normalizeFolder(sheet))
        throw tk::Error(tk::kPathFileAccess, QStringLiteral("%1 names the sheet itself, %2; give the frame list a name of its own")
                                                 .arg(options.atlas ? "--atlas" : "--grid", tk::displayPath(sheet)));
    std::vector<std::string> ownFiles;
    if (!toStandardOutput) ownFiles.push_back(sheet);
    if (data) ownFiles.push_back(*data);
    bool unread = false;
    const std::vector<std::string> pictures =
        compose::paintingOrder(picturesIn(folder, options.patterns, Written(ownFiles), progress, unread), options.sheet.naturalOrder);
    std::vector<std::string> names;
    if (options.atlas)  // a name no frame list can hold is refused before any work
        for (const std::string& picture : pictures) names.push_back(output::frameName(picture, folder));

    compose::SheetOptions o = options.sheet;
    if (options.autoWidth || options.autoHeight) {
        const auto [width, height] = compose::largestPicture(pictures);
        if (options.autoWidth) o.cellWidth = width;
        if (options.autoHeight) o.cellHeight = height;
        if (const std::string noRoom = compose::noRoomForACell(o); !noRoom.empty())
            throw tk::Error(tk::kInvalidPropertyValue, QString::fromStdString(noRoom));
    }
    if (const std::string noRoom = compose::noRoomOnAPage(o); !noRoom.empty()) throw BadUsage{noRoom};
    const std::vector<compose::Page> pages = compose::pagesOf(o, static_cast<int64_t>(pictures.size()));
    const int wanted = options.jobs > 0 ? options.jobs : storage::usableCores();
    if (pages.size() > 1) {
        const std::string many = "the pictures take " + std::to_string(pages.size()) + " pages of --max-height=" + std::to_string(o.maxHeight);
        if (toStandardOutput) throw BadUsage{many + ", and standard output holds one: give --output=NAME-{n}.png"};
        if (sheet.find("{n}") == std::string::npos) throw BadUsage{many + ": give --output a name with {n} for the page, such as sheet-{n}.png"};
        if (options.atlas && options.atlasFormat != Options::AtlasFormat::MultiAtlas && options.atlas->find("{n}") == std::string::npos)
            throw BadUsage{many + ": give --atlas a name with {n} (one list a page), or --atlas-format=multiatlas"};
        writePages(options, o, pages, pictures, names, sheet, wanted, [&](const QString& text, bool last) { progress.report(text, last); });
        progress.end();
        return unread ? 1 : 0;
    }
    // One page: its names say page 0 where they have {n}.
    sheet = pageName(sheet, 0);
    const std::optional<std::string> atlas = options.atlas ? std::optional(pageName(*options.atlas, 0)) : std::nullopt;
    const compose::Grid& grid = pages.front().grid;
    tk::PictureBox::checkImagePixels(grid.width, grid.height);
    const int threads = compose::threadsFor(o, grid, wanted);
    // Past what engines load (Godot and Defold 16,384 pixels a side, phones often 4,096): said.
    if (grid.width > 16384 || grid.height > 16384)
        std::fprintf(stderr, "quiltwright-batch: the sheet is %lld x %lld pixels, past the 16,384 most engines load at most; "
                             "give --max-height for pages or --columns for a squarer sheet\n",
                     static_cast<long long>(grid.width), static_cast<long long>(grid.height));
    compose::SheetPainting painting(o, grid, pictures);
    tk::Picture first = painting.loadFirst();
    bmp::Image canvas = newCanvas(grid);
    const auto wait = output::pipeWait(true);  // as command-line tools do
    compose::PaintHooks hooks;
    const auto total = static_cast<int64_t>(pictures.size());
    hooks.anchors = options.atlas.has_value();
    hooks.progress = [&](size_t done) {
        progress.report(QStringLiteral("%1 of %2 pictures painted").arg(done).arg(total), static_cast<int64_t>(done) == total);
    };
    // A plain bitmap written beside and renamed over its target is written as its rows are
    // painted for good; the file is made once the first row of cells is painted, and a failed run
    // removes it. Anything else gets the sheet once it stands.
    std::optional<storage::AtomicFile> file;
    std::optional<storage::PictureWriter> writer;
    const bool whilePainting = !data && !toStandardOutput && o.isPlain() && !storage::AtomicFile::writesInPlace(sheet);
    if (whilePainting)
        hooks.rowsPainted = [&](const bmp::Image& painted, int64_t rows) {
            if (!writer) {
                output::checkSavable(painted);
                file.emplace(sheet, wait);
                writer.emplace(painted, *file);
            }
            writer->rowsFinal(rows);
        };
    // A PNG is compressed as its rows are painted for good, whatever it is written to.
    const auto png = output::compressWhilePainting(o, first, canvas, hooks, wanted, options.compression);
    painting.paint(std::move(first), canvas, threads, hooks);
    progress.end();
    const bmp::PngBands* compressed = png ? &png->finish(painting.transparent(), wanted) : nullptr;
    const output::SaveFormat format = output::sheetFormat(canvas, o.png, painting.transparent(), compressed);
    if (whilePainting) {
        writer->finish(wanted);
        file->commit();
    } else if (atlas) {
        const std::string image = output::relativePath(sheet, atlas->substr(0, atlas->rfind('/') + 1));
        const std::vector<output::Frame> frames = output::framesOf(grid, names, o.dropToFloor ? &painting.anchors() : nullptr);
        const output::GridNumbers numbers = output::gridNumbers(grid, pictures.size());
        output::writeSheetBeside(canvas, format, sheet, *atlas,
                                 options.atlasFormat == Options::AtlasFormat::MultiAtlas
                                     ? output::multiAtlasJson({{image, grid.width, grid.height, format.alpha, frames}}, numbers)
                                     : output::frameListJson(frames, grid.width, grid.height, image, format.alpha, numbers,
                                                             {options.atlasFormat == Options::AtlasFormat::Array}),
                                 wanted, wait, compressed);
    } else if (options.grid) {
        output::writeSheetBeside(canvas, format, sheet, *options.grid, output::gridJson(output::gridNumbers(grid, pictures.size())), wanted, wait,
                                 compressed);
    } else if (toStandardOutput) {
        output::writeSheet(canvas, STDOUT_FILENO, "standard output", format, wanted, compressed);
    } else {
        output::writeSheet(canvas, sheet, format, wanted, wait, compressed);
    }
    return unread ? 1 : 0;  // the sheet of what could be read is written, yet not all was
}

}  // namespace

int run(const Options& options) {
    Progress progress(options.progress);
    try {
        return paint(options, progress);
    } catch (const tk::Error& e) {
        progress.end();
        fail(e);
    } catch (const storage::Failure& failure) {
        progress.end();
        fail(tk::errorOf(failure));
    } catch (const std::bad_alloc&) {
        progress.end();
        fail(tk::Error(tk::kOutOfMemory, QStringLiteral("Out of memory")));
    } catch (const BadUsage& usage) {
        progress.end();
        std::fprintf(stderr, "quiltwright-batch: %s\nTry 'quiltwright-batch --help' for more information.\n", usage.what.c_str());
        return 2;
    }
    return 1;
}

}  // namespace batch
