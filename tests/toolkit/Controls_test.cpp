// Control state objects: sorted lists, scroll bars and their events, picture boxes.

#include "support/BmpBuilder.h"
#include "support/Pictures.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "toolkit/Errors.h"
#include "storage/FileReads.h"
#include "toolkit/ListBox.h"
#include "toolkit/PictureBox.h"
#include "toolkit/Screen.h"
#include "toolkit/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <unistd.h>
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

namespace {

// Bytes this process has read so far (read and pread alike).
uint64_t bytesRead() {
    std::ifstream io("/proc/self/io");
    for (std::string key; io >> key;) {
        uint64_t value = 0;
        io >> value;
        if (key == "rchar:") return value;
    }
    return 0;
}

// Raw rows of width x height pixels of the given depth, each byte distinct enough to tell rows apart.
std::vector<uint8_t> storedRows(int width, int height, int bits) {
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    std::vector<uint8_t> data(stride * height);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    return data;
}

}  // namespace

TEST(PictureBox, a_large_picture_stretched_smaller_paints_what_the_whole_file_paints) {
    // Every uncompressed kind, large enough to be read as painted, both row orders.
    struct Kind {
        const char* what;
        int width, height;
        uint16_t bits;
        uint32_t compression;
        std::vector<uint32_t> masks;
    };
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < 256; ++i) palette.push_back(i * 0x010305u & 0xFFFFFF);
    const Kind kinds[] = {{"1-bit", 2400, 900, 1, 0, {}},           {"4-bit", 1100, 600, 4, 0, {}},
                          {"8-bit", 700, 500, 8, 0, {}},            {"16-bit", 500, 400, 16, 0, {}},
                          {"16-bit fields 565", 500, 400, 16, 3, {0xF800, 0x07E0, 0x001F}},
                          {"24-bit", 400, 300, 24, 0, {}},          {"32-bit", 300, 300, 32, 0, {}},
                          {"32-bit fields", 300, 300, 32, 3, {0xFF00, 0xFF0000, 0xFF000000}}};
    TempTree tree;
    for (const Kind& kind : kinds)
        for (const bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << kind.what << (topDown ? ", top-down" : ", bottom-up"));
            BmpSpec spec;
            spec.width = kind.width;
            spec.height = topDown ? -kind.height : kind.height;
            spec.bitsPerPixel = kind.bits;
            spec.compression = kind.compression;
            spec.masks = kind.masks;
            if (kind.bits <= 8) spec.palette.assign(palette.begin(), palette.begin() + (1 << kind.bits));
            spec.pixelData = storedRows(kind.width, kind.height, kind.bits);
            const std::vector<uint8_t> bytes = buildBmp(spec);
            ASSERT_GE(bytes.size(), storage::readAsPaintedFrom());
            tree.addFile("p.bmp", bytes);
            const tk::Picture fromFile = tk::LoadPicture(tree.path("p.bmp"));
            ASSERT_TRUE(fromFile.readAsPainted());
            const tk::Picture whole = picture(bytes);
            for (const auto& [w, h] : {std::pair{96, 54}, {37, 23}, {kind.width / 2, kind.height / 2 + 1}}) {
                tk::PictureBox a(QStringLiteral("a"), 0), b(QStringLiteral("b"), 0);
                for (tk::PictureBox* box : {&a, &b}) {
                    box->setBorderStyle(0);
                    box->setScaleMode(3);
                    box->setWidth(static_cast<float>(w * 15)), box->setHeight(static_cast<float>(h * 15));
                }
                a.PaintPicture(fromFile, 0, 0, static_cast<float>(w), static_cast<float>(h));
                b.PaintPicture(whole, 0, 0, static_cast<float>(w), static_cast<float>(h));
                const bmp::Image &got = a.persistentImage(), &want = b.persistentImage();
                ASSERT_TRUE(std::equal(got.pixels.get(), got.pixels.get() + size_t(w) * h, want.pixels.get())) << w << " x " << h;
            }
            EXPECT_TRUE(std::equal(fromFile.image().pixels.get(), fromFile.image().pixels.get() + size_t(kind.width) * kind.height,
                                   whole.image().pixels.get()));
        }
}

