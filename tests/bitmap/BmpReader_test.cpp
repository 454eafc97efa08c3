// The reader on hand-built files: layouts the corpus does not cover, and hostile headers that
// must be refused with a reason before anything is allocated.

#include "bitmap/BmpReader.h"
#include "support/BmpBuilder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bmp::Decoded decode(const std::vector<uint8_t>& bytes) { return bmp::decode(bytes.data(), bytes.size()); }

std::string refusal(const std::vector<uint8_t>& bytes) {
    try {
        decode(bytes);
    } catch (const bmp::FormatError& e) {
        return e.what();
    }
    return "loaded";
}

uint32_t rgb(const bmp::Image& image, int x, int y) { return image.row(y)[x] & 0xFFFFFF; }

void setU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// An RLE8 bitmap with the given palette and compressed data.
std::vector<uint8_t> rle8(int width, int height, std::vector<uint32_t> palette, std::vector<uint8_t> data) {
    BmpSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitsPerPixel = 8;
    spec.compression = 1;
    spec.colorsUsed = static_cast<uint32_t>(palette.size());
    spec.palette = std::move(palette);
    spec.pixelData = std::move(data);
    return buildBmp(spec);
}

const auto kDiagonal = [](int x, int y) { return static_cast<uint32_t>((x * 40) << 16 | (y * 40) << 8 | ((x + y) * 20)); };

}  // namespace

TEST(BmpReader, every_row_padding_case_and_both_row_orders_read_the_same_pixels) {
    for (int width = 1; width <= 5; ++width)
        for (const bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << width << (topDown ? " top-down" : " bottom-up"));
            const std::vector<std::vector<uint8_t>> files = {
                bmp24(width, 3, kDiagonal, topDown), bmp32(width, 3, kDiagonal, topDown),
                bmp8(width, 3, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, [](int x, int y) { return static_cast<uint8_t>((x + y) % 4); },
                     topDown)};
            for (const auto& file : files) {
                const bmp::Image image = decode(file).image;
                ASSERT_EQ(image.width, width);
                ASSERT_EQ(image.height, 3);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < width; ++x) {
                        const uint32_t want = file == files[2] ? std::vector<uint32_t>{0, 0xFF0000, 0x00FF00, 0x0000FF}[(x + y) % 4]
                                                               : kDiagonal(x, y);
                        EXPECT_EQ(rgb(image, x, y), want) << x << "," << y;
                    }
            }
        }
}

TEST(BmpReader, bit_fields_scale_every_channel_width_exactly) {
    // 16-bit 5-5-5 white is 255, not 248; a 1-bit channel is 0 or 255; a missing one is 0.
    BmpSpec spec;
    spec.width = 2;
    spec.bitsPerPixel = 16;
    spec.compression = 3;
    spec.masks = {0x7C00, 0x0003, 0x0000};
    spec.pixelData = {0xFF, 0x7F, 0x00, 0x3C, 0, 0};  // (31, 3, -) then (15, 0, -)
    const bmp::Image image = decode(buildBmp(spec)).image;
    EXPECT_EQ(rgb(image, 0, 0), 0xFFFF00u);
    EXPECT_EQ(rgb(image, 1, 0), 0x7B0000u);  // 15 of 31 is 123.4
    EXPECT_FALSE(image.hasAlpha);
}

TEST(BmpReader, alpha_is_kept_but_only_from_alpha_masks) {
    BmpSpec spec;
    spec.width = 1;
    spec.bitsPerPixel = 32;
    spec.pixelData = {0x10, 0x20, 0x30, 0x00};  // plain 32-bit: the fourth byte is not alpha
    bmp::Image plain = decode(buildBmp(spec)).image;
    EXPECT_EQ(plain.row(0)[0], 0xFF302010u);
    EXPECT_FALSE(plain.hasAlpha);

    spec.compression = 6;  // alpha bit fields after a 40-byte header
    spec.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    bmp::Image alpha = decode(buildBmp(spec)).image;
    EXPECT_EQ(alpha.row(0)[0], 0x00302010u);
    EXPECT_TRUE(alpha.hasAlpha);
}

TEST(BmpReader, rle8_skipped_pixels_and_indices_past_the_palette_are_black) {
    // Bottom row: two of index 1, then a delta of (1, 0), then end of line; top row: one
    // pixel of index 9 (past the palette), then end of bitmap.
    const bmp::Image image = decode(rle8(4, 2, {0xFFFFFF, 0xFF0000}, {2, 1, 0, 2, 1, 0, 0, 0, 1, 9, 0, 1})).image;
    EXPECT_EQ(rgb(image, 0, 1), 0xFF0000u);
    EXPECT_EQ(rgb(image, 1, 1), 0xFF0000u);
    EXPECT_EQ(rgb(image, 2, 1), 0u);
    EXPECT_EQ(rgb(image, 3, 1), 0u);
    EXPECT_EQ(rgb(image, 0, 0), 0u);
    EXPECT_EQ(rgb(image, 3, 0), 0u);
}

