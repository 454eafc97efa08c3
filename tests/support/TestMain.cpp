// Test main: Qt runs offscreen (no display needed) and at 96 dpi, 15 twips per pixel.

#include "toolkit/Screen.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tk::Screen::setTwipsPerPixel(15, 15);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
