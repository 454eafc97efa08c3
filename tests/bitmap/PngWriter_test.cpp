// The PNG writer as libpng's own reader sees it: every pixel back as written, RGB and RGBA, for
// widths and heights from one pixel to sheets of many bands (past 16 bands),
// noise, flat colour and grain, either compression; and the same bytes whatever the number of threads.

#include "bitmap/PngWriter.h"
#include "storage/Threads.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>

namespace {

struct Bytes : bmp::ByteSink {
    std::vector<uint8_t> all;
    void write(const uint8_t* bytes, size_t count) override { all.insert(all.end(), bytes, bytes + count); }
};

std::vector<uint8_t> encode(const bmp::Image& image, bool alpha, int threads, bmp::PngCompression compression) {
    Bytes out;
    bmp::writePng(out, image.width, image.height, [&](int32_t y) { return image.row(y); }, alpha,
                  [threads](size_t count, const std::function<void(size_t)>& job) { storage::runAll(count, threads, job); }, compression);
    return out.all;
}

}  // namespace

TEST(PngWriter, libpng_reads_back_every_pixel_and_the_bytes_do_not_depend_on_threads) {
    std::mt19937 random(11);
    // The last: RGBA past the bands compressed at once, in flat colour (quick under the sanitizers).
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {1, 700}, {3, 2}, {640, 1}, {641, 3}, {97, 1500}, {640, 7000}};
    for (const auto& [width, height] : sizes)
        for (const bool alpha : {false, true}) {
            if (height == 7000 && !alpha) continue;
            SCOPED_TRACE(testing::Message() << width << " x " << height << (alpha ? " RGBA" : " RGB"));
            bmp::Image image;
            image.width = width, image.height = height;
            image.pixels = bmp::allocatePixels(size_t(width) * size_t(height));
            const auto kind = static_cast<unsigned>(height < 7000 ? random() % 3 : 1);  // noise stores, flat colour deflates, grain codes
            for (size_t i = 0; i < size_t(width) * size_t(height); ++i)
                image.pixels[i] = kind == 0 ? static_cast<uint32_t>(random())
                                  : kind == 1 ? (i / 37 % 3 ? 0x80FF00FFu : 0xFF102030u)
                                              : 0xFF000000u | static_cast<uint32_t>((i % size_t(width) + i / size_t(width)) % 200 * 0x010101u + random() % 24);
            const auto compression = random() % 2 ? bmp::PngCompression::Fast : bmp::PngCompression::Smallest;
            const std::vector<uint8_t> png = encode(image, alpha, 3, compression);
            EXPECT_EQ(encode(image, alpha, 1, compression), png);
            EXPECT_LE(encode(image, alpha, 1, bmp::PngCompression::Smallest).size(), encode(image, alpha, 1, bmp::PngCompression::Fast).size());

            png_image read{};
            read.version = PNG_IMAGE_VERSION;
            ASSERT_TRUE(png_image_begin_read_from_memory(&read, png.data(), png.size())) << read.message;
            EXPECT_EQ(read.format & PNG_FORMAT_FLAG_ALPHA, alpha ? PNG_FORMAT_FLAG_ALPHA : 0u);
            read.format = PNG_FORMAT_BGRA;  // the words' own byte order
            std::vector<uint32_t> back(size_t(width) * size_t(height));
            ASSERT_TRUE(png_image_finish_read(&read, nullptr, back.data(), 0, nullptr)) << read.message;
            for (size_t i = 0; i < back.size(); ++i)
                ASSERT_EQ(back[i], alpha ? image.pixels[i] : image.pixels[i] | 0xFF000000u) << "pixel " << i;

            // zlib's own inflate over the IDAT chunks joined: one stream, whole, its checksum right.
            std::vector<uint8_t> idat;
            for (size_t at = 8; at + 12 <= png.size(); at += 12 + (size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 | png[at + 3]))
                if (std::equal(png.begin() + long(at) + 4, png.begin() + long(at) + 8, "IDAT"))
                    idat.insert(idat.end(), png.begin() + long(at) + 8, png.end() - long(png.size() - at - 8 - (size_t(png[at + 2]) << 8 | png[at + 3] | size_t(png[at + 1]) << 16)));
            std::vector<uint8_t> rows(size_t(height) * (size_t(width) * (alpha ? 4 : 3) + 1) + 1);
            uLongf inflated = rows.size();
            EXPECT_EQ(uncompress(rows.data(), &inflated, idat.data(), idat.size()), Z_OK);
            EXPECT_EQ(inflated, rows.size() - 1);
        }
}

// With the smallest compression, a sheet of grain, as photographs have, is no larger than libpng's
// own defaults make it (the filter that suits each row, zlib's default level).
TEST(PngWriter, the_smallest_sheet_of_grain_is_no_larger_than_libpngs_own) {
    std::mt19937 random(12);
    bmp::Image image;
    image.width = 640, image.height = 400;
    image.pixels = bmp::allocatePixels(640 * 400);
    for (size_t i = 0; i < 640 * 400; ++i) image.pixels[i] = 0xFF000000u | static_cast<uint32_t>((i % 640 * 3 + i / 640) % 200 * 0x010101u + random() % 24);
    png_image write{};
    write.version = PNG_IMAGE_VERSION, write.width = 640, write.height = 400, write.format = PNG_FORMAT_BGR;
    std::vector<uint8_t> bgr;
    for (size_t i = 0; i < 640 * 400; ++i) bgr.insert(bgr.end(), {uint8_t(image.pixels[i]), uint8_t(image.pixels[i] >> 8), uint8_t(image.pixels[i] >> 16)});
    size_t theirs = 0;
    ASSERT_TRUE(png_image_write_get_memory_size(write, theirs, 0, bgr.data(), 0, nullptr)) << write.message;
    EXPECT_LE(encode(image, false, 2, bmp::PngCompression::Smallest).size(), theirs);
}
