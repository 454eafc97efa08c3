#include "ui/WidgetHost.h"

#include "form/Form.h"
#include "toolkit/Errors.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>

namespace {
constexpr int kExclamation = 48;
constexpr int kInformation = 64;
constexpr int kProgressRefreshMs = 50;
}  // namespace

WidgetHost::~WidgetHost() { delete m_progress; }

void WidgetHost::MsgBox(const QString& prompt, int style, const QString& title) {
    QMessageBox box(m_window);
    box.setWindowTitle(title);
    box.setText(prompt);
    const int icon = style & 0x70;
    box.setIcon(icon == kInformation ? QMessageBox::Information : icon == kExclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void WidgetHost::reportError(int number, const QString& description) {
    QMessageBox box(m_window);
    box.setWindowTitle(QString::fromLatin1(frmQuiltwright::kCaption));
    box.setIcon(QMessageBox::Critical);
    box.setText(tk::errorReportText(number, description));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void WidgetHost::beginLongCommand(const QString& title) {
    if (m_depth++ > 0) return;
    m_title = title;
    m_started.start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

bool WidgetHost::reportProgress(const QString& text, int64_t done, int64_t total) {
    if (m_depth == 0 || m_started.elapsed() < m_progressDelay) return true;
    if (!m_progress) {
        m_progress = new QProgressDialog(m_window);
        m_progress->setWindowTitle(m_title);
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setCancelButtonText(QStringLiteral("Cancel"));
        m_progress->show();
        m_lastUpdate.invalidate();
    }
    if (!m_lastUpdate.isValid() || m_lastUpdate.elapsed() >= kProgressRefreshMs || done == total) {
        m_lastUpdate.start();
        m_progress->setLabelText(text);
        // Progress windows count in int; a count past that range is shown as a fraction.
        if (total > 0) {
            m_progress->setRange(0, 1000);
            m_progress->setValue(static_cast<int>(done * 1000 / total));
        } else {
            m_progress->setRange(0, 0);
        }
        QApplication::processEvents();
    }
    return !m_progress->wasCanceled();
}

void WidgetHost::endLongCommand() {
    if (--m_depth > 0) return;
    delete m_progress;
    QApplication::restoreOverrideCursor();
}
