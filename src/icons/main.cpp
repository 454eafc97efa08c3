// quiltwright-icons DIR: writes the theme icons the install puts in place, from the same drawing
// as the window's icon: DIR/SIZExSIZE/apps/NAME.png for each size, and DIR/scalable/apps/NAME.svg.

#include "ui/AppIcon.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: quiltwright-icons DIR ICON-NAME\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (const int size : kIconSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(folder) || !appIconImage(size).save(folder + "/" + name + ".png", "PNG")) {
            std::fprintf(stderr, "quiltwright-icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    QDir().mkpath(root + "/scalable/apps");
    QFile svg(root + "/scalable/apps/" + name + ".svg");
    if (!svg.open(QIODevice::WriteOnly) || svg.write(appIconSvg()) < 0) {
        std::fprintf(stderr, "quiltwright-icons: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    return 0;
}
