#pragma once

#include <QIcon>

// The window's icon, 32 and 16 pixels, 16 colours: a 3 x 3 patchwork of sprite cells.
QIcon appIcon();
