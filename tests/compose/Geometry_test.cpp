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
