// The frame list beside a sheet (quiltwright-batch --atlas): every frame is its picture's cell
// whatever the picture's name, a name JSON cannot hold is refused before anything is written,
// the sheet and the list are replaced together or not at all, and a real engine's loader reads
// them.

#include "support/BatchProcess.h"
#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "toolkit/AtomicFile.h"
#include "toolkit/PictureBox.h"
#include "toolkit/Screen.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// Pictures whose names hold what JSON escapes, letters past ASCII, folders in folders.
const std::vector<std::string> kNames = {
    "walk/01.bmp", "walk/10.bmp", "walk/2.bmp", "a \"quoted\" name.bmp", "back\\slash/x.bmp", "tab\there.bmp",
    "new\nline.bmp", "caf\xc3\xa9/\xc3\xbcn\xc3\xaf \xe2\x98\x83.bmp", "deep/er/still/Z.BMP", "line\xe2\x80\xa8sep.bmp"};

void addPictures(const TempTree& tree, const std::string& folder) {
    for (size_t i = 0; i < kNames.size(); ++i) {
        const int w = 20 + 7 * static_cast<int>(i), h = 50 - 3 * static_cast<int>(i);
        tree.addFile(folder + "/" + kNames[i], bmp24(w, h, [i](int x, int y) {
                         return y > 10 ? static_cast<uint32_t>(0x101010 * (i + 1) + x * 0x020000 + y * 0x000203) : 0xFFFFFFu;
                     }));
    }
    tree.addFile(folder + "/Combined.bmp", solidBmp(8, 8, 0xFF0000));  // the program's own: no frame
}

QJsonObject readJson(const std::string& path) {
    const std::vector<uint8_t> bytes = readFile(path);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

QRect rectOf(const QJsonObject& frame) {
    const QJsonObject r = frame[QStringLiteral("frame")].toObject();
    return QRect(r[QStringLiteral("x")].toInt(), r[QStringLiteral("y")].toInt(), r[QStringLiteral("w")].toInt(), r[QStringLiteral("h")].toInt());
}

}  // namespace

TEST(FrameList, every_frame_is_its_pictures_cell_on_the_sheet_whatever_its_name) {
    TempTree tree({"atlas/", "sheets/"});
    addPictures(tree, "pics");
    std::map<QString, QRect> plain;
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "drop to floor" : "plain");
        QStringList arguments = {"--width=40", "--height=30", "--atlas=" + q(tree.path("atlas/list.json")),
                                 "--output=" + q(tree.path("sheets/sheet.bmp")), q(tree.path("pics"))};
        if (drop) arguments.prepend(QStringLiteral("--drop-to-floor"));
        const BatchResult run = batch(arguments);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const QJsonObject json = readJson(tree.path("atlas/list.json"));
        const QJsonObject frames = json[QStringLiteral("frames")].toObject(), meta = json[QStringLiteral("meta")].toObject();
        const tk::Picture sheet = tk::LoadPicture(tree.path("sheets/sheet.bmp"));
        EXPECT_EQ(meta[QStringLiteral("image")].toString(), QStringLiteral("../sheets/sheet.bmp"));
        EXPECT_EQ(meta[QStringLiteral("size")].toObject()[QStringLiteral("w")].toInt(), sheet.widthPixels());
        EXPECT_EQ(meta[QStringLiteral("size")].toObject()[QStringLiteral("h")].toInt(), sheet.heightPixels());
        EXPECT_EQ(meta[QStringLiteral("app")].toString(), QStringLiteral("Kestrune Quiltwright"));
        ASSERT_EQ(frames.size(), qsizetype(kNames.size()));
        for (const std::string& name : kNames) {
            SCOPED_TRACE(name);
            const QJsonObject frame = frames[QString::fromStdString(name)].toObject();
            ASSERT_FALSE(frame.isEmpty()) << "no frame by that name";
            const QRect cell = rectOf(frame);
            EXPECT_EQ(frame[QStringLiteral("sourceSize")].toObject()[QStringLiteral("w")].toInt(), cell.width());
            EXPECT_TRUE(QRect(0, 0, sheet.widthPixels(), sheet.heightPixels()).contains(cell));
            if (drop) {
                EXPECT_EQ(cell, plain[QString::fromStdString(name)]) << "the frame is the cell in either mode";
                continue;
            }
            plain[QString::fromStdString(name)] = cell;
            // A second route: the picture itself, stretched into a box of the cell's size.
            tk::PictureBox box(QStringLiteral("cell"), 0);
            box.setBorderStyle(0);
            box.setWidth(40 * tk::Screen::TwipsPerPixelX()), box.setHeight(30 * tk::Screen::TwipsPerPixelY());
            box.PaintPicture(tk::LoadPicture(tree.path("pics/" + name)), 0, 0, box.Width(), box.Height());
            for (int y = 0; y < cell.height(); ++y)
                for (int x = 0; x < cell.width(); ++x)
                    ASSERT_EQ(rgbAt(sheet.image(), cell.x() + x, cell.y() + y), rgbAt(box.persistentImage(), x, y)) << x << "," << y;
        }
    }
}