TEST(PictureBox, every_uncompressed_depth_at_every_width_reads_as_painted_what_it_reads_whole) {
    // Widths 1 to 70 take every position of a row's last pixel in its last byte (1, 2 and 4 bits)
    // and every amount of row padding; each file, read the way large files are, gives the pixels
    // it gives decoded whole from memory, painted into cells that sample rows and columns and whole.
    struct Kind {
        uint16_t bits;
        uint32_t compression;
        std::vector<uint32_t> masks;
    };
    const Kind kinds[] = {{1, 0, {}},  {2, 0, {}},  {4, 0, {}}, {8, 0, {}}, {16, 0, {}}, {16, 3, {0xF800, 0x07E0, 0x001F}},
                          {24, 0, {}}, {32, 0, {}}, {32, 3, {0xFF00, 0xFF0000, 0xFF000000}},
                          {32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}, {64, 0, {}}};
    TempTree tree;
    const ReadAsPaintedFrom everyFile(0);
    for (const Kind& kind : kinds)
        for (int width = 1; width <= 70; ++width)
            for (const bool topDown : {false, true}) {
                SCOPED_TRACE(testing::Message() << kind.bits << "-bit, compression " << kind.compression << ", " << width
                                                << " wide" << (topDown ? ", top-down" : ""));
                BmpSpec spec;
                spec.width = width;
                spec.height = topDown ? -9 : 9;
                spec.bitsPerPixel = kind.bits;
                spec.compression = kind.compression;
                spec.masks = kind.masks;
                for (uint32_t i = 0; kind.bits <= 8 && i < (1u << kind.bits); ++i) spec.palette.push_back(i * 0x3F1D07u & 0xFFFFFF);
                spec.pixelData = storedRows(width, 9, kind.bits);
                const std::vector<uint8_t> bytes = buildBmp(spec);
                tree.addFile("p.bmp", bytes);
                ASSERT_TRUE(tk::LoadPicture(tree.path("p.bmp")).readAsPainted());
                const ReadOutcome whole = readOutcome([&] { return picture(bytes); });
                for (const bool ring : {true, false}) {  // the sampled rows in one submission, or one read each
                    storage::setRingAllowed(ring);
                    const ReadOutcome asPainted = readOutcome([&] { return tk::LoadPicture(tree.path("p.bmp")); });
                    storage::setRingAllowed(true);
                    ASSERT_EQ(asPainted.error, 0);
                    ASSERT_TRUE(asPainted == whole) << (ring ? "io_uring" : "pread");
                }
            }
}

TEST(PictureBox, a_large_picture_in_a_small_cell_reads_only_the_rows_it_samples) {
    TempTree tree;
    tree.addFile("shot.bmp", bmp24(1920, 1080, [](int x, int y) { return static_cast<uint32_t>(x * 7 + y * 0x10300); }));
    const uint64_t before = bytesRead();
    const tk::Picture shot = tk::LoadPicture(tree.path("shot.bmp"));
    tk::PictureBox cell(QStringLiteral("cell"), 0);
    cell.setBorderStyle(0);
    cell.setWidth(96 * 15), cell.setHeight(54 * 15);
    cell.PaintPicture(shot, 0, 0, 96 * 15, 54 * 15);
    const uint64_t read = bytesRead() - before;
    // The header, then 54 rows of 5,760 bytes: about 370 KB of the file's 6.2 MB.
    EXPECT_LE(read, storage::kPictureHead + 54u * 5760u + 4096u) << read << " bytes read";  // and this count itself
    EXPECT_EQ(rgbAt(cell.persistentImage(), 95, 53), rgbAt(picture(readFile(tree.path("shot.bmp"))).image(), 1910, 1070));
}

TEST(PictureBox, a_large_picture_cut_short_or_changed_is_refused_never_painted_with_invented_rows) {
    TempTree tree;
    const std::vector<uint8_t> bytes = bmp24(1000, 500, [](int x, int y) { return static_cast<uint32_t>(x ^ (y << 8)); });
    const size_t row = 3000, header = 54;
    struct Cut {
        const char* what;
        size_t keep;
    };
    // Row 0 of a bottom-up file is stored last; a 50-row cell samples every tenth row.
    for (const Cut& cut : {Cut{"in a row the cell samples", header + 495 * row + 10}, Cut{"in a row it skips", header + 499 * row + 10}}) {
        SCOPED_TRACE(cut.what);
        tree.addFile("cut.bmp", std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut.keep)));
        try {
            tk::LoadPicture(tree.path("cut.bmp"));
            ADD_FAILURE() << "loaded";
        } catch (const tk::Error& e) {
            EXPECT_EQ(e.number(), 481);
            EXPECT_TRUE(e.description().contains(QStringLiteral("the file ends before its pixel data ends"))) << e.description().toStdString();
        }
    }
    // Cut short after it was loaded: the paint reports it, naming the file.
    tree.addFile("changed.bmp", bytes);
    const tk::Picture changed = tk::LoadPicture(tree.path("changed.bmp"));
    ASSERT_EQ(::truncate(tree.path("changed.bmp").c_str(), static_cast<off_t>(header + 100 * row)), 0);
    tk::PictureBox cell(QStringLiteral("cell"), 0);
    cell.setBorderStyle(0);
    cell.setWidth(100 * 15), cell.setHeight(50 * 15);
    try {
        cell.PaintPicture(changed, 0, 0, 100 * 15, 50 * 15);
        ADD_FAILURE() << "painted";
    } catch (const tk::Error& e) {
        EXPECT_EQ(e.number(), 481);
        EXPECT_TRUE(e.description().contains(QString::fromStdString(tree.path("changed.bmp")))) << e.description().toStdString();
    }
}
