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
    static void readFrom(const QScreen& screen);  // with the window (src/ui), which loads Qt's GUI module

    // While one lives (a Combine, whose painting threads read the factors), new factors are kept
    // and take effect once the last one is gone: a run reads one set of factors from start to end.
    class Held {
    public:
        Held();
        ~Held();
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
    };
};

// How many pixels of factor twips each a length of twips holds: the whole number n when n x factor,
// rounded to single precision as every length in twips is, gives exactly these twips (64 x
// 8.5714... is not exact in a float, yet it is 64 pixels); otherwise the plain quotient (14999.997
// twips at 15 is 999.9998, less than 1000 pixels). So every factor, whole or not, gives the counts
// a whole factor gives, and no length that is not a whole number of pixels is taken for one.
double pixelsIn(float twips, double factor);

// Logical pixels (where Qt places widgets) that a length of twips spans, to the nearest whole one.
int logicalPixelsX(float twips);
int logicalPixelsY(float twips);

}  // namespace tk
