#include "batch/BatchRun.h"

#include "form/Form.h"
#include "toolkit/Errors.h"

#include <QElapsedTimer>

#include <cstdio>
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
    void endLongCommand() override {
        if (m_dirty) std::fputc('\n', stderr);
        m_dirty = false;
    }

private:
    bool m_progress;
    bool m_dirty = false;
    QElapsedTimer m_timer;
};

void fail(const tk::Error& e) {
    std::fprintf(stderr, "%s\n", tk::errorReportText(e.number(), e.description()).toLocal8Bit().constData());
}

}  // namespace

int run(const Options& options) {
    StderrHost host(options.progress);
    try {
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
        form.cmdCombine_Click();
        if (options.output) form.saveCanvas(*options.output);
        else form.cmdSave_Click();
        return 0;
    } catch (const tk::Error& e) {
        fail(e);
    } catch (const std::bad_alloc&) {
        fail(tk::Error(tk::kOutOfMemory, QStringLiteral("Out of memory")));
    }
    return 1;
}

}  // namespace batch
