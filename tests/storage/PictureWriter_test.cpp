// A sheet written while it is painted, in chunks from its end, holds the bytes of one written from
// its first byte to its last (as into standard output): for widths with and without row padding,
// files of one to four chunks ending anywhere in a block, rows handed over at random, 1-3 threads.

#include "support/TempTree.h"

#include "bitmap/BmpWriter.h"
#include "storage/PictureWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {
struct Bytes : bmp::ByteSink {
    std::vector<uint8_t> all;
    void write(const uint8_t* bytes, size_t count) override { all.insert(all.end(), bytes, bytes + count); }
};
}  // namespace

TEST(PictureWriter, rows_handed_over_in_any_steps_give_the_bytes_written_in_one_go) {
    std::mt19937 random(7);
    for (const int width : {1, 2, 3, 5, 349, 640, 1001})
        for (const uint64_t bytes : {uint64_t{1} << 10, uint64_t{1} << 20, (uint64_t{5} << 19) + 77, (uint64_t{7} << 19) - 4096}) {
            bmp::Image image;
            image.width = width;
            image.height = static_cast<int32_t>(std::max<uint64_t>(1, bytes / bmp::stride24(width)));
            image.pixels = bmp::allocatePixels(size_t(width) * size_t(image.height));
            std::vector<uint32_t> painted(size_t(width) * size_t(image.height));
            for (uint32_t& pixel : painted) pixel = static_cast<uint32_t>(random());
            // Rows not handed over hold something else until they are: a byte written early shows.
            for (size_t i = 0; i < painted.size(); ++i) image.pixels[i] = ~painted[i];
            const auto paint = [&](int64_t from, int64_t to) {
                std::copy(painted.begin() + from * width, painted.begin() + to * width, image.pixels.get() + from * width);
            };
            const int threads = 1 + static_cast<int>(random() % 3);
            SCOPED_TRACE(testing::Message() << width << " x " << image.height << " on " << threads << " threads");
            TempTree tree;
            Bytes inOneGo;
            bmp::write24(inOneGo, image.width, image.height, [&](int32_t y) { return painted.data() + size_t(y) * size_t(width); });
            storage::AtomicFile file(tree.path("sheet.bmp"));
            storage::PictureWriter writer(image, file);
            const bool rowByRow = random() % 2;  // then every chunk's edge is met exactly
            int64_t rows = 0;
            while (rows < image.height && (rowByRow || random() % 8)) {
                const int64_t next = std::min<int64_t>(image.height, rows + (rowByRow ? 1 : 1 + random() % (image.height / 3 + 1)));
                paint(rows, next);
                writer.rowsFinal(rows = next);
                writer.settle();
            }
            paint(rows, image.height);
            writer.finish(threads);
            file.commit();
            EXPECT_EQ(tree.read("sheet.bmp"), inOneGo.all);
        }
}
