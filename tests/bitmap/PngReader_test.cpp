// PNG frames as Pillow decodes them: every colour type, bit depth, palette with tRNS and interlace,
// written by libpng in generated sizes, read by this program's loader and by Pillow, pixel for
// pixel (16-bit values within 1); broken and cut files refused by name.

#include "support/TempTree.h"
#include "toolkit/Errors.h"
#include "toolkit/Picture.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <random>

namespace {

// A PNG of one kind with random samples, written by libpng into path.
void writeKind(const std::string& path, int type, int depth, bool interlaced, bool trns, int width, int height, std::mt19937& random) {
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, type, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(size_t(1) << std::min(depth, 8));
    std::vector<png_byte> alphas(palette.size());
    for (size_t i = 0; i < palette.size(); ++i) palette[i] = {png_byte(random()), png_byte(random()), png_byte(random())}, alphas[i] = png_byte(random());
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_color_16 grey{};
    grey.gray = png_uint_16(random() % (1u << depth)), grey.red = png_uint_16(random() % 256), grey.green = grey.red, grey.blue = grey.red;
    if (trns) png_set_tRNS(png, info, alphas.data(), type == PNG_COLOR_TYPE_PALETTE ? int(alphas.size()) : 0, &grey);
    png_write_info(png, info);
    const int channels = type == PNG_COLOR_TYPE_RGB ? 3 : type == PNG_COLOR_TYPE_RGBA ? 4 : type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    std::vector<std::vector<png_byte>> rows(size_t(height), std::vector<png_byte>((size_t(width) * channels * depth + 7) / 8));
    std::vector<png_bytep> pointers;
    for (auto& row : rows) {
        for (png_byte& b : row) b = png_byte(random());
        if (depth == 8 && type == PNG_COLOR_TYPE_GRAY && trns && !row.empty()) row[0] = png_byte(grey.gray);  // some pixel keyed
        pointers.push_back(row.data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

}  // namespace

TEST(PngReader, every_kind_reads_as_pillow_reads_it_and_broken_files_are_named) {
    struct Kind {
        int type, depth;
        bool trns;
    };
    const Kind kinds[] = {{PNG_COLOR_TYPE_GRAY, 1, false}, {PNG_COLOR_TYPE_GRAY, 2, false}, {PNG_COLOR_TYPE_GRAY, 4, false},
                          {PNG_COLOR_TYPE_GRAY, 8, true}, {PNG_COLOR_TYPE_GRAY, 16, false}, {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
                          {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false}, {PNG_COLOR_TYPE_PALETTE, 1, true}, {PNG_COLOR_TYPE_PALETTE, 2, false},
                          {PNG_COLOR_TYPE_PALETTE, 4, true}, {PNG_COLOR_TYPE_PALETTE, 8, true}, {PNG_COLOR_TYPE_RGB, 8, true},
                          {PNG_COLOR_TYPE_RGB, 16, false}, {PNG_COLOR_TYPE_RGBA, 8, false}, {PNG_COLOR_TYPE_RGBA, 16, false}};
    TempTree tree;
    std::mt19937 random(4);
    QStringList paths;
    std::vector<bool> sixteen;
    for (const Kind& kind : kinds)
        for (const bool interlaced : {false, true})
            for (const auto& [width, height] : {std::pair{1, 1}, {7, 3}, {33, 17}}) {
                paths << QString::fromStdString(tree.path("k" + std::to_string(paths.size()) + ".png"));
                sixteen.push_back(kind.depth == 16);
                writeKind(paths.back().toStdString(), kind.type, kind.depth, interlaced, kind.trns, width, height, random);
            }
    // Pillow's pixels, RGBA a line a file after whether it has alpha; its 16-bit grey is kept as 16-bit values, taken here
    // at their high byte.
    QProcess pillow;
    pillow.start("/usr/bin/python3", QStringList{"-c", "import sys\nfrom PIL import Image\nfor path in sys.argv[1:]:\n"
                                            "    im = Image.open(path)\n"
                                            "    px = [(v >> 8, v >> 8, v >> 8, 255) for v in im.getdata()] if im.mode.startswith('I') else im.convert('RGBA').getdata()\n"
                                            "    print(int(im.mode in ('RGBA', 'LA', 'PA') or 'transparency' in im.info), ' '.join('%d %d %d %d' % tuple(p) for p in px))\n"} + paths);
    ASSERT_TRUE(pillow.waitForFinished(60000));
    const QStringList lines = QString::fromLatin1(pillow.readAllStandardOutput()).split('\n');
    ASSERT_EQ(pillow.exitCode(), 0) << pillow.readAllStandardError().toStdString();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i].toStdString());
        const tk::Picture picture = tk::LoadPicture(paths[i].toStdString());
        QStringList values = lines[i].split(' ');
        EXPECT_EQ(picture.hasAlpha(), values.takeFirst() == "1") << "alpha, a channel's or tRNS's";
        ASSERT_EQ(values.size(), qsizetype(picture.widthPixels()) * picture.heightPixels() * 4);
        for (qsizetype k = 0; k < values.size(); ++k) {
            const uint32_t p = picture.image().pixels[size_t(k / 4)], ours = p >> (k % 4 == 3 ? 24 : 16 - 8 * (k % 4)) & 0xFF;
            ASSERT_LE(std::abs(int(ours) - values[k].toInt()), sixteen[size_t(i)] ? 1 : 0) << "sample " << k;
        }
    }
    // Cut anywhere, or claiming 65,535 x 65,535 pixels, a PNG is refused naming the file.
    const std::vector<uint8_t> whole = tree.read("k44.png");
    std::vector<uint8_t> huge(whole.begin(), whole.begin() + 33);
    for (const size_t at : {16, 20}) huge[at + 2] = huge[at + 3] = 0xFF;
    huge[24] = 8, huge[25] = 6, huge[28] = 0;  // 8-bit RGBA, not interlaced
    const uLong crc = crc32(crc32(0, nullptr, 0), huge.data() + 12, 17);
    for (int k = 0; k < 4; ++k) huge[29 + size_t(k)] = uint8_t(crc >> (24 - 8 * k));
    huge.insert(huge.end(), {0, 0, 0, 16, 'I', 'D', 'A', 'T', 0x78, 0x9C});  // its pixel data begins
    std::vector<std::vector<uint8_t>> broken = {huge};
    for (size_t cut = 1; cut < whole.size(); cut += 7) broken.emplace_back(whole.begin(), whole.begin() + std::ptrdiff_t(cut));
    for (const std::vector<uint8_t>& bytes : broken) {
        tree.addFile("cut.png", bytes);
        try {
            tk::LoadPicture(tree.path("cut.png"));
            ADD_FAILURE() << "a broken file of " << bytes.size() << " bytes was read";
        } catch (const tk::Error& e) {
            EXPECT_TRUE(e.description().contains("cut.png") && (&bytes != &broken.front() || e.description().contains("larger")))
                << e.description().toStdString();
        }
    }
}
