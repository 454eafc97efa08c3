#pragma once
// The program's icon: a 3 x 3 patchwork of sprite cells in the 16-colour palette, with light
// seams. One drawing serves the window (every size it may need, so it stays sharp at any screen
// scale) and the installed theme icons (PNG at each size, and SVG), which the build makes with
// quiltwright-icons.

#include <QByteArray>
#include <QIcon>
#include <QImage>

// Sizes the window icon carries and the theme gets as PNG.
inline constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

QImage appIconImage(int size);
QByteArray appIconSvg();
QIcon appIcon();
