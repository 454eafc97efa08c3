// Pixel and twip conversions and the fold into rows: numbers in, numbers out.

#include "compose/Layout.h"
#include "compose/Units.h"
#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

#include <gtest/gtest.h>

using namespace compose;

TEST(Units, pixels_to_twips_rounds_the_product_to_single_precision) {
    EXPECT_EQ(PixelsToTwipsX(64), 960);
    EXPECT_EQ(PixelsToTwipsY(64), 960);
    EXPECT_EQ(PixelsToTwipsX(640), 9600);
    EXPECT_EQ(PixelsToTwipsX(0), 0);
    EXPECT_EQ(PixelsToTwipsX(-64), -960);
    EXPECT_EQ(PixelsToTwipsX(2147483647), 32212254720.0f);
    tk::Screen::setTwipsPerPixel(12, 12);
    EXPECT_EQ(PixelsToTwipsX(640), 7680);
    EXPECT_EQ(PixelsToTwipsY(10), 120);
    tk::Screen::setTwipsPerPixel(15, 15);
}

TEST(Units, twips_to_pixels_rounds_down_towards_minus_infinity) {
    EXPECT_EQ(TwipsToPixelsX(960), 64);
    EXPECT_EQ(TwipsToPixelsX(959), 63);
    EXPECT_EQ(TwipsToPixelsX(-1), -1);
    EXPECT_EQ(TwipsToPixelsY(15), 1);
    EXPECT_THROW(TwipsToPixelsX(1e12f), tk::Error);  // past the 32-bit range
    tk::Screen::setTwipsPerPixel(0, 0);
    EXPECT_THROW(TwipsToPixelsX(15), tk::Error);  // a factor of 0
    tk::Screen::setTwipsPerPixel(15, 15);
}

TEST(Fold, rows_of_at_most_640_pixels_for_the_known_grids) {
    const auto fold = [](int n, float w, float h) { return foldIntoRows(n, w, h, 9600); };
    EXPECT_EQ(fold(25, 960, 960).width, 9600);
    EXPECT_EQ(fold(25, 960, 960).height, 2880);
    EXPECT_EQ(fold(10, 960, 960).height, 960);   // exactly one row: no fold
    EXPECT_EQ(fold(11, 960, 960).height, 1920);
    EXPECT_EQ(fold(1, 960, 960).width, 960);
    EXPECT_EQ(fold(25, 1500, 1500).height, 6000);
    EXPECT_EQ(fold(3, 10500, 750).width, 9600);
    EXPECT_EQ(fold(3, 10500, 750).height, 3000);
    EXPECT_EQ(fold(4, 0, 960).width, 0);
    EXPECT_EQ(fold(3431, 960, 960).height, 330240);  // 344 rows
    EXPECT_EQ(fold(20, 960, 960).height, 1920);      // exactly two rows: the fold stops at 640 pixels
    EXPECT_EQ(fold(30, 960, 960).height, 2880);
}

TEST(Fold, the_canvas_has_a_row_for_every_whole_cell_the_painting_places) {
    struct Case {
        int n;
        float width, height, canvasWidth, canvasHeight;
    };
    for (const Case& c : {Case{25, 1500, 1500, 9600, 7500},   // 6 to a row: 5 rows where the fold gives 4
                          Case{24, 1500, 1500, 9600, 6000},   // 4 full rows: the fold's own size
                          Case{25, 960, 960, 9600, 2880},     // 64 pixels divide 640: unchanged
                          Case{3, 10500, 750, 9600, 3000},    // wider than a row: the fold's 4 rows stay
                          Case{7, 2895, 100, 9600, 300},      // 3 to a row: 3 rows
                          Case{4, 0, 960, 0, 960},            // no width: every cell at (0, 0)
                          Case{2, 960, 960, 1920, 960}}) {
        SCOPED_TRACE(testing::Message() << c.n << " cells of " << c.width << " x " << c.height);
        const CanvasSize size = canvasFor(c.n, c.width, c.height, 9600);
        EXPECT_EQ(size.width, c.canvasWidth);
        EXPECT_EQ(size.height, c.canvasHeight);
        // The last cell of the walk lies inside the canvas.
        CellWalk walk{c.width, c.height, size.width};
        for (int i = 1; i < c.n; ++i) walk.advance();
        EXPECT_LE(walk.y + c.height, size.height);
    }
}

TEST(Fold, huge_sizes_end_with_the_closed_form_row_count) {
    // 40,000 cells of two billion pixels: the step-by-step fold would never end.
    const CanvasSize size = foldIntoRows(40000, PixelsToTwipsX(2000000000), 960, 9600);
    EXPECT_EQ(size.width, 9600);
    EXPECT_NEAR(size.height, 960.0 * std::ceil(40000.0 * 3e10 / 9600), 1e13);
    EXPECT_THROW(foldIntoRows(40000, PixelsToTwipsX(2000000000), 3e30f, 9600), tk::Error);  // height past float
}

TEST(Fold, scroll_range_is_whole_ten_twip_steps_of_overhang) {
    EXPECT_EQ(scrollMax(9600, 9495), 10);
    EXPECT_EQ(scrollMax(2880, 1815), 106);
    EXPECT_EQ(scrollMax(330240, 1815), 32842);  // past 16 bits
    EXPECT_THROW(scrollMax(1e12f, 1815), tk::Error);
}
