// Sprite sheets from the batch tool, as properties over generated cases (cell sizes x margin x
// spacing x extrude x key x Drop to floor x PNG or bitmap x threads), each judged against a
// second route: the sheet without the new options (which the window's own tests pin down) cut
// into cells and laid out again by computation, the alpha worked out from the rule the test's
// pictures follow, the gutters by clamping to the nearest cell. The files are read by libpng, by
// this program's reader, and by Pillow.

#include "support/BatchProcess.h"
#include "support/BmpBuilder.h"
#include "support/Engine.h"
#include "support/Pictures.h"
#include "support/TempTree.h"
#include "bitmap/BmpWriter.h"
#include "bitmap/PngWriter.h"
#include "toolkit/Picture.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonDocument>
#include <QUrl>
#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <set>
#include <random>

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// The test's pictures with alpha carry it as a function of their colour, so that the alpha of
// every pixel can be told from a sheet that has none.
uint32_t alphaOf(uint32_t rgb) { return (((rgb >> 8) & 0xFF) ^ 0x5A) << 24; }

// A 32-bit bitmap with an alpha mask (a version 4 header).
std::vector<uint8_t> alphaBmp(int width, int height, const ColourAt& colour) {
    BmpSpec spec;
    spec.width = width, spec.height = height, spec.bitsPerPixel = 32, spec.compression = 3, spec.infoSize = 108;
    spec.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = colour(x, y) | alphaOf(colour(x, y));
            for (const int shift : {0, 8, 16, 24}) spec.pixelData.push_back(static_cast<uint8_t>(argb >> shift));
        }
    return buildBmp(spec);
}

// A sheet's pixels as Pillow gives them, RGBA or RGB bytes, hashed.
QByteArray digest(const Sheet& sheet) {
    QByteArray bytes;
    for (const uint32_t p : sheet.argb) {
        bytes.append(char(p >> 16)).append(char(p >> 8)).append(char(p));
        if (sheet.alpha) bytes.append(char(p >> 24));
    }
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

}  // namespace

