// The sheet's layout where it lives: generated options (cell, margin, spacing, columns, widths,
// pages, powers of two) and counts; every page within its limits, every cell whole on its page
// (or cut only at a sheet narrower than one cell), apart from the others, and every picture on
// exactly one page, in order.

#include "compose/Sheet.h"
#include "support/BmpBuilder.h"
#include "support/TempTree.h"

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

// Rows the painting hands over (to be written or compressed at once) never change again: the key,
// Drop to floor and the gutters' extrusion all done before, whatever the threads.
TEST(Sheet, rows_handed_over_while_painting_never_change_again) {
    std::mt19937 random(41);
    TempTree tree;
    for (int c = 0; c < 40; ++c) {
        compose::SheetOptions o;
        o.cellWidth = 1 + random() % 40, o.cellHeight = 1 + random() % 30, o.margin = random() % 5, o.spacing = random() % 7;
        o.extrude = random() % 4, o.dropToFloor = random() % 2, o.png = random() % 2;
        o.key = random() % 2 ? compose::SheetOptions::Key::Corner : compose::SheetOptions::Key::None;
        const int64_t count = 1 + random() % 50;
        if (!compose::noRoomForACell(o).empty()) continue;
        SCOPED_TRACE(testing::Message() << "case " << c << ": cell " << o.cellWidth << " x " << o.cellHeight << ", margin " << o.margin << ", spacing " << o.spacing
                                        << ", extrude " << o.extrude << (o.dropToFloor ? ", dropped" : "") << (o.png ? ", png" : "") << (o.key != compose::SheetOptions::Key::None ? ", keyed" : "") << ", " << count);
        std::vector<std::string> pictures;
        for (int64_t i = 0; i < count; ++i) {
            const int w = 1 + int(random() % 50), h = 1 + int(random() % 40), ink = int(random());
            const std::string name = "c" + std::to_string(c) + "/p" + std::to_string(i) + ".bmp";
            tree.addFile(name, bmp24(w, h, [=](int x, int y) { return uint32_t(x > w / 3 && y > h / 2 ? ink + x * 5 + y : 0x808080); }));
            pictures.push_back(tree.path(name));
        }
        const compose::Grid grid = compose::layOut(o, count);
        compose::SheetPainting painting(o, grid, pictures);
        bmp::Image canvas;
        canvas.width = int32_t(grid.width), canvas.height = int32_t(grid.height);
        canvas.pixels = bmp::allocatePixels(size_t(grid.width * grid.height), true);
        std::vector<std::vector<uint32_t>> handed;
        compose::PaintHooks hooks;
        hooks.rowsPainted = [&](const bmp::Image& painted, int64_t rows) {
            ASSERT_TRUE(handed.empty() || int64_t(handed.back().size()) <= rows * grid.width);
            handed.emplace_back(painted.pixels.get(), painted.pixels.get() + rows * grid.width);
        };
        painting.paint(painting.loadFirst(), canvas, 1 + int(random() % 3), hooks);
        ASSERT_FALSE(handed.empty());
        EXPECT_EQ(int64_t(handed.back().size()), grid.width * grid.height);
        for (const std::vector<uint32_t>& rows : handed)
            ASSERT_TRUE(std::equal(rows.begin(), rows.end(), canvas.pixels.get())) << "rows changed after " << rows.size() / size_t(grid.width);
    }
}