TEST(FrameList, what_a_frame_list_cannot_hold_is_refused_before_anything_is_written) {
    TempTree tree;
    tree.addFile("pics/ok.bmp", solidBmp(4, 4, 0x00FF00));
    tree.addFile("pics/bad\xff.bmp", solidBmp(4, 4, 0x0000FF));
    tree.addFile("out/sheet.bmp", {'o', 'l', 'd'});
    tree.addFile("out/list.json", {'{', '}'});
    const QString sheet = "--output=" + q(tree.path("out/sheet.bmp")), list = "--atlas=" + q(tree.path("out/list.json"));
    struct Row {
        const char* what;
        QStringList arguments;
        int status;
        QString err;
    };
    const Row rows[] = {
        {"a name that is not UTF-8", {sheet, list, q(tree.path("pics"))}, 1, "quiltwright-batch: Error 481: A frame list cannot name " + q(tree.path("pics/bad"))},
        {"the sheet to standard output", {"--output=-", list, q(tree.path("pics"))}, 2, "quiltwright-batch: --atlas needs the sheet in a file"},
        {"the list to standard output", {sheet, "--atlas=-", q(tree.path("pics"))}, 2, "quiltwright-batch: option '--atlas' needs a file name"},
        {"the list in place of the sheet", {sheet, "--atlas=" + q(tree.path("out/sheet.bmp")), q(tree.path("pics"))}, 1,
         "quiltwright-batch: Error 75: --atlas names the sheet itself"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const BatchResult run = batch(row.arguments);
        EXPECT_EQ(run.status, row.status);
        EXPECT_TRUE(run.err.startsWith(row.err)) << run.err.toStdString();
        EXPECT_EQ(tree.read("out/sheet.bmp"), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(tree.read("out/list.json"), (std::vector<uint8_t>{'{', '}'}));
        EXPECT_EQ(tree.list("out").size(), 2u) << "nothing left beside them";
    }
}

TEST(FrameList, a_sheet_and_its_list_are_replaced_together_or_not_at_all) {
    const std::vector<uint8_t> oldSheet{'s', '0'}, oldList{'l', '0'};
    const std::vector<uint8_t> newSheet(4000, 's'), newList(40000, 'l');
    struct Ending {
        const char* what;
        std::function<void(const TempTree&)> before;  // after both files are open, before the commit
        bool replaced;
    };
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const Ending endings[] = {
        {"both complete", [](const TempTree&) {}, true},
        {"the list runs out of room", [&](const TempTree&) {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = limit;
             small.rlim_cur = 10000;  // the sheet fits, the list does not
             ::setrlimit(RLIMIT_FSIZE, &small);
         }, false},
        {"the list cannot be renamed into place", [](const TempTree& tree) {
             std::remove(tree.path("list.json").c_str());
             tree.addFile("list.json/in-the-way", {'x'});
         }, false},
        {"the sheet cannot be renamed into place", [](const TempTree& tree) {
             std::remove(tree.path("sheet.bmp").c_str());
             tree.addFile("sheet.bmp/in-the-way", {'x'});
         }, false},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.what);
        TempTree tree;
        tree.addFile("sheet.bmp", oldSheet);
        tree.addFile("list.json", oldList);
        bool failed = false;
        try {
            tk::AtomicFile sheet(tree.path("sheet.bmp")), list(tree.path("list.json"));
            sheet.write(newSheet.data(), newSheet.size());
            list.write(newList.data(), newList.size());
            ending.before(tree);
            tk::AtomicFile::commitTogether(sheet, list);
        } catch (const tk::Error&) {
            failed = true;
        }
        ::setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_EQ(failed, !ending.replaced);
        const bool sheetNew = tree.exists("sheet.bmp/in-the-way") ? false : tree.read("sheet.bmp") == newSheet;
        const bool listNew = tree.exists("list.json/in-the-way") ? false : tree.read("list.json") == newList;
        EXPECT_EQ(sheetNew, ending.replaced);
        EXPECT_EQ(listNew, ending.replaced);
        if (!tree.exists("sheet.bmp/in-the-way")) {
            EXPECT_EQ(tree.read("sheet.bmp"), ending.replaced ? newSheet : oldSheet);
        }
        EXPECT_EQ(tree.list().size(), 2u) << "no temporary file left";
    }
}

TEST(FrameList, phasers_atlas_loader_reads_the_list_and_every_frame_shows_its_cell) {
    // Phaser's own loader, from the npm registry (make test fetches it), in Debian's Chromium:
    // it reads the list and the sheet it names; each frame's rectangle and three of its pixels,
    // as Phaser reads them, are the list's and the sheet's.
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const std::string phaser = std::string(QW_ENGINE_FETCHED) + "/phaser-3.90.0.min.js";
    if (chromium.isEmpty() || node.isEmpty() || !std::ifstream(phaser))
        GTEST_SKIP() << "the engine cannot run here: " << (chromium.isEmpty() ? "no chromium; " : "") << (node.isEmpty() ? "no node; " : "")
                     << (std::ifstream(phaser) ? "" : "Phaser was not fetched (scripts/fetch-engine)");
    TempTree tree({"game/assets/", "profile/", "tmp/"});
    addPictures(tree, "pics");
    tree.addFile("game/phaser.min.js", readFile(phaser));
    tree.addFile("game/check.html", readFile(std::string(QW_ENGINE) + "/check-atlas.html"));
    QProcess server;
    server.start(node, {QStringLiteral(QW_ENGINE) + "/serve.mjs", q(tree.path("game"))});
    ASSERT_TRUE(server.waitForReadyRead(10000)) << server.readAllStandardError().toStdString();
    const QString port = QString::fromLatin1(server.readLine()).trimmed();
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "drop to floor" : "plain");
        QStringList arguments = {"--width=40", "--height=30", "--atlas=" + q(tree.path("game/sheet.json")),
                                 "--output=" + q(tree.path("game/assets/sheet.bmp")), q(tree.path("pics"))};
        if (drop) arguments.prepend(QStringLiteral("--drop-to-floor"));
        ASSERT_EQ(batch(arguments).status, 0);
        QProcess browser;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), q(tree.path("tmp")));
        browser.setProcessEnvironment(environment);
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                 "--user-data-dir=" + q(tree.path("profile")), "--virtual-time-budget=20000", "--dump-dom",
                                 "http://127.0.0.1:" + port + "/check.html?list=sheet.json"});
        ASSERT_TRUE(browser.waitForFinished(90000));
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        const qsizetype start = dom.indexOf(QStringLiteral("<pre id=\"result\">")) + 17, end = dom.indexOf(QStringLiteral("</pre>"));
        const QJsonObject seen = QJsonDocument::fromJson(QByteArray::fromBase64(dom.mid(start, end - start).toLatin1())).object();
        ASSERT_FALSE(seen.contains(QStringLiteral("error"))) << seen[QStringLiteral("error")].toString().toStdString();
        const QJsonObject frames = seen[QStringLiteral("frames")].toObject();
        const QJsonObject listed = readJson(tree.path("game/sheet.json"))[QStringLiteral("frames")].toObject();
        const tk::Picture sheet = tk::LoadPicture(tree.path("game/assets/sheet.bmp"));
        ASSERT_EQ(frames.size(), qsizetype(kNames.size())) << dom.left(300).toStdString();
        for (const std::string& name : kNames) {
            SCOPED_TRACE(name);
            const QJsonObject frame = frames[QString::fromStdString(name)].toObject();
            const QRect cell = rectOf(listed[QString::fromStdString(name)].toObject());
            EXPECT_EQ(QRect(frame[QStringLiteral("x")].toInt(), frame[QStringLiteral("y")].toInt(), frame[QStringLiteral("w")].toInt(),
                            frame[QStringLiteral("h")].toInt()), cell);
            for (const QJsonValue pixel : frame[QStringLiteral("pixels")].toArray()) {
                const QJsonArray p = pixel.toArray();
                const uint32_t rgb = static_cast<uint32_t>(p[2].toInt() << 16 | p[3].toInt() << 8 | p[4].toInt());
                EXPECT_EQ(rgb, rgbAt(sheet.image(), cell.x() + p[0].toInt(), cell.y() + p[1].toInt())) << p[0].toInt() << "," << p[1].toInt();
            }
        }
    }
    server.kill();
    server.waitForFinished();
}