TEST(SpriteSheet, every_cell_and_gutter_holds_what_the_rules_compute_in_every_generated_case) {
    // The frame list's frames are the painted cells (each the same picture's cell on the sheet
    // without the new options), Phaser's own parser slices the grid's numbers into exactly those
    // frames, and what lies between the cells is the extruded edge or nothing.
    const int64_t kWidths[] = {1, 2, 5, 16, 33, 64, 100, 213, 320, 321, 639, 640, 700};
    TempTree tree;
    QStringList forPillow;  // "path digest" lines
    QJsonArray toSlice, listedFrames;  // for Phaser's parser: each case's sheet and numbers, and its list's frames
    for (unsigned c = 0; c < 52; ++c) {
        std::mt19937 random(c);
        const int64_t cw = kWidths[c % std::size(kWidths)], ch = 1 + random() % 40;
        const bool asToday = c % 9 == 0, drop = random() % 2;
        const int64_t s = asToday ? 0 : random() % 7, e = asToday ? 0 : random() % 5;
        // Every fifth case a margin as wide as a cell and its spacing, or wider.
        int64_t m = asToday ? 0 : c % 5 == 2 ? cw + s + int64_t(random() % 9) - 4 : random() % 6;
        size_t n = 1 + random() % 6;
        // Every fourth case has the margin at which a row of k cells just fits, or one more, and
        // one cell more than that row holds.
        const bool tight = c % 4 == 1 && cw + s <= 640;
        if (tight) {
            const int64_t k = (640 + s) / (cw + s);
            m = (640 + s - k * (cw + s)) / 2 + random() % 2;
            n = size_t(std::min<int64_t>(k + 1, 8));
        }
        m = std::max<int64_t>(m, 0);
        if (c % 5 == 2 && m + cw <= 640)  // and rows enough to show where an engine's columns end
            n = size_t(std::max<int64_t>(1, (640 - 2 * m + s) / (cw + s)) + 1 + random() % 3);
        const int key = asToday ? 0 : int(random() % 3);  // none, corner, a colour
        const bool png = !asToday && random() % 2;
        const int jobs = 1 + int(random() % 3);
        // Every third case writes its sheet and list into the folder of its pictures.
        const bool inside = c % 3 == 1;
        const std::string folder = "case" + std::to_string(c) + "/";
        std::vector<bool> withAlpha;
        std::vector<int64_t> widths;
        const bool someAlpha = random() % 2;  // half the cases have no picture with alpha
        uint32_t firstBackground = 0;
        for (size_t i = 0; i < n; ++i) {
            const int pw = 1 + int(random() % (2 * cw + 2)), ph = 1 + int(random() % (2 * ch + 2));
            const uint32_t background = random() & 0xFFFFFF, ink = random() & 0xFFFFFF;
            if (i == 0) firstBackground = background;
            const ColourAt colour = [=](int x, int y) { return x >= pw / 3 && y >= ph / 2 ? (ink + uint32_t(x * 0x0301 + y * 0x10003)) & 0xFFFFFF : background; };
            withAlpha.push_back(someAlpha && random() % 2);
            widths.push_back(pw);
            tree.addFile(folder + "pics/" + QString::asprintf("p%03zu.bmp", i).toStdString(), withAlpha.back() ? alphaBmp(pw, ph, colour) : bmp24(pw, ph, colour));
        }
        const QString size = QStringLiteral("--width=%1").arg(cw), tall = QStringLiteral("--height=%1").arg(ch);
        const QString pics = q(tree.path(folder + "pics"));
        const std::string place = folder + (inside ? "pics/" : "");
        const std::string out = tree.path(place + (png ? "out.png" : "out.bmp")), list = tree.path(place + "list.json");
        QStringList options = {size, tall, QStringLiteral("--margin=%1").arg(m), QStringLiteral("--spacing=%1").arg(s),
                               QStringLiteral("--extrude=%1").arg(e), "--jobs=" + QString::number(jobs)};
        if (asToday) options = {size, tall};
        const uint32_t keyColour = key == 2 ? firstBackground : 0;
        if (key) options << (key == 1 ? QStringLiteral("--key=corner") : QStringLiteral("--key=%1").arg(keyColour, 6, 16, QLatin1Char('0')));
        if (drop) options << QStringLiteral("--drop-to-floor");
        if (png && !asToday && random() % 3 == 0) options << QStringLiteral("--compression=smallest");
        options << "--atlas=" + q(list) << QStringLiteral("--atlas-format=array");
        SCOPED_TRACE(options.join(' ').toStdString() + (png ? " png" : " bmp"));
        // The second route's sheets: stretched (the corner each cell's key is read from), and as
        // the case paints its cells, both without the new options.
        const BatchResult stretched = batch({size, tall, "--output=" + q(tree.path(folder + "s.bmp")), pics});
        const BatchResult painted = batch(QStringList{size, tall, "--output=" + q(tree.path(folder + "p.bmp")), pics} + (drop ? QStringList{"--drop-to-floor"} : QStringList{}));
        const BatchResult run = batch(options + QStringList{"--output=" + q(out), pics});
        if (m > 0 && m + cw > 640) {  // no room for a cell: bad usage, nothing written
            EXPECT_EQ(run.status, 2) << run.err.toStdString();
            EXPECT_FALSE(tree.exists(place + (png ? "out.png" : "out.bmp")) || tree.exists(place + "list.json")) << "nothing written";
            continue;
        }
        ASSERT_EQ(stretched.status + painted.status + run.status, 0) << run.err.toStdString() << stretched.err.toStdString() << painted.err.toStdString();
        const std::vector<uint8_t> first = tree.read(place + (png ? "out.png" : "out.bmp"));
        if (asToday) {
            EXPECT_EQ(tree.read(place + "out.bmp"), tree.read(folder + "p.bmp")) << "today's bytes";
            continue;
        }
        const Sheet corners = readBmp(tree.path(folder + "s.bmp")), cells = readBmp(tree.path(folder + "p.bmp"));

        // The layout as the list gives it: frame p is picture p's cell, cut at the sheet's edge.
        const std::vector<uint8_t> listBytes = tree.read(place + "list.json");
        const QJsonObject json = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(listBytes.data()), qsizetype(listBytes.size()))).object();
        const QJsonObject grid = json["meta"]["grid"].toObject();
        const QJsonArray frames = json["frames"].toArray();
        ASSERT_EQ(frames.size(), qsizetype(n));
        const int64_t columns = grid["columns"].toInt(), rows = grid["rows"].toInt();
        const auto frameAt = [&](int64_t p) { const QJsonObject f = frames[p]["frame"].toObject(); return std::array<int64_t, 4>{f["x"].toInt(), f["y"].toInt(), f["w"].toInt(), f["h"].toInt()}; };
        Sheet expected;
        expected.width = json["meta"]["size"]["w"].toInt(), expected.height = json["meta"]["size"]["h"].toInt();
        const bool keepsAlpha = png || key;
        const bool transparent = keepsAlpha && (key || std::count(withAlpha.begin(), withAlpha.end(), true) > 0);
        expected.argb.assign(size_t(expected.width * expected.height), transparent ? 0 : 0xFF000000u);
        // Where a dropped picture wider than its cell may reach past it (not into another cell): its index.
        std::vector<int64_t> reached(expected.argb.size(), -1);
        const int64_t plainPerRow = std::max<int64_t>(1, 640 / cw);
        for (int64_t p = 0; p < int64_t(n); ++p) {
            const auto [left, top, fw, fh] = frameAt(p);
            EXPECT_EQ(frames[p]["filename"].toString(), QString::asprintf("p%03d.bmp", int(p)));
            ASSERT_EQ(fw, std::min(cw, expected.width - left));
            ASSERT_EQ(fh, ch);
            const int64_t plainLeft = p % plainPerRow * cw, plainTop = p / plainPerRow * ch;
            const uint32_t corner = corners.at(plainLeft, plainTop) & 0xFFFFFF;
            for (int64_t y = 0; y < ch; ++y) {
                for (int64_t x = 0; x < fw; ++x) {
                    const uint32_t rgb = cells.at(plainLeft + x, plainTop + y) & 0xFFFFFF;
                    uint32_t alpha = keepsAlpha && withAlpha[size_t(p)] ? alphaOf(rgb) : 0xFF000000u;
                    if ((key == 1 && rgb == corner) || (key == 2 && rgb == keyColour)) alpha = 0;
                    expected.argb[size_t((top + y) * expected.width + left + x)] = rgb | alpha;
                }
                const int64_t limit = p + 1 < int64_t(n) && (p + 1) % columns ? left + cw + s : expected.width;
                for (int64_t x = left + fw; drop && x < std::min(left + widths[size_t(p)], limit); ++x) reached[size_t((top + y) * expected.width + x)] = p;
            }
        }
        // Gutters: a pixel within reach of a cell's edge takes the nearest pixel of that cell; the
        // right margin as the sheet has it.
        Sheet withGutters = expected;
        for (int64_t p = 0; p < int64_t(n); ++p) {
            const auto [left, top, fw, fh] = frameAt(p);
            const int64_t right = left + fw, bottom = top + ch;
            const int64_t column = p % columns, row = p / columns;
            const auto reach = [&](bool atEdge) { return std::min(e, atEdge ? m : s / 2); };
            const int64_t x0 = left - reach(column == 0), x1 = right + (column + 1 == columns ? std::min(e, expected.width - right) : std::min(reach(false), expected.width - right));
            const int64_t y0 = top - reach(row == 0), y1 = bottom + reach(row + 1 == rows);
            for (int64_t y = y0; y < y1; ++y)
                for (int64_t x = x0; x < x1; ++x) {
                    withGutters.argb[size_t(y * expected.width + x)] = expected.at(std::clamp(x, left, right - 1), std::clamp(y, top, bottom - 1));
                    reached[size_t(y * expected.width + x)] = -1;
                }
        }
        withGutters.alpha = transparent && std::any_of(withGutters.argb.begin(), withGutters.argb.end(), [](uint32_t p) { return p < 0xFF000000u; });
        if (!withGutters.alpha)
            for (uint32_t& p : withGutters.argb) p |= 0xFF000000u;

        const Sheet written = png ? readPng(out) : readBmp(out);
        ASSERT_EQ(written.width, withGutters.width);
        ASSERT_EQ(written.height, withGutters.height);
        EXPECT_LE(written.width, 640);
        EXPECT_EQ(written.alpha, withGutters.alpha);
        for (int64_t y = 0; y < written.height; ++y)
            for (int64_t x = 0; x < written.width; ++x) {
                const int64_t p = reached[size_t(y * written.width + x)];
                if (p < 0) {
                    ASSERT_EQ(written.at(x, y), withGutters.at(x, y)) << "at " << x << ", " << y;
                } else if (key) {  // what a wide picture reached past its cell is keyed as the cell is
                    const uint32_t corner = corners.at(p % plainPerRow * cw, p / plainPerRow * ch) & 0xFFFFFF;
                    ASSERT_FALSE(written.at(x, y) >> 24 && (written.at(x, y) & 0xFFFFFF) == (key == 1 ? corner : keyColour)) << "at " << x << ", " << y;
                }
            }
        // The run's own sheet and list are never its frames: run again, the same bytes.
        ASSERT_EQ(batch(options + QStringList{"--output=" + q(out), pics}).status, 0);
        EXPECT_EQ(tree.read(place + (png ? "out.png" : "out.bmp")), first);
        if (png) {
            const std::string again = tree.path(folder + "again.png");
            ASSERT_EQ(batch(options + QStringList{"--jobs=" + QString::number(jobs % 3 + 1), "--output=" + q(again), pics}).status, 0);
            EXPECT_EQ(tree.read(folder + "again.png"), tree.read(place + "out.png")) << "the same bytes on other threads";
        }
        toSlice.append(QJsonObject{{"width", qint64(written.width)}, {"height", qint64(written.height)}, {"frameWidth", grid["frameWidth"]},
                                   {"frameHeight", grid["frameHeight"]}, {"margin", grid["margin"]}, {"spacing", grid["spacing"]}});
        QJsonArray rects;
        for (int64_t p = 0; p < int64_t(n); ++p) {
            const auto [x, y, w, h] = frameAt(p);
            rects.append(QJsonArray{qint64(x), qint64(y), qint64(w), qint64(h)});
        }
        listedFrames.append(rects);
        EXPECT_EQ(grid["frameCount"].toInt(), int(n));
        EXPECT_TRUE(rows * columns >= int64_t(n) && (rows - 1) * columns < int64_t(n) && columns <= int64_t(n)) << "as the sheet has them";
        forPillow << q(out) + ' ' + (written.alpha ? "RGBA " : "RGB ") + digest(written);
    }
    // Phaser's spritesheet parser cuts every sheet, by the grid's numbers, into the list's frames
    // first (a part-filled last row leaves empty frames after them).
    QString missing;
    const QJsonArray sliced = phaserSlices(toSlice, missing);
    if (missing.isEmpty()) {
        ASSERT_EQ(sliced.size(), listedFrames.size());
        for (qsizetype i = 0; i < sliced.size(); ++i) {
            const QJsonArray frames = listedFrames[i].toArray();
            QJsonArray first;
            for (qsizetype k = 0; k < std::min(frames.size(), sliced[i].toArray().size()); ++k) first.append(sliced[i].toArray()[k]);
            EXPECT_EQ(first, frames) << QJsonDocument(toSlice[i].toObject()).toJson(QJsonDocument::Compact).toStdString();
        }
    }
    // Pillow, a decoder of its own, reads every sheet to the same pixels.
    QProcess pillow;
    pillow.start(QStringLiteral("/usr/bin/python3"),
                 {"-c", "import sys, hashlib\nfrom PIL import Image\nfor line in sys.stdin.read().splitlines():\n"
                        "    path, mode, digest = line.split(' ')\n    im = Image.open(path).convert(mode)\n"
                        "    print(hashlib.sha256(im.tobytes()).hexdigest() == digest, path)\n"});
    ASSERT_TRUE(pillow.waitForStarted());
    pillow.write(forPillow.join('\n').toUtf8());
    pillow.closeWriteChannel();
    ASSERT_TRUE(pillow.waitForFinished(60000));
    const QString said = QString::fromUtf8(pillow.readAllStandardOutput());
    EXPECT_EQ(pillow.exitCode(), 0) << pillow.readAllStandardError().toStdString();
    EXPECT_EQ(said.count(QStringLiteral("True ")), forPillow.size()) << said.toStdString();
    if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
}

