// Test main: Qt runs offscreen (no display needed) and at 96 dpi, 15 twips per pixel, unless a
// run asks for another screen scale.

#include "toolkit/Screen.h"

#include <QApplication>
#include <QScreen>
#include <gtest/gtest.h>

#include <sys/stat.h>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's runtime folder in the build tree: a test run leaves nothing in /tmp.
    ::mkdir(QW_RUNTIME_DIR, 0700);
    qputenv("XDG_RUNTIME_DIR", QW_RUNTIME_DIR);
    QApplication app(argc, argv);
    tk::Screen::setTwipsPerPixel(15, 15);
    // Runs at another screen scale (QT_SCALE_FACTOR) take the screen's factors, as the program does.
    if (!qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) tk::Screen::readFrom(*QGuiApplication::primaryScreen());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
