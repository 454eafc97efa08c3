#include "toolkit/Screen.h"

namespace tk {
namespace {
float g_twipsPerPixelX = 15.0f;
float g_twipsPerPixelY = 15.0f;
}  // namespace

float Screen::TwipsPerPixelX() { return g_twipsPerPixelX; }
float Screen::TwipsPerPixelY() { return g_twipsPerPixelY; }

void Screen::setTwipsPerPixel(float x, float y) {
    g_twipsPerPixelX = x;
    g_twipsPerPixelY = y;
}

void Screen::setLogicalDpi(double dpiX, double dpiY) {
    if (dpiX > 0 && dpiY > 0) setTwipsPerPixel(static_cast<float>(1440.0 / dpiX), static_cast<float>(1440.0 / dpiY));
}

}  // namespace tk
