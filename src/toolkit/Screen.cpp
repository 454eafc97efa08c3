#include "toolkit/Screen.h"

#include <QScreen>

#include <cmath>

namespace tk {
namespace {
float g_twipsPerPixelX = 15.0f;
float g_twipsPerPixelY = 15.0f;
double g_devicePixelRatio = 1.0;
}  // namespace

float Screen::TwipsPerPixelX() { return g_twipsPerPixelX; }
float Screen::TwipsPerPixelY() { return g_twipsPerPixelY; }
double Screen::DevicePixelRatio() { return g_devicePixelRatio; }

void Screen::setTwipsPerPixel(float x, float y) {
    g_twipsPerPixelX = x;
    g_twipsPerPixelY = y;
}

void Screen::setDevicePixelRatio(double ratio) {
    if (ratio > 0) g_devicePixelRatio = ratio;
}

double wholeWithinRounding(double value) {
    const double whole = std::round(value);
    return std::abs(value - whole) <= std::abs(value) * (1.0 / (1 << 22)) ? whole : value;
}

void Screen::readFrom(const QScreen& screen) {
    const double ratio = screen.devicePixelRatio();
    const double dpiX = screen.logicalDotsPerInchX(), dpiY = screen.logicalDotsPerInchY();
    if (!(ratio > 0 && dpiX > 0 && dpiY > 0)) return;
    setDevicePixelRatio(ratio);
    setTwipsPerPixel(static_cast<float>(1440.0 / (dpiX * ratio)), static_cast<float>(1440.0 / (dpiY * ratio)));
}

}  // namespace tk
