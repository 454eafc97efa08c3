#pragma once
// The screen's twips per pixel: 1440 / the screen's logical dots per inch (15 at 96 dpi).
// Read afresh at every use; the window sets it from its screen, tests set it directly.

namespace tk {

struct Screen {
    static float TwipsPerPixelX();
    static float TwipsPerPixelY();
    static void setTwipsPerPixel(float x, float y);
    static void setLogicalDpi(double dpiX, double dpiY);
};

}  // namespace tk