TEST(SpriteSheet, phasers_spritesheet_loader_slices_by_margin_and_spacing_and_keyed_backgrounds_are_transparent) {
    // Phaser's load.spritesheet, given the numbers of the grid file written with the sheet, for
    // generated sizes: frame k is cell k, every pixel as libpng reads the sheet, and each frame's
    // keyed background (its top-left colour) has alpha 0.
    TempTree tree;
    Engine engine(tree, QStringLiteral("check-spritesheet.html"));
    tree.addFolder("game/assets");
    std::mt19937 random(5);
    QJsonArray sheets;
    std::vector<Sheet> written;
    for (int i = 0; i < 4; ++i) {
        const int cw = 1 + int(random() % 64), ch = 1 + int(random() % 40), m = int(random() % 6), s = int(random() % 7), n = 1 + int(random() % 12);
        const std::string folder = "pics" + std::to_string(i);
        for (int k = 0; k < n; ++k) {
            const uint32_t background = random() & 0xFFFFFF, ink = background ^ 0x808080;
            tree.addFile(folder + "/" + char('a' + k) + ".bmp", bmp24(1 + int(random() % 90), 1 + int(random() % 50), [=](int x, int y) { return x > 2 && y > 2 ? ink : background; }));
        }
        const std::string image = "game/assets/sheet" + std::to_string(i) + ".png", grid = "grid" + std::to_string(i) + ".json";
        ASSERT_EQ(batch({QStringLiteral("--width=%1").arg(cw), QStringLiteral("--height=%1").arg(ch), QStringLiteral("--margin=%1").arg(m),
                         QStringLiteral("--spacing=%1").arg(s), QStringLiteral("--extrude=%1").arg(random() % 3), "--key=corner",
                         "--output=" + q(tree.path(image)), "--grid=" + q(tree.path(grid)), q(tree.path(folder))}).status, 0);
        written.push_back(readPng(tree.path(image)));
        // The numbers Phaser is given are the ones the grid file holds.
        const std::vector<uint8_t> bytes = tree.read(grid);
        QJsonObject numbers = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))).object();
        const int perRow = std::max(1, (640 - 2 * m + s) / (cw + s));
        EXPECT_EQ(numbers, (QJsonObject{{"frameWidth", cw}, {"frameHeight", ch}, {"margin", m}, {"spacing", s}, {"frameCount", n},
                                        {"columns", std::min(perRow, n)}, {"rows", (n + perRow - 1) / perRow}}));
        numbers["image"] = q(image.substr(5));
        numbers["frames"] = numbers["frameCount"];
        sheets.append(numbers);
    }
    if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
    const QJsonObject seen = engine.open("sheets=" + QUrl::toPercentEncoding(QString::fromUtf8(QJsonDocument(sheets).toJson(QJsonDocument::Compact))));
    if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
    ASSERT_FALSE(seen.contains("error")) << seen["error"].toString().toStdString();
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        const QJsonObject asked = sheets[i].toObject(), got = seen["sheets"].toArray()[i].toObject();
        const int cw = asked["frameWidth"].toInt(), ch = asked["frameHeight"].toInt(), m = asked["margin"].toInt(), s = asked["spacing"].toInt();
        const int64_t perRow = std::max(1, (640 - 2 * m + s) / (cw + s));
        SCOPED_TRACE(QJsonDocument(asked).toJson(QJsonDocument::Compact).toStdString());
        const QJsonArray frames = got["frames"].toArray();
        ASSERT_EQ(frames.size(), asked["frames"].toInt());
        EXPECT_GE(got["total"].toInt(), asked["frames"].toInt());
        for (qsizetype k = 0; k < frames.size(); ++k) {
            const QJsonObject frame = frames[k].toObject();
            const int64_t left = m + k % perRow * (cw + s), top = m + k / perRow * (ch + s);
            ASSERT_EQ(QList<int>({frame["x"].toInt(), frame["y"].toInt(), frame["w"].toInt(), frame["h"].toInt()}),
                      QList<int>({int(left), int(top), cw, ch})) << "frame " << k;
            const QJsonArray pixels = frame["pixels"].toArray();
            EXPECT_EQ(uint32_t(pixels[0].toDouble()) >> 24, 0u) << "the keyed background of frame " << k;
            for (int y = 0; y < ch; ++y)
                for (int x = 0; x < cw; ++x) {
                    const auto phaser = uint32_t(pixels[y * cw + x].toDouble()), ours = written[size_t(i)].at(left + x, top + y);
                    // A browser keeps no colour under alpha 0.
                    ASSERT_EQ(phaser >> 24 ? phaser : 0u, ours >> 24 ? ours : 0u) << "frame " << k << " at " << x << ", " << y;
                }
        }
    }
}

