// quiltwright-batch against the window on the same folders: the same bytes, and the same
// messages on stderr with exit status 1; bad usage exits with 2.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"

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
    EXPECT_TRUE(missing.err.startsWith("Error 76")) << missing.err.toStdString();

    BatchResult empty = batch({q(tree.path("empty"))});
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(empty.err.contains("No bitmap files")) << empty.err.toStdString();

    BatchResult bad = batch({q(tree.path("bad"))});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.err.startsWith("Error 481")) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains(q(tree.path("bad/b.bmp"))));
    EXPECT_FALSE(tree.exists("bad/Combined.bmp"));

    BatchResult unwritable = batch({"--output", q(tree.path("no/such/folder/out.bmp")), q(tree.path("s"))});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.err.contains(q(tree.path("no/such/folder")))) << unwritable.err.toStdString();

    BatchResult negative = batch({"--width", "-3", q(tree.path("s"))});
    EXPECT_EQ(negative.status, 1);
    EXPECT_TRUE(negative.err.startsWith("Error 380")) << negative.err.toStdString();
}

TEST(Batch, usage_help_and_version) {
    EXPECT_EQ(batch({}).status, 2);
    const BatchResult unknown = batch({"--colour", "x"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.startsWith("usage: quiltwright-batch"));
    EXPECT_EQ(batch({"a", "b"}).status, 2);
    EXPECT_EQ(batch({"--width"}).status, 2);
    const BatchResult help = batch({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--drop-to-floor"));
    const BatchResult version = batch({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("1.02"));
}
