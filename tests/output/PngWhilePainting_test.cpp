// A PNG compressed while its sheet is painted is the PNG of the finished sheet, byte for byte,
// whatever rows arrive when, on however many threads, and whatever alpha was guessed at first.

#include "output/PngWhilePainting.h"

#include "bitmap/Pixels.h"
#include "storage/Threads.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Bytes : bmp::ByteSink {
    std::vector<uint8_t> all;
    void write(const uint8_t* bytes, size_t count) override { all.insert(all.end(), bytes, bytes + count); }
};

}  // namespace

TEST(PngWhilePainting, the_bytes_are_the_finished_sheets_whatever_rows_arrive_when) {
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        const auto width = static_cast<int32_t>(1 + random() % 700), height = static_cast<int32_t>(1 + random() % (round % 8 ? 900 : 5000));
        const auto kind = static_cast<unsigned>(random() % 3), threads = static_cast<unsigned>(1 + random() % 3);
        const bool transparent = random() % 2, translucent = random() % 2, guess = random() % 2;
        const auto compression = random() % 4 || width * height > 100000 ? bmp::PngCompression::Fast : bmp::PngCompression::Smallest;
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << width << " x " << height << " kind " << kind);
        bmp::Image canvas;
        canvas.width = width, canvas.height = height;
        canvas.pixels = bmp::allocatePixels(size_t(width) * size_t(height));
        bmp::fill(canvas, 0, 0, width, height, 0x12345678u);  // rows not yet painted: nothing a band may hold
        const auto pixel = [&](int32_t x, int32_t y) -> uint32_t {
            const uint32_t a = translucent && (x + y) % 97 == 3 ? 0x80000000u : 0xFF000000u;
            if (kind == 0) return a | (static_cast<uint32_t>(random()) & 0xFFFFFFu);  // noise
            if (kind == 1) return a | (x / 9 % 2 ? 0xF0F0F0u : 0x204060u);       // flat
            return a | (static_cast<uint32_t>(x + 2 * y) % 200 * 0x010101u + static_cast<uint32_t>(random() % 24));  // grain
        };
        output::PngWhilePainting png(canvas, guess, static_cast<int>(threads), compression);
        // Now and then rows are handed over late, or one short of a band; settled, any band taken
        // up too early has read a row not yet painted.
        const bmp::PngBands layout(width, height, guess, {});
        for (int32_t painted = 0, band = 0; painted < height;) {
            while (layout.rowsRead(size_t(band)) <= painted) ++band;
            const int32_t next = random() % 3 ? std::min(height, painted + 1 + static_cast<int32_t>(random() % 400)) : layout.rowsRead(size_t(band)) - 1 + (painted + 1 == layout.rowsRead(size_t(band)));
            for (int32_t y = painted; y < next; ++y)
                for (int32_t x = 0; x < width; ++x) canvas.row(y)[x] = pixel(x, y);
            png.rowsFinal(random() % 4 ? next : painted);
            if (random() % 2) png.settle();
            painted = next;
        }
        const bmp::PngBands& bands = png.finish(transparent, static_cast<int>(threads));
        const bool alpha = transparent && !bmp::allOpaque(canvas);
        EXPECT_EQ(bands.alpha(), alpha);
        Bytes streamed, whole;
        bands.write(streamed);
        EXPECT_EQ(streamed.all.size(), bands.fileSize());
        bmp::writePng(whole, width, height, [&](int32_t y) { return canvas.row(y); }, alpha,
                      [](size_t count, const std::function<void(size_t)>& job) { storage::runAll(count, 1, job); }, compression);
        ASSERT_EQ(streamed.all, whole.all);
    }
}