TEST(SpriteSheet, formats_keys_and_gutters_as_people_type_them_and_bad_values_write_nothing) {
    TempTree tree;
    tree.addFile("pics/a.bmp", solidBmp(4, 4, 0xFF00FF));
    const QString pics = q(tree.path("pics")), out = q(tree.path("out"));
    const std::tuple<QStringList, int, const char*> rows[] = {
        {{"--output=" + out + "/s.PNG"}, 0, "s.PNG"},
        {{"--format=PNG", "--output=" + out + "/sheet"}, 0, "sheet"},
        {{"--format=png"}, 0, "../pics/Combined.png"},
        {{"--format=bmp", "--key=#FF00ff", "--output=" + out + "/k.bmp"}, 0, "k.bmp"},
        {{"--spacing=-1", "--output=" + out + "/x.png"}, 2, "invalid value '-1' for '--spacing'"},
        {{"--margin=4097", "--output=" + out + "/x.png"}, 2, "invalid value '4097' for '--margin'"},
        {{"--extrude=1.5", "--output=" + out + "/x.png"}, 2, "invalid value '1.5' for '--extrude'"},
        {{"--key=red", "--output=" + out + "/x.png"}, 2, "invalid value 'red' for '--key'"},
        {{"--key=ff00f", "--output=" + out + "/x.png"}, 2, "invalid value 'ff00f' for '--key'"},
        {{"--format=gif", "--output=" + out + "/x.png"}, 2, "invalid value 'gif' for '--format'"},
        {{"--format=bmp", "--output=" + out + "/x.png"}, 2, "--format=bmp does not match the name"},
        {{"--format=png", "--output=" + out + "/x.Bmp"}, 2, "--format=png does not match the name"},
        {{"--output=" + out + "/x.webp"}, 2, "--output names a .webp file"},
        {{"--format=png", "--output=" + out + "/x.JPG"}, 2, "--output names a .jpg file"},
        {{"--compression=smallest", "--output=" + out + "/x.bmp"}, 2, "--compression is for PNG sheets"}};
    for (const auto& [arguments, status, said] : rows) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        tree.addFolder("out");
        const BatchResult run = batch(arguments + QStringList{pics});
        ASSERT_EQ(run.status, status) << run.err.toStdString();
        if (status == 2) {
            EXPECT_TRUE(run.err.startsWith("quiltwright-batch: " + QString::fromUtf8(said))) << run.err.toStdString();
            EXPECT_TRUE(tree.list("out").empty()) << "nothing written";
            continue;
        }
        const std::vector<uint8_t> written = tree.read("out/" + std::string(said));
        const bool png = written.size() > 8 && written[1] == 'P' && written[2] == 'N' && written[3] == 'G';
        EXPECT_EQ(png, !arguments.join(' ').contains("bmp")) << "the format its name or --format gives";
        if (!png) {
            EXPECT_EQ(written.size(), bmp::kHeaderSize32 + 64 * 64 * 4u) << "keyed: 32 bits, alpha, one cell of 64";
        }
        std::remove(tree.path("out/" + std::string(said)).c_str());
    }
    // The disk filling (a file size limit) from the first kilobyte to one the PNG just misses, with
    // SIGXFSZ ignored (Error 61) or ending the program: the earlier sheet stays as it was, alone.
    uint32_t noise = 1;
    tree.addFile("noise/n.bmp", bmp24(640, 300, [&](int, int) { return (noise = noise * 1664525u + 1013904223u) >> 8; }));
    const QStringList png = {"--width=640", "--height=300", "--output=" + out + "/n.png", q(tree.path("noise"))};
    ASSERT_EQ(batch(png).status, 0);
    const std::vector<uint8_t> earlier = tree.read("out/n.png");
    tree.addFile("noise/n.bmp", bmp24(640, 300, [&](int, int) { return (noise = noise * 1664525u + 1013904223u) >> 8; }));  // a new sheet differs
    // With a second hard link the sheet is written in place, its room set aside first.
    for (const bool linked : {false, true})
    for (const size_t kib : {size_t{1}, earlier.size() / 2048, (earlier.size() - 1) / 1024})
        for (const bool ignored : {true, false}) {
            SCOPED_TRACE(testing::Message() << "ulimit -f " << kib << (ignored ? ", SIGXFSZ ignored" : "") << (linked ? ", in place" : ""));
            if (linked && !tree.exists("out/link.png")) {
                ASSERT_EQ(::link(tree.path("out/n.png").c_str(), tree.path("out/link.png").c_str()), 0);
            }
            const BatchResult limited = batch(png, QStringLiteral("%1ulimit -f %2").arg(ignored ? "trap '' XFSZ; " : "").arg(kib));
            EXPECT_NE(limited.status, 0);
            EXPECT_TRUE(!ignored || limited.err.contains(QStringLiteral("Error 61"))) << limited.err.toStdString();
            EXPECT_EQ(tree.read("out/n.png"), earlier);
            EXPECT_EQ(tree.list("out"), (linked ? std::vector<std::string>{"link.png", "n.png"} : std::vector<std::string>{"n.png"}));
        }
}

