// The frame list beside a sheet (quiltwright-batch --atlas): every frame is its picture's cell
// whatever the picture's name, what JSON cannot hold is refused before anything is written, the
// sheet and the list are replaced together or not at all, and a real engine's loader reads them.

#include "support/BatchProcess.h"
#include "support/BmpBuilder.h"
#include "support/Engine.h"
#include "support/Pictures.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "storage/AtomicFile.h"
#include "toolkit/PictureBox.h"
#include "toolkit/Screen.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace {

// To the letter: a leading U+FEFF stays.
QString q(const std::string& s) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(s.data(), qsizetype(s.size())));
}

// Names holding what JSON escapes, letters past ASCII, folders in folders; pictures of many sizes.
const std::vector<std::string> kNames = {
    "walk/01.bmp", "walk/10.bmp", "walk/2.bmp", "a \"quoted\" name.bmp", "back\\slash/x.bmp", "tab\there.bmp",
    "new\nline.bmp", "caf\xc3\xa9/\xc3\xbcn\xc3\xaf \xe2\x98\x83.bmp", "deep/er/still/Z.BMP", "line\xe2\x80\xa8sep.bmp", "bell\x07\x1f.bmp",
    "\xef\xbb\xbfwalk/01.bmp"};  // a name beginning with U+FEFF, which is no byte order mark

void addPictures(const TempTree& tree, const std::string& folder) {
    for (uint32_t i = 0; i < kNames.size(); ++i)
        tree.addFile(folder + "/" + kNames[i], bmp24(20 + 7 * int(i), 50 - 3 * int(i), [i](int x, int y) {
                         return y > 10 ? 0x101010 * (i + 1) + uint32_t(x) * 0x020000 + uint32_t(y) * 0x000203 : 0xFFFFFFu;
                     }));
    tree.addFile(folder + "/Combined.bmp", solidBmp(8, 8, 0xFF0000));  // the program's own: no frame
}

QJsonObject readJson(const std::string& path) {
    const std::vector<uint8_t> bytes = readFile(path);
    // Qt's JSON reader drops a U+FEFF that begins a string, as engines' JSON.parse does not: it
    // is handed over escaped.
    const QByteArray text = QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())).replace("\xef\xbb\xbf", "\\ufeff");
    QJsonParseError error{};
    const QJsonObject json = QJsonDocument::fromJson(text, &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return json;
}

// A list's frames by name, from either layout.
QJsonObject framesOf(const QJsonObject& list) {
    if (!list[u"frames"_s].isArray()) return list[u"frames"_s].toObject();
    QJsonObject frames;
    for (const QJsonValue frame : list[u"frames"_s].toArray()) frames[frame[u"filename"_s].toString()] = frame;
    return frames;
}

QRect rectOf(const QJsonObject& r) { return QRect(r[u"x"_s].toInt(), r[u"y"_s].toInt(), r[u"w"_s].toInt(), r[u"h"_s].toInt()); }

QStringList runArguments(const TempTree& tree, bool drop, const std::string& list, const std::string& sheet) {
    QStringList arguments = {"--width=40", "--height=30", "--atlas=" + q(tree.path(list)), "--output=" + q(tree.path(sheet)), q(tree.path("pics"))};
    if (drop) arguments.prepend(u"--drop-to-floor"_s);
    return arguments;
}

}  // namespace

