// Pixel and twip conversions and the grid: numbers in, numbers out.

#include "compose/Layout.h"
#include "compose/Units.h"
#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

#include <gtest/gtest.h>

#include <cmath>

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

TEST(Units, every_length_in_whole_pixels_comes_back_whole_at_every_screen_factor) {
    // Every pixel count a sheet uses (cell sizes, places, the canvas) turned into twips and back
    // is itself at every factor users have, whole or not; and twips short of n pixels by the
    // least a float can be short are n - 1 pixels, never rounded up to n.
    for (const float factor : {15.0f, 13.6363636f, 12.0f, 10.0f, 8.5714286f, 7.5f, 6.6666667f, 6.0f}) {
        tk::Screen::setTwipsPerPixel(factor, factor * 1.1f);
        for (int32_t pixels = 0; pixels <= 200000; ++pixels) {
            const float across = PixelsToTwipsX(pixels), down = PixelsToTwipsY(pixels);
            ASSERT_EQ(TwipsToPixelsX(across), pixels) << factor;
            ASSERT_EQ(TwipsToPixelsY(down), pixels) << factor;
            ASSERT_EQ(tk::pixelsIn(across, factor), pixels) << factor;
            if (pixels > 0) {
                ASSERT_EQ(TwipsToPixelsX(std::nextafter(across, 0.0f)), pixels - 1) << factor << " " << pixels;
            }
        }
    }
    tk::Screen::setTwipsPerPixel(15, 15);
    EXPECT_EQ(TwipsToPixelsX(14999.997f), 999);
}

TEST(Grid, every_cell_size_places_every_cell_as_a_walk_along_the_rows_does) {
    // A second route: walk the cells one by one, a new row whenever the next would pass 640
    // pixels. For every width up to past a row, and cells far wider, the grid puts every cell
    // where the walk does, inside the canvas, and the canvas has not one row more than the last
    // cell needs (3,431 cells make more rows than 16-bit scroll units reach).
    std::vector<int64_t> widths = {100000, 2000000000};
    for (int64_t width = 1; width <= 700; ++width) widths.push_back(width);
    for (const int64_t width : widths)
        for (const int64_t n : {int64_t{1}, 640 / width, 640 / width + 1, int64_t{25}, int64_t{3431}}) {
            if (n < 1) continue;
            const Grid grid = gridFor(n, width, 7, 640);
            int64_t x = 0, y = 0;
            for (int64_t p = 0; p < n; ++p) {
                if (x > 0 && x + width > 640) x = 0, y += 7;
                ASSERT_EQ(grid.left(p), x) << width << " wide, cell " << p;
                ASSERT_EQ(grid.top(p), y) << width << " wide, cell " << p;
                ASSERT_LT(grid.left(p), grid.width);
                x += width;
            }
            ASSERT_EQ(grid.height, y + 7) << width << " wide, " << n << " cells";
            ASSERT_EQ(grid.width, std::min<int64_t>(n * width, 640));
        }
}

TEST(Grid, scroll_range_brings_the_far_edge_into_the_area_shown) {
    EXPECT_EQ(scrollMax(9600, 9435), 17);   // 16.5 steps: the last half step counts
    EXPECT_EQ(scrollMax(2880, 1755), 113);
    EXPECT_EQ(scrollMax(2880, 2870), 1);
    EXPECT_EQ(scrollMax(330240, 1755), 32849);  // past 16 bits
    EXPECT_THROW(scrollMax(1e12f, 1815), tk::Error);
    // At every screen factor: the last step reaches the far edge, and one step fewer does not.
    for (const float factor : {15.0f, 13.6363640f, 12.0f, 10.0f, 8.5714283f, 7.5f, 6.6666665f})
        for (int canvas = 1; canvas <= 700; canvas += 7)
            for (int shown = 1; shown < canvas; shown += 13) {
                const float c = static_cast<float>(canvas) * factor, v = static_cast<float>(shown) * factor;
                const int32_t steps = scrollMax(c, v);
                ASSERT_GE(double(steps) * 10 + v, c) << factor << ": " << canvas << " over " << shown;
                ASSERT_LT(double(steps - 1) * 10 + v, c) << factor << ": " << canvas << " over " << shown;
            }
}