TEST(SpriteSheet, alpha_frames_keep_every_opaque_pixel_under_the_key_and_stand_on_their_floor) {
    // PNG frames of generated sizes, colours hidden under alpha 0, and every kind of corner: clear
    // with a hidden colour that opaque pixels also have, half transparent, opaque. Keyed by their
    // corners, no pixel but the corner's own (alpha and all) goes transparent; dropped at their own
    // size, each stands on its cell's bottom row.
    TempTree tree;
    std::mt19937 random(21);
    std::vector<std::vector<uint32_t>> frames;
    for (int i = 0; i < 18; ++i) {  // the last six of one size, for a sheet that stretches them to cells of that size
        const bool same = i >= 12;
        const int w = same ? 16 : 1 + int(random() % 40), h = same ? 16 : 1 + int(random() % 20), floor = int(random() % uint32_t(h));
        const uint32_t white = 0xFFFFFF, corner = i % 3 == 0 ? white : i % 3 == 1 ? 0x80000000u | (random() & 0xFFFFFF) : 0xFF000000u | (random() & 0xFFFFFF);
        bmp::Image image;
        image.width = w, image.height = h;
        image.pixels = bmp::allocatePixels(size_t(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool ink = y <= floor && (x + y) % 3 == 0, clear = y > floor || random() % 2;
                image.row(y)[x] = ink ? (random() % 2 ? 0xFF000000u | white : 0xFF000000u | uint32_t(random()))  // opaque white too
                                      : clear ? uint32_t(random() & 0xFFFFFF) : corner;                      // hidden colours
            }
        image.row(0)[0] = corner;
        frames.emplace_back(image.pixels.get(), image.pixels.get() + w * h);
        struct File : bmp::ByteSink {
            std::vector<uint8_t> bytes;
            void write(const uint8_t* data, size_t count) override { bytes.insert(bytes.end(), data, data + count); }
        } file;
        bmp::writePng(file, w, h, [&](int32_t y) { return image.row(y); }, true, [](size_t n, const std::function<void(size_t)>& job) { for (size_t k = 0; k < n; ++k) job(k); });
        tree.addFile((same ? "same/f" : "frames/f") + std::to_string(10 + i) + ".png", file.bytes);
    }
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "dropped" : "keyed");
        const QStringList options = {"--pattern=*.PNG", "--width=auto", "--height=auto", "--no-stretch", drop ? "--drop-to-floor" : "--key=corner",
                                     "--atlas-format=array", "--atlas=" + q(tree.path("sheet.json")), "--output=" + q(tree.path("sheet.png")), q(tree.path("frames"))};
        const BatchResult run = batch(options);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        // Without --pattern: the PNG files are counted and the way to them named.
        const BatchResult plain = batch({"--output=" + q(tree.path("plain.bmp")), q(tree.path("frames"))});
        EXPECT_TRUE(plain.status == 1 && plain.err.contains("12 PNG files") && plain.err.contains("--pattern='*.png'")) << plain.err.toStdString();
        const Sheet sheet = readPng(tree.path("sheet.png"));
        const std::vector<uint8_t> bytes = tree.read("sheet.json");
        const QJsonArray listed = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())))["frames"].toArray();
        ASSERT_EQ(listed.size(), 12);
        for (qsizetype i = 0; i < listed.size(); ++i) {
            const QJsonObject f = listed[i]["frame"].toObject();
            int64_t opaque = 0, lowest = -1;
            for (int y = 0; y < f["h"].toInt(); ++y)
                for (int x = 0; x < f["w"].toInt(); ++x) {
                    const uint32_t p = sheet.at(f["x"].toInt() + x, f["y"].toInt() + y);
                    opaque += p >> 24 == 0xFF;
                    if (p >> 24) lowest = y;
                }
            const std::vector<uint32_t>& frame = frames[size_t(i)];
            if (drop) {
                const bool visible = std::any_of(frame.begin(), frame.end(), [&](uint32_t p) { return p >> 24 && p != frame[0]; });
                EXPECT_TRUE(!visible || lowest + 1 == f["h"].toInt()) << "frame " << i << " stands " << f["h"].toInt() - lowest - 1 << " above its floor";
                EXPECT_NEAR(listed[i]["anchor"]["x"].toDouble() * f["w"].toInt(), f["w"].toInt() / 2.0, 1.0) << "centred across, frame " << i;
            } else {
                EXPECT_EQ(opaque, std::count_if(frame.begin(), frame.end(), [&](uint32_t p) { return p >> 24 == 0xFF && p != frame[0]; })) << "frame " << i;
            }
        }
    }
    // Stretched to cells of their own size and dropped, they stand on their floor too.
    ASSERT_EQ(batch({"--pattern=*.png", "--width=16", "--height=16", "--drop-to-floor", "--output=" + q(tree.path("same.png")), q(tree.path("same"))}).status, 0);
    const Sheet same = readPng(tree.path("same.png"));
    for (int i = 0; i < 6; ++i) {
        const std::vector<uint32_t>& frame = frames[size_t(12 + i)];
        int lowest = -1;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (same.at(16 * i + x, y) >> 24 && same.at(16 * i + x, y) != frame[0]) lowest = y;
        EXPECT_TRUE(lowest < 0 || lowest == 15) << "frame " << 12 + i << " stands " << 15 - lowest << " above its floor";
    }
    // Beside a bitmap, the PNG files passed over are said in one line.
    tree.addFile("frames/one.bmp", solidBmp(4, 4, 0x123456));
    const BatchResult beside = batch({"--output=" + q(tree.path("plain.bmp")), q(tree.path("frames"))});
    EXPECT_TRUE(beside.status == 0 && beside.err == "quiltwright-batch: 12 PNG files passed over; give --pattern='*.png' (and --pattern='*.bmp' for both)\n")
        << beside.err.toStdString();
}

