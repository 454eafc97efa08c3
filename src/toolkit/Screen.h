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

// A count of pixels (or scroll units) worked out from single-precision twips: a value within the
// float's rounding of a whole number is that number (64 x 8.5714... twips is not exact in a
// float), so every factor, whole or not, gives the counts a whole factor gives.
double wholeWithinRounding(double value);

}  // namespace tk
