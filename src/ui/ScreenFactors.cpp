// The screen's factors read off Qt's screen: here, with the window, so that the batch tool never
// loads Qt's GUI module.

#include "toolkit/Screen.h"

#include <QScreen>

namespace tk {

void Screen::readFrom(const QScreen& screen) {
    const double ratio = screen.devicePixelRatio();
    const double dpiX = screen.logicalDotsPerInchX(), dpiY = screen.logicalDotsPerInchY();
    if (!(ratio > 0 && dpiX > 0 && dpiY > 0)) return;
    setDevicePixelRatio(ratio);
    setTwipsPerPixel(static_cast<float>(1440.0 / (dpiX * ratio)), static_cast<float>(1440.0 / (dpiY * ratio)));
}

}  // namespace tk
