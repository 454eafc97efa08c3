// The writer: 24-bit files that our reader and Qt's reader both read back pixel for pixel.

#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"

#include <QImage>
#include <gtest/gtest.h>

#include <vector>

namespace {

struct VectorSink : bmp::ByteSink {
    std::vector<uint8_t> bytes;
    void write(const uint8_t* data, size_t count) override { bytes.insert(bytes.end(), data, data + count); }
};

bmp::Image pattern(int width, int height) {
    bmp::Image image;
    image.width = width;
    image.height = height;
    image.pixels = bmp::allocatePixels(static_cast<size_t>(width) * height, true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.row(y)[x] = 0xFF000000u | static_cast<uint32_t>((x * 37 + y * 11) % 256) << 16 | static_cast<uint32_t>(y % 256) << 8 | static_cast<uint32_t>(x % 256);
    return image;
}

std::vector<uint8_t> write(const bmp::Image& image) {
    VectorSink sink;
    bmp::write24(sink, image.width, image.height, [&](int32_t y) { return image.row(y); });
    return sink.bytes;
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24; }

}  // namespace

TEST(BmpWriter, odd_widths_round_trip_through_our_reader_and_qts) {
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE(width);
        const bmp::Image image = pattern(width, 4);
        const std::vector<uint8_t> bytes = write(image);
        const size_t stride = (width * 3 + 3) / 4 * 4;
        ASSERT_EQ(bytes.size(), 54 + stride * 4);
        EXPECT_EQ(u32(bytes, 2), bytes.size());  // file size
        EXPECT_EQ(u32(bytes, 10), 54u);          // pixel offset
        EXPECT_EQ(u32(bytes, 14), 40u);          // info header size
        EXPECT_EQ(u32(bytes, 22), 4u);           // positive height: bottom-up
        EXPECT_EQ(u32(bytes, 34), stride * 4);   // image size
        EXPECT_EQ(u32(bytes, 38), 2835u);        // pixels per metre

        const bmp::Image ours = bmp::decode(bytes.data(), bytes.size()).image;
        const QImage qt = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "BMP");
        ASSERT_EQ(qt.size(), QSize(width, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < width; ++x) {
                EXPECT_EQ(ours.row(y)[x], image.row(y)[x]);
                EXPECT_EQ(qt.pixel(x, y), image.row(y)[x]);
            }
    }
}

TEST(BmpWriter, a_tall_picture_streams_row_by_row) {
    const bmp::Image image = pattern(640, 20000);
    int rowsAsked = 0;
    VectorSink sink;
    bmp::write24(sink, image.width, image.height, [&](int32_t y) {
        ++rowsAsked;
        return image.row(y);
    });
    EXPECT_EQ(rowsAsked, 20000);
    const bmp::Image back = bmp::decode(sink.bytes.data(), sink.bytes.size()).image;
    EXPECT_EQ(std::memcmp(back.row(0), image.row(0), 640 * 4), 0);
    EXPECT_EQ(std::memcmp(back.row(19999), image.row(19999), 640 * 4), 0);
}

TEST(BmpWriter, pictures_that_cannot_be_bitmap_files_are_refused_before_writing) {
    VectorSink sink;
    const auto never = [](int32_t) -> const uint32_t* { return nullptr; };
    EXPECT_THROW(bmp::write24(sink, 0, 10, never), bmp::FormatError);
    EXPECT_THROW(bmp::write24(sink, 10, 0, never), bmp::FormatError);
    EXPECT_THROW(bmp::write24(sink, 40000, 40000, never), bmp::FormatError);  // past 4 GiB
    EXPECT_TRUE(sink.bytes.empty());
}
