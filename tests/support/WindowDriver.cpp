#include "support/WindowDriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

WindowDriver::WindowDriver(const std::string& folder, const std::string& extraDrive, const QString& label) {
    std::vector<tk::DriveEntry> drives{{"/", QStringLiteral("/")}};
    if (!extraDrive.empty())
        drives.push_back({extraDrive, QString::fromStdString(extraDrive) + (label.isEmpty() ? QString() : " [" + label + "]")});
    m_form = std::make_unique<frmQuiltwright>(drives, folder);
    m_window = std::make_unique<MainWindow>(*m_form);
    m_window->show();
    settle();
}

WindowDriver::~WindowDriver() {
    m_window.reset();
    m_form.reset();
}

void WindowDriver::act(const std::function<void()>& action) {
    // Message boxes are modal: answer each one from inside its own event loop.
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        messages.push_back({box->windowTitle(), box->text(), static_cast<int>(box->icon())});
        box->button(QMessageBox::Ok)->click();
    });
    answer.start();
    action();
    answer.stop();
    settle();
}

void WindowDriver::click(const QString& buttonName) {
    act([&] { QTest::mouseClick(widget<QPushButton>(buttonName), Qt::LeftButton); });
}

int WindowDriver::clickAndCancel(const QString& buttonName) {
    m_window->host().setProgressDelay(0);
    int seen = 0;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (auto* progress = m_window->host().progressDialog(); progress && progress->isVisible() && ++seen == 1)
            progress->cancel();
    });
    cancel.start(0);
    click(buttonName);
    cancel.stop();
    m_window->host().setProgressDelay(1000);
    return seen;
}

void WindowDriver::type(const QString& textBoxName, const QString& text) {
    QLineEdit* edit = widget<QLineEdit>(textBoxName);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void WindowDriver::tick(bool checked) {
    QCheckBox* box = widget<QCheckBox>(QStringLiteral("chkDropFloor"));
    if (box->isChecked() != checked) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
}

void WindowDriver::openFolder(const std::string& folder) {
    m_form->dir.setPath(folder);
    settle();
}

void WindowDriver::settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

uint32_t rgbAt(const bmp::Image& image, int x, int y) { return image.row(y)[x] & 0xFFFFFFu; }
