// Sizes far from the usual: each works or fails with a clear message, quickly.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"

#include <gtest/gtest.h>

TEST(Scale, folders_nested_a_thousand_deep_are_walked) {
    TempTree tree;
    std::string deep;
    for (int i = 0; i < 1000; ++i) deep += "d/";
    tree.addFile(deep + "bottom.bmp", solidBmp(1, 1, 0x00FF00));
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    ASSERT_EQ(w.form().piclist.ListCount(), 1);
    w.click(QStringLiteral("cmdCombine"));
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(rgbAt(w.form().picMain.persistentImage(), 0, 0), 0x00FF00u);
}

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
    ASSERT_EQ(canvas.height, 7 * 4000);  // 60,000 twips folded into rows of 9,600: 7 rows
    EXPECT_EQ(rgbAt(canvas, 100, 3999), 0xFF0000u);  // content row 3000 dropped onto the bottom
    EXPECT_EQ(rgbAt(canvas, 100, 3000), 0xFFFFFFu);
}

TEST(Scale, a_typed_size_of_two_billion_fails_at_once_with_a_clear_message) {
    TempTree tree;
    tree.addFile("a.bmp", solidBmp(4, 4, 0xFF0000));
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    w.type(QStringLiteral("txtWidth"), QStringLiteral("2000000000"));
    w.type(QStringLiteral("txtHeight"), QStringLiteral("2000000000"));
    w.click(QStringLiteral("cmdCombine"));
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.lastMessageText().startsWith(QStringLiteral("Error 7"))) << w.lastMessageText().toStdString();
    EXPECT_TRUE(w.lastMessageText().contains(QStringLiteral("larger than this program can hold")));
    EXPECT_EQ(w.form().picMain.Width(), 9855);
}
