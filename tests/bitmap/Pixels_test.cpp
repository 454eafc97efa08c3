// The pixel routines change what their rectangle, cut to the image, holds and nothing else:
// generated images and rectangles, many reaching past an edge.

#include "bitmap/Pixels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(Pixels, fill_and_key_change_their_rectangle_cut_to_the_image_and_nothing_else) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        bmp::Image image;
        image.width = 1 + int(random() % 20), image.height = 1 + int(random() % 20);
        image.pixels = bmp::allocatePixels(size_t(image.width * image.height));
        for (int i = 0; i < image.width * image.height; ++i) image.pixels[size_t(i)] = 0xFF000000u | uint32_t(random() % 3);  // three colours
        const std::vector<uint32_t> before(image.pixels.get(), image.pixels.get() + image.width * image.height);
        const int64_t left = int64_t(random() % 50) - 15, top = int64_t(random() % 50) - 15;
        const int64_t right = left + int64_t(random() % 50), bottom = top + int64_t(random() % 50);
        const bool key = random() % 2;
        if (key) bmp::keyOut(image, left, top, right, bottom, 1, 0x40);
        else bmp::fill(image, left, top, right, bottom, 0x12345678);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const uint32_t was = before[size_t(y * image.width + x)];
                const bool inside = x >= left && x < right && y >= top && y < bottom;
                const uint32_t expected = !inside ? was : !key ? 0x12345678 : (was & 0xFFFFFF) == 1 ? 0x40000001 : was;
                ASSERT_EQ(image.row(y)[x], expected) << x << "," << y << " in " << left << "," << top << " to " << right << "," << bottom;
            }
    }
}
