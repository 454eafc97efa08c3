// Drop to floor: each picture's content lowered onto its cell's bottom edge, in the real window.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "toolkit/Screen.h"

#include <QSize>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF;

// Combines the given pictures (named in list order) with "Drop to floor" ticked or not.
struct Dropped {
    TempTree tree;
    WindowDriver window;
    Dropped(const std::vector<std::vector<uint8_t>>& pictures, bool drop = true, const QString& height = "64")
        : window((add(tree, pictures), tree.root())) {
        window.click(QStringLiteral("cmdGetContents"));
        window.tick(drop);
        window.type(QStringLiteral("txtHeight"), height);
        window.click(QStringLiteral("cmdCombine"));
    }
    static void add(const TempTree& tree, const std::vector<std::vector<uint8_t>>& pictures) {
        for (size_t i = 0; i < pictures.size(); ++i) tree.addFile("p" + std::to_string(i) + ".bmp", pictures[i]);
    }
    uint32_t at(int x, int y) { return rgbAt(window.form().picMain.persistentImage(), x, y); }
};

// A background colour (white unless told), with rows first..last (inclusive) red.
std::vector<uint8_t> band(int size, int first, int last, uint32_t background = kWhite) {
    return bmp24(size, size, [=](int, int y) { return y >= first && y <= last ? kRed : background; });
}

}  // namespace

TEST(DropToFloor, content_rows_land_on_the_cells_bottom_edge) {
    // A background whose red and blue differ tells the colour's channels apart.
    for (const uint32_t background : {kWhite, 0x3366CCu}) {
        SCOPED_TRACE(background);
        Dropped d({band(64, 10, 40, background)});
        // 41 content rows: a drop of 23 pixels; picture rows 10..40 show in cell rows 33..63.
        for (int y = 0; y < 33; ++y) EXPECT_EQ(d.at(0, y), background) << y;
        for (int y = 33; y < 64; ++y) EXPECT_EQ(d.at(63, y), kRed) << y;
    }
}

TEST(DropToFloor, content_down_to_the_bottom_or_one_colour_draws_as_plain_mode_does) {
    const auto toBottom = band(64, 10, 63);
    const auto plainColour = solidBmp(64, 64, kBlue);
    Dropped dropped({toBottom, plainColour});
    Dropped plain({toBottom, plainColour}, false);
    const bmp::Image& a = dropped.window.form().picMain.persistentImage();
    const bmp::Image& b = plain.window.form().picMain.persistentImage();
    ASSERT_EQ(a.width, b.width);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) ASSERT_EQ(rgbAt(a, x, y), rgbAt(b, x, y)) << x << "," << y;
}

TEST(DropToFloor, content_only_in_the_top_row_ends_on_the_bottom_row) {
    Dropped d({band(64, 0, 0)});  // the top-left pixel is red: red is the background
    // Every row holds white, which differs from the red background: no drop at all.
    EXPECT_EQ(d.at(0, 0), kRed);
    EXPECT_EQ(d.at(0, 1), kWhite);

    Dropped e({bmp24(64, 64, [](int x, int y) { return y == 0 && x > 0 ? kRed : kWhite; })});
    for (int y = 0; y < 63; ++y) EXPECT_EQ(e.at(5, y), kWhite) << y;
    EXPECT_EQ(e.at(5, 63), kRed);
    EXPECT_EQ(e.at(0, 63), kWhite);
}

TEST(DropToFloor, a_larger_picture_is_analysed_at_cell_size_and_drawn_at_its_own) {
    // 128 x 128, red in rows 20..81: the 64 x 64 scratch copy has 41 content rows, so the top 41
    // rows of the picture, unscaled, end on the cell's bottom edge; the rest is cut.
    Dropped d({band(128, 20, 81)});
    for (int y = 0; y < 43; ++y) EXPECT_EQ(d.at(10, y), kWhite) << y;  // picture rows 0..19 at 23..42
    for (int y = 43; y < 64; ++y) EXPECT_EQ(d.at(10, y), kRed) << y;
}

TEST(DropToFloor, a_cell_one_pixel_high_draws_the_top_row_where_it_is) {
    Dropped d({bmp24(64, 4, [](int, int y) { return y == 0 ? kBlue : kRed; })}, true, "1");
    EXPECT_EQ(d.window.form().picMain.persistentImage().height, 1);
    EXPECT_EQ(d.at(0, 0), kBlue);
}