TEST(SpriteSheet, columns_widths_and_pages_hold_every_picture_once_within_their_limits_and_slice_as_listed) {
    // Generated runs with --columns, --max-width, --max-height and --pot (the layout's own rules
    // are the compose tests'): the pages' frames together every picture once and each its
    // picture's colour, and Phaser's parser cuts each page by the list's grid into exactly its frames.
    TempTree tree;
    std::mt19937 random(41);
    QJsonArray toSlice, listed;
    for (int c = 0; c < 16; ++c) {
        const int cw = 1 + int(random() % 70), ch = 1 + int(random() % 70), m = int(random() % 5), s = int(random() % 5), n = 1 + int(random() % 60);
        const int columns = c % 3 == 0 ? 1 + int(random() % 12) : 0, maxWidth = 2 * m + cw + int(random() % 700);
        const int maxHeight = c % 4 == 3 ? 0 : 2 * m + ch + int(random() % 300);
        const bool pot = c % 5 == 1 && columns == 0;
        const std::string folder = "run" + std::to_string(c) + "/";
        for (int i = 0; i < n; ++i) tree.addFile(folder + "pics/" + QString::asprintf("p%02d.bmp", i).toStdString(), solidBmp(3, 2, 0x010203u * uint32_t(i + 1)));
        QStringList options = {QStringLiteral("--width=%1").arg(cw), QStringLiteral("--height=%1").arg(ch), QStringLiteral("--margin=%1").arg(m),
                               QStringLiteral("--spacing=%1").arg(s), QStringLiteral("--max-width=%1").arg(maxWidth), "--atlas-format=array",
                               "--output=" + q(tree.path(folder + (c % 2 ? "pics/page-{n}.bmp" : "page-{n}.png"))),
                               "--atlas=" + q(tree.path(folder + "list-{n}.json")), q(tree.path(folder + "pics"))};
        if (columns) options << QStringLiteral("--columns=%1").arg(columns);
        if (maxHeight) options << QStringLiteral("--max-height=%1").arg(maxHeight);
        if (pot) options << "--pot";
        SCOPED_TRACE(options.join(' ').toStdString());
        batch(options);  // run twice: bitmap pages among the pictures are never their frames
        const BatchResult run = batch(options);
        if (m > 0 && !columns && m + cw > (pot ? 1 << (std::bit_width(unsigned(maxWidth)) - 1) : maxWidth)) {
            EXPECT_EQ(run.status, 2) << run.err.toStdString();
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        std::set<QString> seen;
        for (int page = 0; tree.exists(folder + "list-" + std::to_string(page) + ".json"); ++page) {
            const std::vector<uint8_t> bytes = tree.read(folder + "list-" + std::to_string(page) + ".json");
            const QJsonObject json = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))).object();
            const std::string image = tree.path(folder + (c % 2 ? "pics/page-" + std::to_string(page) + ".bmp" : "page-" + std::to_string(page) + ".png"));
            const Sheet sheet = c % 2 ? readBmp(image) : readPng(image);  // a bitmap page is written as it is painted
            QJsonArray frames;
            for (const QJsonValue f : json["frames"].toArray()) {
                const QJsonObject r = f["frame"].toObject();
                EXPECT_TRUE(seen.insert(f["filename"].toString()).second) << "twice: " << f["filename"].toString().toStdString();
                const uint32_t colour = 0x010203u * uint32_t(f["filename"].toString().mid(1, 2).toInt() + 1);
                for (int y = 0; y < r["h"].toInt(); ++y)
                    for (int x = 0; x < r["w"].toInt(); ++x) ASSERT_EQ(sheet.at(r["x"].toInt() + x, r["y"].toInt() + y) & 0xFFFFFF, colour);
                frames.append(QJsonArray{r["x"], r["y"], r["w"], r["h"]});
            }
            const QJsonObject grid = json["meta"]["grid"].toObject();
            if (!pot) {
                toSlice.append(QJsonObject{{"width", qint64(sheet.width)}, {"height", qint64(sheet.height)}, {"frameWidth", grid["frameWidth"]},
                                           {"frameHeight", grid["frameHeight"]}, {"margin", grid["margin"]}, {"spacing", grid["spacing"]}});
                listed.append(frames);
            }
        }
        EXPECT_EQ(seen.size(), size_t(n)) << "every picture once";
    }
    // A list that cannot be renamed into place: the earlier pages and lists stay as they were.
    for (int i = 0; i < 30; ++i) tree.addFile("set/pics/" + std::to_string(i) + ".bmp", solidBmp(3, 2, 0x0F0F0Fu * uint32_t(i)));
    const QStringList set = {"--height=64", "--max-height=64", "--output=" + q(tree.path("set/p-{n}.png")), "--atlas=" + q(tree.path("set/l-{n}.json")), q(tree.path("set/pics"))};
    ASSERT_EQ(batch(set).status, 0);
    const std::vector<uint8_t> page0 = tree.read("set/p-0.png"), list0 = tree.read("set/l-0.json");
    std::remove(tree.path("set/l-2.json").c_str());
    tree.addFile("set/l-2.json/in-the-way", {});
    tree.addFile("set/pics/0.bmp", solidBmp(3, 2, 0xABCDEF));
    EXPECT_EQ(batch(set).status, 1);
    EXPECT_EQ(tree.read("set/p-0.png"), page0);
    EXPECT_EQ(tree.read("set/l-0.json"), list0);
    EXPECT_EQ(tree.list("set").size(), 7u) << "pages and lists of three pages, the pictures' folder, nothing left beside them";
    QString missing;
    const QJsonArray sliced = phaserSlices(toSlice, missing);
    if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
    ASSERT_EQ(sliced.size(), listed.size());
    for (qsizetype i = 0; i < sliced.size(); ++i)
        for (qsizetype k = 0; k < listed[i].toArray().size(); ++k)
            EXPECT_EQ(sliced[i].toArray()[k], listed[i].toArray()[k]) << QJsonDocument(toSlice[i].toObject()).toJson(QJsonDocument::Compact).toStdString();
}