TEST(FrameList, every_frame_is_its_pictures_cell_on_the_sheet_whatever_its_name) {
    TempTree tree({"atlas/", "sheets/"});
    addPictures(tree, "pics");
    std::map<std::string, QRect> plain;
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "drop to floor" : "plain");
        const BatchResult run = batch(runArguments(tree, drop, "atlas/list.json", "sheets/sheet.bmp"));
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const QJsonObject json = readJson(tree.path("atlas/list.json")), frames = json[u"frames"_s].toObject(), meta = json[u"meta"_s].toObject();
        const tk::Picture sheet = tk::LoadPicture(tree.path("sheets/sheet.bmp"));
        EXPECT_EQ(meta[u"image"_s].toString() + meta[u"app"_s].toString(), u"../sheets/sheet.bmpKestrune Quiltwright"_s);
        EXPECT_EQ(rectOf(meta[u"size"_s].toObject()).size(), QSize(sheet.widthPixels(), sheet.heightPixels()));
        ASSERT_EQ(frames.size(), qsizetype(kNames.size()));
        for (const std::string& name : kNames) {
            SCOPED_TRACE(name);
            const QJsonObject frame = frames[q(name)].toObject();
            const QRect cell = rectOf(frame[u"frame"_s].toObject());
            EXPECT_EQ(rectOf(frame[u"sourceSize"_s].toObject()).size(), cell.size());
            EXPECT_TRUE(QRect(0, 0, sheet.widthPixels(), sheet.heightPixels()).contains(cell));
            if (drop) {
                EXPECT_EQ(cell, plain[name]) << "the frame is the cell in either mode";
                continue;
            }
            plain[name] = cell;
            // A second route: the picture itself, stretched into a box of the cell's size.
            tk::PictureBox box(u"cell"_s, 0);
            box.setBorderStyle(0);
            box.setWidth(40 * tk::Screen::TwipsPerPixelX()), box.setHeight(30 * tk::Screen::TwipsPerPixelY());
            box.PaintPicture(tk::LoadPicture(tree.path("pics/" + name)), 0, 0, box.Width(), box.Height());
            for (int y = 0; y < cell.height(); ++y)
                for (int x = 0; x < cell.width(); ++x)
                    ASSERT_EQ(rgbAt(sheet.image(), cell.x() + x, cell.y() + y), rgbAt(box.persistentImage(), x, y)) << x << "," << y;
        }
    }
    // The array layout lists the frames as the sheet holds them (row by row, left to right): in
    // natural order walk/2.bmp before walk/10.bmp. Each folder's animation is its frames in that
    // order; with Drop to floor every frame is anchored at its bottom centre; meta.grid is the grid.
    for (const bool natural : {false, true}) {
        SCOPED_TRACE(natural ? "natural order, drop to floor" : "list order");
        // Cells of 53: twelve to a row, the twelve pictures fill it.
        const QString order = natural ? u"--order=natural"_s : u"--order=list"_s;
        ASSERT_EQ(batch(runArguments(tree, natural, "atlas/list.json", "sheets/sheet.bmp") << u"--atlas-format=array"_s << order << u"--width=53"_s).status, 0);
        // The sheet is the same without the list.
        QStringList alone = {order, u"--width=53"_s, u"--height=30"_s, "--output=" + q(tree.path("alone.bmp")), q(tree.path("pics"))};
        if (natural) alone << u"--drop-to-floor"_s;
        ASSERT_EQ(batch(alone).status, 0);
        EXPECT_EQ(tree.read("alone.bmp"), tree.read("sheets/sheet.bmp"));
        const QJsonObject json = readJson(tree.path("atlas/list.json"));
        const tk::Picture sheet = tk::LoadPicture(tree.path("sheets/sheet.bmp"));
        std::vector<std::tuple<int, int, QString>> byPlace;
        QStringList listed;
        std::map<QString, QJsonArray> folders;
        for (const QJsonValue frame : json[u"frames"_s].toArray()) {
            const QString name = frame[u"filename"_s].toString();
            const QRect cell = rectOf(frame[u"frame"_s].toObject());
            listed << name;
            byPlace.emplace_back(cell.y(), cell.x(), name);
            folders[name.contains(u'/') ? name.section(u'/', 0, -2) : u"."_s].append(name);
            // Dropped, each sprite is anchored where it stands: on the row under its lowest pixel of
            // another colour than its background (a picture shorter than its cell stands above the
            // floor), in the middle of the picture as drawn in its frame.
            const double drawn = std::min(tk::LoadPicture(tree.path("pics/" + name.toStdString())).widthPixels(), cell.width());
            int stands = 0;
            for (int y = 0; y < cell.height(); ++y)
                for (int x = 0; x < cell.width(); ++x)
                    if (rgbAt(sheet.image(), cell.x() + x, cell.y() + y) != rgbAt(sheet.image(), cell.x(), cell.y())) stands = y + 1;
            EXPECT_EQ(frame[u"anchor"_s].toObject(), (natural ? QJsonObject{{"x", drawn / 2 / cell.width()}, {"y", double(stands) / cell.height()}} : QJsonObject{}));
        }
        std::sort(byPlace.begin(), byPlace.end());
        for (size_t i = 0; i < byPlace.size(); ++i) EXPECT_EQ(std::get<2>(byPlace[i]), listed.value(qsizetype(i)));
        EXPECT_EQ(listed.indexOf(u"walk/2.bmp"_s) < listed.indexOf(u"walk/10.bmp"_s), natural);
        EXPECT_EQ(json[u"animations"_s].toObject().size(), qsizetype(folders.size()));
        for (const auto& [folder, names] : folders) EXPECT_EQ(json[u"animations"_s][folder].toArray(), names) << folder.toStdString();
        EXPECT_EQ(json[u"meta"_s][u"grid"_s].toObject(), (QJsonObject{{"frameWidth", 53}, {"frameHeight", 30}, {"margin", 0}, {"spacing", 0},
                                                                     {"columns", 12}, {"rows", 1}, {"frameCount", qsizetype(kNames.size())}}));
    }
}

