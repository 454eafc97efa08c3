// Sizes far from the usual: each works or fails with a clear message, quickly.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"

#include <gtest/gtest.h>

TEST(Scale, a_cell_of_4000_pixels_with_drop_to_floor) {
    TempTree tree;
    tree.addFile("big.bmp", bmp24(4000, 4000, [](int, int y) { return y == 3000 ? 0xFF0000u : 0xFFFFFFu; }));
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    w.type(QStringLiteral("txtWidth"), QStringLiteral("4000"));
    w.type(QStringLiteral("txtHeight"), QStringLiteral("4000"));
    w.tick(true);
    w.click(QStringLiteral("cmdCombine"));
    EXPECT_TRUE(w.messages.empty());
    const bmp::Image& canvas = w.form().picMain.persistentImage();
    ASSERT_EQ(canvas.width, 640);  // the cell is cut at the canvas's right edge
    ASSERT_EQ(canvas.height, 4000);  // one row: the one cell
    EXPECT_EQ(rgbAt(canvas, 100, 3999), 0xFF0000u);  // content row 3000 dropped onto the bottom
    EXPECT_EQ(rgbAt(canvas, 100, 3000), 0xFFFFFFu);
}
