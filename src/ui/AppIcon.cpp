#include "ui/AppIcon.h"

#include <QImage>
#include <QPixmap>

namespace {

QImage patchwork(int size) {
    // Colours from the 16-colour palette.
    static const QRgb kColours[] = {qRgb(0, 0, 128), qRgb(0, 128, 128), qRgb(128, 0, 0),   qRgb(0, 128, 0), qRgb(255, 255, 0),
                                    qRgb(0, 0, 255), qRgb(255, 0, 0),  qRgb(0, 255, 255), qRgb(128, 0, 128)};
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 0));
    const int cell = size / 3;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int cx = std::min(x / cell, 2), cy = std::min(y / cell, 2);
            const bool seam = x % cell == 0 || y % cell == 0;
            image.setPixel(x, y, seam ? qRgb(192, 192, 192) : kColours[cy * 3 + cx]);
        }
    return image;
}

}  // namespace

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(patchwork(32)));
    icon.addPixmap(QPixmap::fromImage(patchwork(16)));
    return icon;
}
