// The sheet's layout where it lives: generated options (cell, margin, spacing, columns, widths,
// pages, powers of two) and counts; every page within its limits, every cell whole on its page
// (or cut only at a sheet narrower than one cell), apart from the others, and every picture on
// exactly one page, in order.

#include "compose/Sheet.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

TEST(Sheet, pages_hold_every_picture_once_in_cells_apart_and_within_their_limits) {
    std::mt19937 random(39);
    for (int c = 0; c < 400; ++c) {
        compose::SheetOptions o;
        o.cellWidth = 1 + random() % 90, o.cellHeight = 1 + random() % 90, o.margin = random() % 6, o.spacing = random() % 6;
        o.columns = c % 3 == 0 ? 1 + random() % 12 : 0, o.maxWidth = 1 + random() % 900, o.maxHeight = c % 4 ? 1 + random() % 400 : 0;
        o.pot = c % 5 == 1;
        const int64_t count = 1 + random() % 200;
        SCOPED_TRACE(testing::Message() << "case " << c);
        if (!compose::noRoomForACell(o).empty() || !compose::noRoomOnAPage(o).empty()) continue;
        int64_t next = 0;
        for (const compose::Page& page : compose::pagesOf(o, count)) {
            const compose::Grid& g = page.grid;
            ASSERT_EQ(page.first, next);
            next += page.count;
            EXPECT_TRUE(o.columns || g.width <= o.maxWidth || (o.margin == 0 && g.width == std::min<int64_t>(o.maxWidth, o.cellWidth)) || o.cellWidth > o.maxWidth)
                << g.width << " wide";
            EXPECT_TRUE(!o.maxHeight || g.height <= o.maxHeight) << g.height << " tall";
            EXPECT_TRUE(!o.pot || (std::has_single_bit(uint64_t(g.width)) && std::has_single_bit(uint64_t(g.height))));
            for (int64_t p = 0; p < page.count; ++p) {
                const compose::Rect f = g.frame(p), before = g.frame(std::max<int64_t>(p - 1, 0));
                ASSERT_TRUE(f.x >= 0 && f.y >= 0 && f.width > 0 && f.x + f.width <= g.width && f.y + f.height <= g.height) << "cell " << p;
                EXPECT_TRUE(f.width == o.cellWidth || f.x + f.width == g.width) << "cut only at the sheet's edge";
                EXPECT_TRUE(p == 0 || before.y + before.height <= f.y || before.x + before.width <= f.x) << "cells " << p - 1 << " and " << p << " overlap";
            }
        }
        EXPECT_EQ(next, count);
    }
}
