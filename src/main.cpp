// Kestrune Quiltwright: combines multiple BMPs into a single BMP.

#include "form/Form.h"
#include "ui/MainWindow.h"
#include "toolkit/Screen.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune Quiltwright"));
    QApplication::setApplicationVersion(QStringLiteral("1.02"));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        tk::Screen::setLogicalDpi(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());

    frmQuiltwright form;
    MainWindow window(form);
    window.show();
    return QApplication::exec();
}
