#include "toolkit/Screen.h"


#include <cmath>
#include <utility>

namespace tk {
namespace {
float g_twipsPerPixelX = 15.0f;
float g_twipsPerPixelY = 15.0f;
double g_devicePixelRatio = 1.0;
int g_held = 0;  // Screen::Held objects alive (on the user-interface thread)
float g_keptX = 0, g_keptY = 0;  // factors set while held; 0: none
double g_keptRatio = 0;
}  // namespace

float Screen::TwipsPerPixelX() { return g_twipsPerPixelX; }
float Screen::TwipsPerPixelY() { return g_twipsPerPixelY; }
double Screen::DevicePixelRatio() { return g_devicePixelRatio; }

void Screen::setTwipsPerPixel(float x, float y) {
    if (g_held > 0) {
        g_keptX = x, g_keptY = y;
        return;
    }
    g_twipsPerPixelX = x;
    g_twipsPerPixelY = y;
}

void Screen::setDevicePixelRatio(double ratio) {
    if (!(ratio > 0)) return;
    if (g_held > 0) g_keptRatio = ratio;
    else g_devicePixelRatio = ratio;
}

Screen::Held::Held() { ++g_held; }

Screen::Held::~Held() {
    if (--g_held > 0) return;
    if (g_keptX > 0) setTwipsPerPixel(std::exchange(g_keptX, 0.0f), std::exchange(g_keptY, 0.0f));
    if (g_keptRatio > 0) setDevicePixelRatio(std::exchange(g_keptRatio, 0.0));
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
