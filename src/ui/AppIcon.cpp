#include "ui/AppIcon.h"

#include <QColor>
#include <QPixmap>

#include <algorithm>

namespace {

// Cell colours, row by row, from the 16-colour palette; the seams are light grey.
constexpr QRgb kColours[] = {qRgb(0, 0, 128), qRgb(0, 128, 128), qRgb(128, 0, 0),   qRgb(0, 128, 0), qRgb(255, 255, 0),
                             qRgb(0, 0, 255), qRgb(255, 0, 0),  qRgb(0, 255, 255), qRgb(128, 0, 128)};
constexpr QRgb kSeam = qRgb(192, 192, 192);

}  // namespace

QImage appIconImage(int size) {
    QImage image(size, size, QImage::Format_RGB32);
    const int cell = std::max(1, size / 3);
    const int seam = std::max(1, size / 48);  // one pixel up to 95 px, thicker on large icons
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int cx = std::min(x / cell, 2), cy = std::min(y / cell, 2);
            const bool onSeam = x % cell < seam || y % cell < seam;
            image.setPixel(x, y, onSeam ? kSeam : kColours[cy * 3 + cx]);
        }
    return image;
}

QByteArray appIconSvg() {
    // 48 units across: cells of 16 with a seam of 1 along their top and left edges.
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">\n"
                     "  <rect width=\"48\" height=\"48\" fill=\"#c0c0c0\"/>\n";
    for (int i = 0; i < 9; ++i) {
        const int x = (i % 3) * 16 + 1, y = (i / 3) * 16 + 1;
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"15\" height=\"15\" fill=\"%3\"/>\n")
                   .arg(x).arg(y).arg(QColor(kColours[i]).name()).toUtf8();
    }
    svg += "</svg>\n";
    return svg;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : kIconSizes) icon.addPixmap(QPixmap::fromImage(appIconImage(size)));
    return icon;
}
