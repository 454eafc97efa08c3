#pragma once
// The screen's twips per pixel. A picture pixel is one device pixel, so the factors count device
// pixels: 1440 / (the screen's logical dots per inch x its device pixel ratio), 15 at 96 dpi and
// a ratio of 1, 12 at a ratio of 1.25. Read afresh at every use; the window sets them from its
// screen (and again when it moves to another one), tests set them directly. Widgets, which Qt
// places in logical pixels, divide twips by the factor times the ratio.

class QScreen;

namespace tk {

struct Screen {
    static float TwipsPerPixelX();
    static float TwipsPerPixelY();
    static double DevicePixelRatio();
    static void setTwipsPerPixel(float x, float y);
    static void setDevicePixelRatio(double ratio);
    static void readFrom(const QScreen& screen);
};

}  // namespace tk
