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
    // Four seams, the outer two on the icon's edges, so the border is as wide on every side.
    QImage image(size, size, QImage::Format_RGB32);
    const int seam = std::max(1, size / 48);  // one pixel up to 95 px, thicker on large icons
    const auto seamAt = [&](int i) { return (i * (size - seam) + 1) / 3; };  // i = 0..3
    const auto place = [&](int v) {  // the cell a coordinate lies in, or -1 on a seam
        for (int i = 0; i < 4; ++i)
            if (v >= seamAt(i) && v < seamAt(i) + seam) return -1;
        return v < seamAt(1) ? 0 : v < seamAt(2) ? 1 : 2;
    };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int cx = place(x), cy = place(y);
            image.setPixel(x, y, cx < 0 || cy < 0 ? kSeam : kColours[cy * 3 + cx]);
        }
    return image;
}

QByteArray appIconSvg() {
    // 49 units across: cells of 15 between seams of 1, the outer seams on every edge.
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 49 49\">\n"
                     "  <rect width=\"49\" height=\"49\" fill=\"#c0c0c0\"/>\n";
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
