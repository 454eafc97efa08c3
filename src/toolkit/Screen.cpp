#include "toolkit/Screen.h"


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

}  // namespace tk
