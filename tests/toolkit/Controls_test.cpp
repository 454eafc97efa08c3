// Control state objects: sorted lists, scroll bars and their events, picture boxes.

#include "support/BmpBuilder.h"
#include "toolkit/Errors.h"
#include "toolkit/ListBox.h"
#include "toolkit/PictureBox.h"
#include "toolkit/Screen.h"
#include "toolkit/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

tk::Picture picture(const std::vector<uint8_t>& bytes) { return tk::decodePicture(bytes.data(), bytes.size(), "test.bmp"); }

struct ScreenFactors {
    explicit ScreenFactors(float f) { tk::Screen::setTwipsPerPixel(f, f); }
    ~ScreenFactors() { tk::Screen::setTwipsPerPixel(15, 15); }
};

}  // namespace

TEST(ListBox, sorted_list_orders_items_whatever_order_they_came_in) {
    tk::ListBox list(QStringLiteral("piclist"), 0);
    list.Sorted = true;
    list.AddItem("/p/b.bmp");
    list.AddItem("/p/A.bmp");
    EXPECT_EQ(list.List(0), "/p/A.bmp");
    list.AddItem("/p/a.bmp");
    list.AddItem("/p/_z.bmp");
    EXPECT_EQ(list.items(), (std::vector<std::string>{"/p/_z.bmp", "/p/A.bmp", "/p/a.bmp", "/p/b.bmp"}));
    EXPECT_THROW(list.List(4), tk::Error);
    EXPECT_THROW(list.List(-1), tk::Error);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
}

TEST(ListBox, forty_thousand_items_all_listed_in_order) {
    tk::ListBox list(QStringLiteral("piclist"), 0);
    list.Sorted = true;
    std::vector<std::string> names;
    for (int i = 0; i < 40000; ++i) names.push_back("/pics/" + std::to_string(i) + ".bmp");
    std::shuffle(names.begin(), names.end(), std::mt19937(7));
    for (const auto& n : names) list.AddItem(n);
    ASSERT_EQ(list.ListCount(), 40000);
    for (int32_t i = 1; i < list.ListCount(); ++i) ASSERT_LT(tk::compareListText(list.List(i - 1), list.List(i)), 0);
}

TEST(ScrollBar, writing_a_new_value_raises_change_and_the_same_value_does_not) {
    tk::ScrollBar bar(QStringLiteral("VScr"), 9, tk::ScrollBar::Orientation::Vertical);
    int changes = 0, scrolls = 0;
    bar.Change = [&] { ++changes; };
    bar.Scroll = [&] { ++scrolls; };
    bar.setMax(40000);  // 32-bit range
    bar.setValue(0);
    EXPECT_EQ(changes, 0);
    bar.setValue(35000);
    EXPECT_EQ(changes, 1);
    EXPECT_THROW(bar.setValue(40001), tk::Error);
    EXPECT_THROW(bar.setValue(-1), tk::Error);
    bar.userScroll(10);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(bar.Value(), 10);
    bar.setEnabled(false);
    bar.userChange(20);  // a disabled bar cannot be moved
    EXPECT_EQ(bar.Value(), 10);
}

TEST(PictureBox, paint_point_and_line_in_twips) {
    tk::PictureBox box(QStringLiteral("picMain"), 7);
    box.setBorderStyle(0);
    box.setWidth(150);  // 10 x 4 pixels at 15 twips per pixel
    box.setHeight(60);
    EXPECT_EQ(box.Point(0, 0), 0u);  // starts in the background colour, black
    const tk::Picture two = picture(bmp24(2, 2, [](int x, int y) { return x == 0 && y == 0 ? 0xFF0000u : 0x0000FFu; }));
    box.PaintPicture(two, 30, 15);  // its own size at (2, 1) pixels
    EXPECT_EQ(box.Point(30, 15), 0x0000FFu);  // red as 0x00BBGGRR
    EXPECT_EQ(box.Point(45, 30), 0xFF0000u);  // blue
    EXPECT_EQ(box.Point(29, 15), 0u);
    box.PaintPicture(two, 0, 0, 60, 60);  // stretched to 4 x 4 pixels, nearest neighbour
    EXPECT_EQ(box.Point(15, 15), 0x0000FFu);
    EXPECT_EQ(box.Point(30, 30), 0xFF0000u);
    box.Line(38, 90, 0, 150, 60, 0x00FF00);  // filled box
    EXPECT_EQ(box.Point(90, 0), 0x00FF00u);
    EXPECT_EQ(box.Point(149, 59), 0x00FF00u);
    EXPECT_EQ(box.Point(75, 0), 0u);
    EXPECT_EQ(box.Point(150, 0), 0xFFFFFFFFu);  // outside the image
    EXPECT_THROW(box.Line(0, 0, 0, 1, 1, 0), tk::Error);
}

TEST(PictureBox, paint_with_a_source_region_in_pixel_scale_and_at_twelve_twips) {
    ScreenFactors factors(12);
    tk::PictureBox box(QStringLiteral("tmpPic"), 15);
    box.setBorderStyle(0);
    box.setScaleMode(3);
    box.setWidth(120);  // 10 x 10 pixels
    box.setHeight(120);
    const tk::Picture rows = picture(bmp24(3, 4, [](int, int y) { return static_cast<uint32_t>(y * 0x40); }));
    // Only rows 0 and 1 of the picture, unscaled, with their top at (5, 6).
    box.PaintPicture(rows, 5, 6, {}, {}, 0.0f, 0.0f, {}, 2.0f);
    EXPECT_EQ(box.Point(5, 6), 0x000000u);
    EXPECT_EQ(box.Point(7, 7), 0x400000u);  // 0x40 blue, as 0x00BBGGRR
    EXPECT_EQ(box.Point(5, 8), 0x000000u);  // row 2 was not drawn: background
    EXPECT_EQ(box.Point(8, 6), 0x000000u);
}

TEST(PictureBox, alpha_is_not_blended_and_a_new_size_is_a_clean_canvas) {
    tk::PictureBox box(QStringLiteral("picMain"), 7);
    box.setBorderStyle(0);
    box.setWidth(30);
    box.setHeight(15);
    BmpSpec spec;  // 32-bit alpha bit fields, every alpha 0
    spec.width = 1;
    spec.bitsPerPixel = 32;
    spec.compression = 6;
    spec.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    spec.pixelData = {0x30, 0x20, 0x10, 0x00};
    box.PaintPicture(picture(buildBmp(spec)), 0, 0);
    EXPECT_EQ(box.Point(0, 0), 0x302010u);
    box.setWidth(45);
    EXPECT_EQ(box.Point(0, 0), 0u);
    EXPECT_THROW(box.setWidth(-1), tk::Error);
    EXPECT_THROW(box.checkImageSize(9600, 1e12f), tk::Error);
}
