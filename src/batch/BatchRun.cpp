#include "batch/BatchRun.h"

#include "form/Form.h"
#include "toolkit/Errors.h"

#include <QElapsedTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace batch {
namespace {

class StderrHost : public FormHost {
public:
    explicit StderrHost(bool progress) : m_progress(progress) {}
    void MsgBox(const QString&, int, const QString&) override {}
    void beginLongCommand(const QString&) override { m_timer.start(); }
    bool reportProgress(const QString& text, int64_t done, int64_t total) override {
        if (m_progress && (m_timer.elapsed() > 100 || done == total)) {
            std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
            m_timer.start();
            m_dirty = true;
        }
        return true;
    }
    bool waitsForPipeReaders() const override { return true; }  // as command-line tools do
    // As find and cp -r do: each folder on a line of its own, the walk goes on, the run fails.
    void foldersNotRead(const std::vector<UnreadFolder>& folders) override {
        for (const UnreadFolder& folder : folders)
            std::fprintf(stderr, "quiltwright-batch: cannot read the folder %s: %s\n",
                         tk::displayPath(folder.path).toLocal8Bit().constData(), std::strerror(folder.error));
        m_foldersNotRead = m_foldersNotRead || !folders.empty();
    }
    bool someFolderNotRead() const { return m_foldersNotRead; }
    void endLongCommand() override {
        if (m_dirty) std::fputc('\n', stderr);
        m_dirty = false;
    }

private:
    bool m_progress;
    bool m_dirty = false;
    bool m_foldersNotRead = false;
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

}  // namespace

int run(const Options& options) {
    StderrHost host(options.progress);
    try {
        // Both paths are checked before any work, so a mistyped command costs nothing.
        if (isOtherThanFolder(options.folder))
            throw tk::Error(tk::kPathNotFound, QStringLiteral("%1 is a file, not a folder; give the folder whose pictures "
                                                             "are to be combined").arg(tk::displayPath(options.folder)));
        const bool toStandardOutput = options.output == "-";
        if (options.output && !toStandardOutput && isFolder(*options.output))
            throw tk::Error(tk::kPathFileAccess, QStringLiteral("--output names the folder %1; give a file name, such as "
                                                                "%1/Combined.bmp").arg(tk::displayPath(*options.output)));
        frmQuiltwright form(tk::Drives::mounted(), "/");
        form.setHost(&host);
        form.Form_Load();
        form.dir.setPath(options.folder);
        form.cmdGetContents_Click();
        if (!form.cmdCombine.Enabled())
            throw tk::Error(tk::kFileNotFound, QStringLiteral("No bitmap files (*.bmp) in %1 or below it")
                                                   .arg(tk::displayPath(form.dir.Path())));
        form.txtWidth.setText(options.width);
        form.txtHeight.setText(options.height);
        form.chkDropFloor.setValue(options.dropToFloor ? 1 : 0);
        form.Jobs = options.jobs;
        form.Sheet = options.sheet;
        form.AtlasArray = options.atlasArray;
        form.NaturalOrder = options.naturalOrder;
        const std::string sheet = options.output.value_or(form.dir.Path() + (form.dir.Path() == "/" ? "" : "/") +
                                                          (options.sheet.png ? "Combined.png" : "Combined.bmp"));
        const std::optional<std::string>& data = options.atlas ? options.atlas : options.grid;
        if (data) {
            if (tk::normalizeFolder(*data) == tk::normalizeFolder(sheet))
                throw tk::Error(tk::kPathFileAccess, QStringLiteral("%1 names the sheet itself, %2; give the frame list "
                                                                    "a name of its own")
                                                         .arg(options.atlas ? "--atlas" : "--grid", tk::displayPath(sheet)));
            if (options.atlas) form.frameNames();  // a name no frame list can hold is refused before any work
        }
        if (data || toStandardOutput) {
            form.cmdCombine_Click();
            if (options.atlas) form.saveCanvasWithFrameList(sheet, *options.atlas);
            else if (options.grid) form.saveCanvasWithGrid(sheet, *options.grid);
            else form.saveCanvas(STDOUT_FILENO, "standard output");
        } else {
            form.combineAndSave(sheet);  // the sheet's rows are written while the rest is painted
        }
        return host.someFolderNotRead() ? 1 : 0;  // the sheet of what could be read is written, yet not all was
    } catch (const tk::Error& e) {
        fail(e);
    } catch (const storage::Failure& failure) {
        fail(tk::errorOf(failure));
    } catch (const std::bad_alloc&) {
        fail(tk::Error(tk::kOutOfMemory, QStringLiteral("Out of memory")));
    }
    return 1;
}

}  // namespace batch