TEST(BmpReader, rle_runs_past_the_row_and_the_image_are_cut_not_written_outside) {
    // A run of 255, an absolute run of 200 bytes, a delta far past the image, more runs.
    std::vector<uint8_t> data = {255, 1, 0, 200};
    data.insert(data.end(), 200, 1);
    data.insert(data.end(), {0, 2, 255, 255, 255, 1, 0, 0, 255, 1});
    const bmp::Image image = decode(rle8(3, 1, {0x000000, 0x00FF00}, data)).image;
    for (int x = 0; x < 3; ++x) EXPECT_EQ(rgb(image, x, 0), 0x00FF00u);
}

TEST(BmpReader, hostile_headers_are_refused_with_a_specific_reason) {
    const std::vector<uint8_t> good = bmp24(4, 4, kDiagonal);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    const auto variant = [&](const char* name, size_t at, uint32_t value, const char* reason) {
        std::vector<uint8_t> bytes = good;
        setU32(bytes, at, value);
        cases.push_back({name, bytes, reason});
    };
    cases.push_back({"empty file", {}, "not a bitmap file"});
    cases.push_back({"not BM", std::vector<uint8_t>(100, 'x'), "not a bitmap file"});
    variant("pixel offset past the end", 10, 0x7FFFFFF0, "ends before its pixel data");
    variant("pixel offset inside the header", 10, 20, "inside the header");
    variant("width zero", 18, 0, "invalid width 0");
    variant("width negative", 18, static_cast<uint32_t>(-4), "invalid width -4");
    variant("height zero", 22, 0, "invalid height");
    variant("huge dimensions, tiny file", 18, 100000, "ends before its pixel data");
    {
        std::vector<uint8_t> bytes = good;
        setU32(bytes, 18, 100000);
        setU32(bytes, 22, 100000);
        cases.push_back({"past the pixel budget", bytes, "picture too large: 100000 x 100000 pixels"});
    }
    variant("header size 66", 14, 66, "header size 66");
    variant("header size past the file", 14, 124, "");  // 54 + 124 > 102 bytes
    variant("compression 7", 30, 7, "unsupported compression 7");
    variant("RLE8 in a 24-bit file", 30, 1, "RLE8 compression in a 24-bit bitmap");
    {
        // 16-bit bit fields whose header ends at the pixel data: no room for the masks.
        BmpSpec spec;
        spec.width = 4;
        spec.height = 2;
        spec.bitsPerPixel = 16;
        spec.compression = 3;
        spec.pixelOffset = 54;
        spec.pixelData.assign(16, 0xF8);
        cases.push_back({"bit-field masks past the pixel offset", buildBmp(spec), "masks would lie past the pixel data offset 54"});
    }
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string why = refusal(c.bytes);
        EXPECT_NE(why, "loaded");
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

TEST(BmpReader, palette_entries_the_file_does_not_give_are_black) {
    const auto indices = [](int x, int) { return static_cast<uint8_t>(x); };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<uint32_t> want;  // pixels 0..3
    };
    std::vector<Case> cases;
    {
        std::vector<uint8_t> bytes = bmp8(2, 1, {0x112233, 0x445566}, indices);
        setU32(bytes, 46, 0xFFFFFFF0u);  // colours used: billions
        cases.push_back({"colours used in the billions", bytes, {0x112233, 0x445566}});
    }
    {
        // Four entries in the file, but only two in use: 2 and 3 are not the palette's.
        BmpSpec spec;
        spec.width = 4;
        spec.bitsPerPixel = 8;
        spec.colorsUsed = 2;
        spec.palette = {0x112233, 0x445566, 0x778899, 0xAABBCC};
        spec.pixelData = {0, 1, 2, 3};
        cases.push_back({"entries past colours used", buildBmp(spec), {0x112233, 0x445566, 0, 0}});
    }
    {
        // 256 entries said, two given before the pixel data begins: the pixels are not the palette.
        BmpSpec spec;
        spec.width = 4;
        spec.bitsPerPixel = 8;
        spec.colorsUsed = 256;
        spec.palette = {0x112233, 0x445566};
        spec.pixelData = {1, 2, 3, 0};
        cases.push_back({"palette cut short by the pixel data", buildBmp(spec), {0x445566, 0, 0, 0x112233}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bmp::Image image = decode(c.bytes).image;
        for (size_t x = 0; x < c.want.size(); ++x) EXPECT_EQ(rgb(image, static_cast<int>(x), 0), c.want[x]) << x;
    }
}

TEST(BmpReader, a_palette_the_pixel_offset_leaves_no_room_for_is_read_after_the_header) {
    // The declared palette follows the header, the pixels follow the palette, but the offset says
    // the pixels start at the header's end (or inside the palette): read as the writer meant.
    struct Row {
        uint16_t bits;
        uint32_t compression;
        int64_t offset;
    };
    for (const Row& row : {Row{1, 0, 54}, Row{4, 0, 54}, Row{8, 0, 54}, Row{8, 0, 54 + 8}, Row{8, 1, 54}}) {
        SCOPED_TRACE(testing::Message() << row.bits << "-bit, compression " << row.compression << ", offset " << row.offset);
        BmpSpec spec;
        spec.width = 8;
        spec.height = 2;
        spec.bitsPerPixel = row.bits;
        spec.compression = row.compression;
        spec.colorsUsed = 2;
        spec.palette = {0x112233, 0xAABBCC};
        spec.pixelData = row.compression ? std::vector<uint8_t>{8, 1, 0, 0, 4, 0, 4, 1, 0, 1}  // RLE8: two rows
                                         : std::vector<uint8_t>{0x55, 0x11, 0x11, 0x11, 0xAA, 0x00, 0x00, 0x00};
        if (row.bits == 8 && !row.compression) spec.pixelData = {0, 1, 0, 1, 0, 1, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0};
        const std::vector<uint8_t> mended = buildBmp(spec);
        spec.pixelOffset = row.offset;
        std::vector<uint8_t> misplaced = buildBmp(spec);
        if (row.compression) setU32(misplaced, 34, static_cast<uint32_t>(spec.pixelData.size()));  // the data's size
        const bmp::Image want = decode(mended).image, got = decode(misplaced).image;
        ASSERT_EQ(got.width, want.width);
        bool someLight = false;
        for (int y = 0; y < want.height; ++y)
            for (int x = 0; x < want.width; ++x) {
                EXPECT_EQ(rgb(got, x, y), rgb(want, x, y)) << x << "," << y;
                someLight = someLight || rgb(want, x, y) == 0xAABBCC;
            }
        EXPECT_TRUE(someLight);
    }
}

TEST(BmpReader, truncation_at_every_byte_is_refused_or_complete_never_invented) {
    // RLE files end with their end-of-bitmap code: cut anywhere, they are refused. Each cut is a
    // buffer of its own, so a read past its end is a read past the buffer (the sanitizer build
    // reports it).
    BmpSpec rle4;
    rle4.width = 6;
    rle4.height = 2;
    rle4.bitsPerPixel = 4;
    rle4.compression = 2;
    rle4.colorsUsed = 3;
    rle4.palette = {0xFF0000, 0x00FF00, 0x0000FF};
    rle4.pixelData = {0, 5, 0x12, 0x01, 0x20, 0, 0, 0, 6, 0x01, 0x20, 0x12, 0, 1};
    const std::vector<std::vector<uint8_t>> files = {
        bmp24(5, 3, kDiagonal), bmp8(3, 3, {0xFF, 0xFF00}, [](int x, int) { return static_cast<uint8_t>(x % 2); }),
        rle8(5, 2, {0xFF0000, 0x00FF00}, {2, 1, 0, 3, 0, 1, 0, 0, 0, 5, 1, 1, 0, 1, 0, 0, 0, 1}), buildBmp(rle4)};
    for (const auto& file : files) {
        const bool rle = file[30] != 0;
        ASSERT_EQ(decode(file).image.height, file == files[0] || file == files[1] ? 3 : 2);
        for (size_t length = 0; length < file.size(); ++length) {
            SCOPED_TRACE(testing::Message() << (rle ? "RLE" : "plain") << " cut at " << length);
            const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
            try {
                const bmp::Image image = decode(cut).image;
                // Only the last row's padding may be missing.
                EXPECT_FALSE(rle);
                EXPECT_GE(length, file.size() - 3);
                EXPECT_EQ(image.height, 3);
            } catch (const bmp::FormatError& e) {
                EXPECT_GT(std::string(e.what()).size(), 10u);
            }
        }
    }
}

TEST(BmpReader, os2_core_header_with_three_byte_palette_entries) {
    BmpSpec spec;
    spec.infoSize = 12;
    spec.width = 2;
    spec.bitsPerPixel = 1;
    spec.palette = {0x0000FF, 0xFFFF00};
    spec.pixelData = {0x40, 0, 0, 0};  // pixel 0 index 0, pixel 1 index 1
    const bmp::Image image = decode(buildBmp(spec)).image;
    EXPECT_EQ(rgb(image, 0, 0), 0x0000FFu);
    EXPECT_EQ(rgb(image, 1, 0), 0xFFFF00u);
}
