#pragma once
// Message boxes, the error report, the busy cursor and the progress window, with Qt dialogs.

#include "form/FormHost.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

class WidgetHost : public FormHost {
public:
    explicit WidgetHost(QWidget* window) : m_window(window) {}
    ~WidgetHost() override;

    void MsgBox(const QString& prompt, int style, const QString& title) override;
    void beginLongCommand(const QString& title) override;
    bool reportProgress(const QString& text, int64_t done, int64_t total) override;
    void endLongCommand() override;

    // The error report: number and description in a message box; the program goes on.
    void reportError(int number, const QString& description);

    // How long a command runs before the progress window shows (about a second).
    void setProgressDelay(int milliseconds) { m_progressDelay = milliseconds; }
    QProgressDialog* progressDialog() const { return m_progress; }

private:
    QWidget* m_window;
    QString m_title;
    QElapsedTimer m_started;
    QElapsedTimer m_lastUpdate;
    QPointer<QProgressDialog> m_progress;
    int m_progressDelay = 1000;
    int m_depth = 0;
};
