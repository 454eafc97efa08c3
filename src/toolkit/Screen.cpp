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

double pixelsIn(float twips, double factor) {
    const double quotient = static_cast<double>(twips) / factor;
    const double whole = std::round(quotient);
    return static_cast<float>(whole * factor) == twips ? whole : quotient;
}

int logicalPixelsX(float twips) {
    return static_cast<int>(std::lround(twips / (static_cast<double>(Screen::TwipsPerPixelX()) * g_devicePixelRatio)));
}

int logicalPixelsY(float twips) {
    return static_cast<int>(std::lround(twips / (static_cast<double>(Screen::TwipsPerPixelY()) * g_devicePixelRatio)));
}

void Screen::readFrom(const QScreen& screen) {
    const double ratio = screen.devicePixelRatio();
    const double dpiX = screen.logicalDotsPerInchX(), dpiY = screen.logicalDotsPerInchY();
    if (!(ratio > 0 && dpiX > 0 && dpiY > 0)) return;
    setDevicePixelRatio(ratio);
    setTwipsPerPixel(static_cast<float>(1440.0 / (dpiX * ratio)), static_cast<float>(1440.0 / (dpiY * ratio)));
}

}  // namespace tk
