// quiltwright-batch against the window on the same folders: the same bytes, and the same
// messages on stderr with exit status 1; bad usage exits with 2.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"

#include "toolkit/Picture.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct BatchResult {
    int status = -1;
    QString out, err;
};

BatchResult batch(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(QW_BATCH), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()), QString::fromLocal8Bit(process.readAllStandardError())};
}

QString q(const std::string& s) { return QString::fromStdString(s); }

void sprites(const TempTree& tree) {
    for (int i = 0; i < 23; ++i)
        tree.addFile("s/" + std::to_string(i % 4) + "/p" + std::to_string(i) + ".bmp",
                     bmp24(40 + i, 30 + i, [i](int x, int y) { return y > 10 + i ? 0x2080F0u + static_cast<uint32_t>(x * i) : 0xFFFFFFu; }));
}

}  // namespace

TEST(Batch, writes_byte_for_byte_what_the_window_saves) {
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "drop to floor" : "plain");
        TempTree tree;
        sprites(tree);
        WindowDriver w(tree.path("s"));
        w.click(QStringLiteral("cmdGetContents"));
        w.type(QStringLiteral("txtWidth"), QStringLiteral("48"));
        w.type(QStringLiteral("txtHeight"), QStringLiteral("50"));
        w.tick(drop);
        w.click(QStringLiteral("cmdCombine"));
        w.click(QStringLiteral("cmdSave"));
        const std::vector<uint8_t> fromWindow = tree.read("s/Combined.bmp");
        std::remove(tree.path("s/Combined.bmp").c_str());

        QStringList args = {"--width", "48", "--height", "50", "--output", q(tree.path("batch.bmp")), q(tree.path("s"))};
        if (drop) args.prepend("--drop-to-floor");
        const BatchResult run = batch(args);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << "silent when stderr is not a terminal";
        EXPECT_EQ(tree.read("batch.bmp"), fromWindow);

        QStringList inPlace = {"--width", "48", "--height", "50", q(tree.path("s"))};
        if (drop) inPlace.prepend("--drop-to-floor");
        EXPECT_EQ(batch(inPlace).status, 0);
        EXPECT_EQ(tree.read("s/Combined.bmp"), fromWindow);  // without --output: FOLDER/Combined.bmp
    }
}

TEST(Batch, errors_print_the_windows_message_and_exit_with_1) {
    TempTree tree({"empty/readme.txt"});
    sprites(tree);
    tree.addFile("bad/a.bmp", solidBmp(2, 2, 0xFF0000));
    tree.addFile("bad/b.bmp", {'B', 'M', 0, 0});

    BatchResult missing = batch({q(tree.path("nowhere"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.startsWith("quiltwright-batch: Error 76: ")) << missing.err.toStdString();

    BatchResult empty = batch({q(tree.path("empty"))});
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(empty.err.contains("No bitmap files")) << empty.err.toStdString();

    BatchResult bad = batch({q(tree.path("bad"))});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.err.startsWith("quiltwright-batch: Error 481: ")) << bad.err.toStdString();
    EXPECT_EQ(bad.err.count(QLatin1Char('\n')), 1) << "one line: " << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains(q(tree.path("bad/b.bmp"))));
    EXPECT_FALSE(tree.exists("bad/Combined.bmp"));

    BatchResult unwritable = batch({"--output", q(tree.path("no/such/folder/out.bmp")), q(tree.path("s"))});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.err.contains(q(tree.path("no/such/folder")))) << unwritable.err.toStdString();

    BatchResult negative = batch({"--width", "-3", q(tree.path("s"))});
    EXPECT_EQ(negative.status, 1);
    EXPECT_TRUE(negative.err.startsWith("quiltwright-batch: Error 380: ")) << negative.err.toStdString();
}

TEST(Batch, command_line_follows_the_usual_conventions) {
    TempTree tree;
    sprites(tree);
    tree.addFile("file.txt");
    tree.addFolder("out/");
    const QString folder = q(tree.path("s"));
    struct Case {
        const char* what;
        QStringList arguments;
        int status;
        QString out;  // what standard output starts with
        QString err;  // what standard error starts with (and holds, after a "|")
    };
    const Case cases[] = {
        {"no folder", {}, 2, "", "quiltwright-batch: missing FOLDER"},
        {"two folders", {"a", "b"}, 2, "", "quiltwright-batch: more than one FOLDER given: 'b'"},
        {"unknown option", {"--colour", "x"}, 2, "", "quiltwright-batch: unrecognized option '--colour'|--help"},
        {"unknown option with a value", {"--colour=x", "s"}, 2, "", "quiltwright-batch: unrecognized option '--colour'"},
        {"unknown short option", {"-x", "s"}, 2, "", "quiltwright-batch: unrecognized option '-x'"},
        {"missing value", {"--width"}, 2, "", "quiltwright-batch: option '--width' requires a value"},
        {"-h", {"-h"}, 0, "Usage: quiltwright-batch [OPTION]... FOLDER", ""},
        {"--help", {"--help"}, 0, "Usage: quiltwright-batch", ""},
        {"-V", {"-V"}, 0, "quiltwright-batch 1.02\n", ""},
        {"--version", {"--version"}, 0, "quiltwright-batch 1.02\n", ""},
        {"--width=PX and --height PX", {"--width=10", "--height", "10", "--output=" + q(tree.path("o.bmp")), folder}, 0, "", ""},
        {"a folder given as --output", {"--output", q(tree.path("out")), folder}, 1, "",
         "quiltwright-batch: Error 75: --output names the folder " + q(tree.path("out"))},
        {"a file given as FOLDER", {q(tree.path("file.txt"))}, 1, "",
         "quiltwright-batch: Error 76: " + q(tree.path("file.txt")) + " is a file, not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BatchResult run = batch(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_TRUE(c.out.isEmpty() || run.out.startsWith(c.out)) << run.out.toStdString();
        const QStringList err = c.err.split(QLatin1Char('|'));
        EXPECT_TRUE(err[0].isEmpty() ? run.err.isEmpty() : run.err.startsWith(err[0])) << run.err.toStdString();
        if (err.size() > 1) {
            EXPECT_TRUE(run.err.contains(err[1])) << run.err.toStdString();
        }
    }
    // --width=10 took effect: 23 cells of 10 pixels make one row of 230.
    const tk::Picture written = tk::LoadPicture(tree.path("o.bmp"));
    EXPECT_EQ(written.widthPixels(), 230);
    EXPECT_FALSE(tree.exists("out/Combined.bmp"));
}