TEST(DropToFloor, a_wider_picture_reaches_into_the_next_cell_which_is_painted_after_it) {
    // Picture 0 is 128 wide; its right half lands in cell 1 and is then covered by picture 1.
    Dropped d({bmp24(128, 64, [](int, int y) { return y >= 40 ? kRed : kWhite; }), solidBmp(64, 64, kBlue)});
    EXPECT_EQ(d.at(30, 63), kRed);
    EXPECT_EQ(d.at(70, 63), kBlue);
}

TEST(DropToFloor, unticked_the_scratch_box_is_never_touched) {
    Dropped d({band(64, 10, 40)}, false);
    const bmp::Image& scratch = d.window.form().tmpPic.persistentImage();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(rgbAt(scratch, x, y), 0u);
    EXPECT_EQ(d.at(0, 10), kRed);  // plain: stretched to the cell, not lowered
}

TEST(DropToFloor, cells_larger_than_the_scratch_box_are_scanned_whole) {
    // 600 x 300 pixels is larger than the scratch box's design size (509 x 221 inside its frame).
    const auto tall = bmp24(600, 300, [](int, int y) { return y >= 280 ? kWhite : (y == 250 ? kRed : kWhite); });
    Dropped d({tall}, true, "300");
    d.window.type(QStringLiteral("txtWidth"), QStringLiteral("600"));
    d.window.click(QStringLiteral("cmdCombine"));
    // Content row 250 of 300: dropped by 49 pixels onto the bottom row.
    EXPECT_EQ(d.at(550, 299), kRed);
    EXPECT_EQ(d.at(550, 250), kWhite);
    EXPECT_TRUE(d.window.messages.empty());
}

TEST(DropToFloor, every_screen_factor_paints_the_sheet_of_a_whole_factor) {
    // Sprites of the cell's size and of others, in cells that divide 640 and that do not.
    TempTree tree;
    tree.addFile("a.bmp", band(64, 10, 40));
    tree.addFile("b.bmp", bmp24(48, 80, [](int x, int y) { return y > 60 && x > 5 ? kRed : kWhite; }));
    tree.addFile("c.bmp", bmp24(100, 30, [](int x, int y) { return (x + y) % 7 ? kBlue : kWhite; }));
    tree.addFile("d.bmp", solidBmp(20, 20, kBlue));
    for (int i = 0; i < 14; ++i) tree.addFile("e" + std::to_string(10 + i) + ".bmp", band(32, i, i + 5));
    const auto sheet = [&](float factor, bool drop, const QString& width, const QString& height) {
        tk::Screen::setTwipsPerPixel(factor, factor);
        WindowDriver w(tree.root());
        w.click(QStringLiteral("cmdGetContents"));
        w.tick(drop);
        w.type(QStringLiteral("txtWidth"), width);
        w.type(QStringLiteral("txtHeight"), height);
        w.click(QStringLiteral("cmdCombine"));
        EXPECT_TRUE(w.messages.empty());
        tk::Screen::setTwipsPerPixel(15, 15);
        const bmp::Image& canvas = w.form().picMain.persistentImage();
        return std::pair{QSize(canvas.width, canvas.height),
                         std::vector<uint32_t>(canvas.pixels.get(), canvas.pixels.get() + size_t(canvas.width) * canvas.height)};
    };
    // Scales 1, 1.25, 1.5, 1.75, 2, 2.5 and 3 at 96 dots per inch.
    for (const float factor : {12.0f, 10.0f, static_cast<float>(1440.0 / 168), 7.5f, 6.0f, 5.0f})
        for (const bool drop : {false, true})
            for (const auto& [width, height] : {std::pair{"64", "64"}, {"37", "23"}}) {
                SCOPED_TRACE(testing::Message() << factor << " twips a pixel, drop " << drop << ", " << width << " x " << height);
                const auto expected = sheet(15, drop, width, height);
                const auto got = sheet(factor, drop, width, height);
                EXPECT_EQ(got.first, expected.first);
                const auto differ = std::mismatch(got.second.begin(), got.second.end(), expected.second.begin(), expected.second.end());
                EXPECT_TRUE(differ.first == got.second.end()) << "the pixels differ at " << (differ.first - got.second.begin());
            }
}