TEST(FrameList, what_a_frame_list_cannot_hold_is_refused_before_anything_is_written) {
    TempTree tree;
    tree.addFile("pics/ok.bmp", solidBmp(4, 4, 0x00FF00));
    tree.addFile("pics/bad\xff.bmp", solidBmp(4, 4, 0x0000FF));
    tree.addFile("good/ok.bmp", solidBmp(4, 4, 0x00FF00));
    tree.addFile("surrogate/\xed\xa0\x80.bmp", solidBmp(4, 4, 0x00FF00));
    tree.addFile("nothing/Combined.bmp", solidBmp(4, 4, 0x00FF00));
    tree.addFile("out/sheet.bmp", {'o', 'l', 'd'});
    tree.addFile("out/list.json", {'{', '}'});
    const QString sheet = "--output=" + q(tree.path("out/sheet.bmp")), list = "--atlas=" + q(tree.path("out/list.json")), pics = q(tree.path("pics"));
    const std::tuple<const char*, QStringList, int, QString> rows[] = {
        {"a name that is not UTF-8", {sheet, list, pics}, 1, "Error 481: A frame list cannot name " + q(tree.path("pics/bad"))},
        {"the sheet to standard output", {"--output=-", list, pics}, 2, "--atlas needs the sheet in a file"},
        {"the list to standard output", {sheet, "--atlas=-", pics}, 2, "option '--atlas' needs a file name"},
        {"the list in place of the sheet", {sheet, "--atlas=" + q(tree.path("out/sheet.bmp")), pics}, 1, "Error 75: --atlas names the sheet itself"},
        {"the sheet spelt another way", {sheet, "--atlas=" + q(tree.path("out/./sheet.bmp")), pics}, 1, "Error 75: --atlas names the sheet itself"},
        {"a layout of no engine", {sheet, list, "--atlas-format=xml", pics}, 2, "invalid value 'xml' for '--atlas-format'"},
        {"a layout without a list", {sheet, "--atlas-format=array", pics}, 2, "--atlas-format needs --atlas"},
        {"a list and a grid", {sheet, list, "--grid=" + q(tree.path("out/grid.json")), pics}, 2, "give --atlas or --grid, not both"},
        {"the grid to standard output", {sheet, "--grid=-", pics}, 2, "option '--grid' needs a file name"},
        {"an order of no kind", {sheet, list, "--order=random", pics}, 2, "invalid value 'random' for '--order'"},
        {"an encoded surrogate", {sheet, list, q(tree.path("surrogate"))}, 1, "Error 481: A frame list cannot name " + q(tree.path("surrogate/"))},
        {"the sheet to an open file", {"--output=/dev/stdout", list, q(tree.path("good"))}, 1, "Error 75: A frame list needs its sheet in a file"},
        {"nothing to combine", {sheet, list, q(tree.path("nothing"))}, 1, "Error 53: Nothing to combine"}};
    for (const auto& [what, arguments, status, err] : rows) {
        SCOPED_TRACE(what);
        const BatchResult run = batch(arguments);
        EXPECT_EQ(run.status, status);
        EXPECT_TRUE(run.err.startsWith("quiltwright-batch: " + err)) << run.err.toStdString();
        EXPECT_EQ(tree.read("out/sheet.bmp"), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(tree.read("out/list.json"), (std::vector<uint8_t>{'{', '}'}));
        EXPECT_EQ(tree.list("out").size(), 2u) << "nothing left beside them";
    }
}

TEST(FrameList, a_relative_list_names_its_sheet_from_its_own_folder_and_a_wider_cell_is_cut_at_the_sheet) {
    TempTree tree({"atlas/", "sheets/"});
    addPictures(tree, "pics");
    const BatchResult run = batch({"--width=700", "--height=5", "--atlas=atlas/list.json", "--output=sheets/s.bmp", "pics"}, "cd " + q(tree.root()));
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonObject json = readJson(tree.path("atlas/list.json")), meta = json[u"meta"_s].toObject();
    EXPECT_EQ(meta[u"image"_s].toString(), u"../sheets/s.bmp"_s);
    EXPECT_EQ(meta[u"size"_s].toObject()[u"w"_s].toInt(), 640);
    for (const QJsonValue frame : json[u"frames"_s].toObject())
        EXPECT_EQ(rectOf(frame.toObject()[u"frame"_s].toObject()).width(), 640);
}

TEST(FrameList, a_sheet_and_its_list_are_replaced_together_or_not_at_all) {
    const std::vector<uint8_t> oldSheet{'s', '0'}, oldList{'l', '0'}, newSheet(4000, 's'), newList(40000, 'l');
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const auto inTheWay = [](const char* name) { return [name](const TempTree& tree) { std::remove(tree.path(name).c_str()), tree.addFile(std::string(name) + "/x"); }; };
    const std::tuple<const char*, std::function<void(const TempTree&)>, bool> endings[] = {
        {"both complete", [](const TempTree&) {}, true},
        {"the list runs out of room", [&](const TempTree&) {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = limit;
             small.rlim_cur = 10000;  // the sheet fits, the list does not
             ::setrlimit(RLIMIT_FSIZE, &small);
         }, false},
        {"the list cannot be renamed into place", inTheWay("list.json"), false},
        {"the sheet cannot be renamed into place", inTheWay("sheet.bmp"), false}};
    for (const bool earlier : {true, false})  // with an earlier sheet and list, and where none stood
    for (const auto& [what, before, replaced] : endings) {
        SCOPED_TRACE(std::string(what) + (earlier ? "" : ", nothing there before"));
        TempTree tree;
        if (earlier) tree.addFile("sheet.bmp", oldSheet), tree.addFile("list.json", oldList);
        bool failed = false;
        try {
            storage::AtomicFile sheet(tree.path("sheet.bmp")), list(tree.path("list.json"));
            sheet.write(newSheet.data(), newSheet.size()), list.write(newList.data(), newList.size());
            before(tree);  // after both are open, before the commit
            storage::AtomicFile::commitTogether(sheet, list);
        } catch (const storage::Failure&) {
            failed = true;
        }
        ::setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_EQ(failed, !replaced);
        const auto holds = [&](const char* name, const std::vector<uint8_t>& bytes) { return tree.exists(name) && !tree.exists(std::string(name) + "/x") && tree.read(name) == bytes; };
        EXPECT_EQ(holds("sheet.bmp", newSheet), replaced);
        EXPECT_EQ(holds("list.json", newList), replaced);
        EXPECT_TRUE(replaced || tree.exists("sheet.bmp/x") || (earlier ? holds("sheet.bmp", oldSheet) : !tree.exists("sheet.bmp")))
            << "the sheet went without its list";
        const bool inTheWayLeft = tree.exists("sheet.bmp/x") || tree.exists("list.json/x");
        EXPECT_EQ(tree.list().size(), earlier || replaced ? 2u : size_t(inTheWayLeft)) << "no temporary file left";
    }
}

TEST(FrameList, phasers_atlas_loader_reads_the_list_and_every_frame_shows_its_cell) {
    // Phaser's own loader, from the npm registry (make test fetches it), in Debian's Chromium: it
    // reads the list and the sheet it names; each frame's rectangle and three of its pixels, as
    // Phaser reads them, are the list's and the sheet's.
    TempTree tree;
    Engine engine(tree, u"check-atlas.html"_s);
    if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
    addPictures(tree, "pics");
    for (const auto& [drop, array] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        SCOPED_TRACE(std::string(drop ? "drop to floor" : "plain") + (array ? ", JSON Array" : ", JSON Hash"));
        ASSERT_EQ(batch(runArguments(tree, drop, "game/sheet.json", "game/assets/sheet.bmp") << (array ? u"--atlas-format=array"_s : u"--atlas-format=hash"_s)).status, 0);
        const QJsonObject seen = engine.open(u"list=sheet.json"_s);
        if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
        ASSERT_FALSE(seen.contains(u"error"_s)) << seen[u"error"_s].toString().toStdString();
        const QJsonObject frames = seen[u"frames"_s].toObject(), listed = framesOf(readJson(tree.path("game/sheet.json")));
        const tk::Picture sheet = tk::LoadPicture(tree.path("game/assets/sheet.bmp"));
        ASSERT_EQ(frames.size(), qsizetype(kNames.size()));
        for (const std::string& name : kNames) {
            SCOPED_TRACE(name);
            const QJsonObject frame = frames[q(name)].toObject();
            const QRect cell = rectOf(listed[q(name)].toObject()[u"frame"_s].toObject());
            EXPECT_EQ(rectOf(frame), cell);
            // With Drop to floor the frame's pivot, as Phaser sets it from the list, is the list's anchor.
            const QJsonObject anchor = listed[q(name)].toObject()[u"anchor"_s].toObject();
            EXPECT_EQ(frame[u"pivot"_s].toArray(), (drop ? QJsonArray{anchor[u"x"_s], anchor[u"y"_s]} : QJsonArray{}));
            for (const QJsonValue pixel : frame[u"pixels"_s].toArray()) {
                const QJsonArray p = pixel.toArray();
                EXPECT_EQ(uint32_t(p[2].toInt() << 16 | p[3].toInt() << 8 | p[4].toInt()), rgbAt(sheet.image(), cell.x() + p[0].toInt(), cell.y() + p[1].toInt()));
            }
        }
    }
}

TEST(FrameList, pixijs_loads_the_list_and_each_folder_plays_in_file_number_order) {
    // PixiJS's Assets loader (from the npm registry) in Chromium: a PNG sheet with Drop to floor
    // and natural order gives a Spritesheet whose frames are the list's cells with the sheet's
    // pixels, anchored at their bottom centre, and whose animations hold each folder's frames in
    // the order of their numbers, which the files' names do not sort into.
    TempTree tree;
    Engine engine(tree, u"check-pixi.html"_s, {u"pixi-8.23.0"_s});
    if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
    std::map<QString, QJsonArray> animations;
    for (const auto& [folder, count] : {std::pair{"walk", 12}, {"idle", 3}, {".", 1}})
        for (int k = 1; k <= count; ++k) {
            const std::string name = std::string(folder) == "." ? "top.bmp" : std::string(folder) + "/" + folder + "_" + std::to_string(k) + ".bmp";
            animations[QString::fromUtf8(folder)].append(q(name));
            tree.addFile("pics/" + name, bmp24(10 + k, 5 + 2 * k, [k](int x, int y) { return y > 3 ? 0x102030u * uint32_t(k) + uint32_t(x) : 0xFFFFFFu; }));
        }
    ASSERT_EQ(batch({"--width=20", "--height=30", "--drop-to-floor", "--order=natural", "--key=corner", "--atlas=" + q(tree.path("game/sheet.json")),
                     "--output=" + q(tree.path("game/assets/sheet.png")), q(tree.path("pics"))}).status, 0);
    const QJsonObject seen = engine.open(u"list=sheet.json"_s);
    if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
    ASSERT_FALSE(seen.contains(u"error"_s)) << seen[u"error"_s].toString().toStdString();
    const QJsonObject listed = readJson(tree.path("game/sheet.json"))[u"frames"_s].toObject(), frames = seen[u"frames"_s].toObject();
    const Sheet sheet = readPng(tree.path("game/assets/sheet.png"));
    ASSERT_EQ(frames.size(), 16);
    for (auto it = frames.begin(); it != frames.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QJsonObject frame = it.value().toObject();
        const QRect cell = rectOf(listed[it.key()].toObject()[u"frame"_s].toObject());
        EXPECT_EQ(rectOf(frame), cell);
        // The sprite stands on its anchor: the row under its lowest visible pixel, in the middle of
        // its visible columns (these pictures are smaller than their cells, so they stand above it).
        int64_t lowest = -1, left = cell.width(), right = -1;
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                if (sheet.at(cell.x() + x, cell.y() + y) >> 24) lowest = y, left = std::min<int64_t>(left, x), right = std::max<int64_t>(right, x);
        const QJsonArray anchor = frame[u"anchor"_s].toArray();
        EXPECT_NEAR(anchor[0].toDouble() * cell.width(), double(left + right + 1) / 2, 1e-9);
        EXPECT_NEAR(anchor[1].toDouble() * cell.height(), double(lowest + 1), 1e-9);
        for (const QJsonValue pixel : frame[u"pixels"_s].toArray()) {
            const QJsonArray p = pixel.toArray();
            const uint32_t ours = sheet.at(cell.x() + p[0].toInt(), cell.y() + p[1].toInt());
            EXPECT_EQ(uint32_t(p[5].toInt()), ours >> 24);
            if (ours >> 24 == 0xFF) {
                EXPECT_EQ(uint32_t(p[2].toInt() << 16 | p[3].toInt() << 8 | p[4].toInt()), ours & 0xFFFFFF);
            }
        }
    }
    for (const auto& [folder, names] : animations) EXPECT_EQ(seen[u"animations"_s][folder].toArray(), names) << folder.toStdString();
}

TEST(FrameList, pixijs_and_phaser_load_every_page_of_a_sheet_of_pages) {
    // A sheet of four pages: PixiJS loads every page from the first list's related_multi_packs,
    // Phaser every page from the one multiatlas list; each frame where the lists put it.
    TempTree tree;
    Engine engine(tree, u"check-pages.html"_s, {u"pixi-8.23.0"_s, u"phaser-3.90.0"_s});
    if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
    for (int i = 0; i < 25; ++i) tree.addFile(QString::asprintf("pics/f%02d.bmp", i).toStdString(), solidBmp(10 + i % 5, 8, 0x112233u * uint32_t(i + 1)));
    const QStringList shape = {u"--width=24"_s, u"--height=20"_s, u"--max-width=100"_s, u"--max-height=45"_s, q(tree.path("pics"))};
    ASSERT_EQ(batch(shape + QStringList{"--output=" + q(tree.path("game/p-{n}.png")), "--atlas=" + q(tree.path("game/l-{n}.json"))}).status, 0);
    ASSERT_EQ(batch(shape + QStringList{"--output=" + q(tree.path("game/m-{n}.png")), "--atlas=" + q(tree.path("game/m.json")), u"--atlas-format=multiatlas"_s}).status, 0);
    const QJsonObject pixi = engine.open(u"pages=l-0.json"_s), phaser = engine.open(u"multiatlas=m.json"_s);
    if (!engine.missing().isEmpty()) GTEST_SKIP() << engine.missing().toStdString();
    ASSERT_FALSE(pixi.contains(u"error"_s) || phaser.contains(u"error"_s)) << pixi[u"error"_s].toString().toStdString() << phaser[u"error"_s].toString().toStdString();
    EXPECT_EQ(pixi[u"pages"_s].toInt(), 4);
    EXPECT_EQ(phaser[u"pages"_s].toInt(), 4);
    std::map<QString, QRect> pages;  // each frame's rectangle as the page lists give it
    for (int k = 0; k < 4; ++k) {
        const QJsonObject page = framesOf(readJson(tree.path("game/l-" + std::to_string(k) + ".json")));
        for (auto it = page.begin(); it != page.end(); ++it) pages[it.key()] = rectOf(it.value()[u"frame"_s].toObject());
    }
    ASSERT_EQ(pages.size(), 25u);
    EXPECT_EQ(pixi[u"frames"_s].toObject().size(), 25);
    for (const auto& [name, rect] : pages) EXPECT_EQ(rectOf(pixi[u"frames"_s][name].toObject()), rect) << name.toStdString();
    int frames = 0;
    const QJsonArray textures = readJson(tree.path("game/m.json"))[u"textures"_s].toArray();
    for (qsizetype page = 0; page < textures.size(); ++page)
        for (const QJsonValue frame : textures[page][u"frames"_s].toArray()) {
            const QJsonObject got = phaser[u"frames"_s][frame[u"filename"_s].toString()].toObject();
            EXPECT_EQ(got[u"page"_s].toInt(), page);
            EXPECT_EQ(rectOf(got), rectOf(frame[u"frame"_s].toObject())) << frame[u"filename"_s].toString().toStdString();
            ++frames;
        }
    EXPECT_EQ(frames, 25);
    EXPECT_EQ(phaser[u"frames"_s].toObject().size(), 25);
}
