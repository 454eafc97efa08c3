// quiltwright-batch against the window on the same folders: the same bytes, and the same
// messages on stderr with exit status 1; bad usage exits with 2.

#include "support/BatchProcess.h"
#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"

#include "toolkit/Picture.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

void sprites(const TempTree& tree) {
    for (int i = 0; i < 23; ++i)
        tree.addFile("s/" + std::to_string(i % 4) + "/p" + std::to_string(i) + ".bmp",
                     bmp24(40 + i, 30 + i, [i](int x, int y) { return y > 10 + i ? 0x2080F0u + static_cast<uint32_t>(x * i) : 0xFFFFFFu; }));
}

}  // namespace

TEST(Batch, writes_byte_for_byte_what_the_window_saves) {
    // Small cells make a sheet of one chunk; cells of a row each (a padded row) one of several
    // chunks, written while the rest is painted, ending inside a block.
    for (const auto& [width, height] : {std::pair{"48", "50"}, std::pair{"621", "150"}})
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height << (drop ? " drop to floor" : " plain"));
        TempTree tree;
        sprites(tree);
        // JPEG and PNG streams: the window's decoder is linked in, the batch tool opens its module.
        for (const char* name : {"rgb24jpeg.bmp", "rgb24png.bmp"})
            tree.addFile(std::string("s/q/") + name, readFile(std::string(QW_BMPSUITE) + "/q/" + name));
        WindowDriver w(tree.path("s"));
        w.click(QStringLiteral("cmdGetContents"));
        w.type(QStringLiteral("txtWidth"), QString::fromLatin1(width));
        w.type(QStringLiteral("txtHeight"), QString::fromLatin1(height));
        w.tick(drop);
        w.click(QStringLiteral("cmdCombine"));
        w.click(QStringLiteral("cmdSave"));
        const std::vector<uint8_t> fromWindow = tree.read("s/Combined.bmp");
        std::remove(tree.path("s/Combined.bmp").c_str());

        QStringList args = {"--width", width, "--height", height, "--output", q(tree.path("batch.bmp")), q(tree.path("s"))};
        if (drop) args.prepend("--drop-to-floor");
        const BatchResult run = batch(args);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << "silent when stderr is not a terminal";
        EXPECT_EQ(tree.read("batch.bmp"), fromWindow);

        QStringList inPlace = {"--width", width, "--height", height, q(tree.path("s"))};
        if (drop) inPlace.prepend("--drop-to-floor");
        EXPECT_EQ(batch(inPlace).status, 0);
        EXPECT_EQ(tree.read("s/Combined.bmp"), fromWindow);  // without --output: FOLDER/Combined.bmp
        const BatchResult piped = batch(QStringList(inPlace) << "--output=-");  // written row by row, from the first byte
        EXPECT_EQ(std::vector<uint8_t>(piped.bytes.begin(), piped.bytes.end()), fromWindow);
        for (const char* jobs : {"--jobs=1", "--jobs=3"}) {  // one thread or more than there are cores
            EXPECT_EQ(batch(QStringList(args) << QString::fromLatin1(jobs)).status, 0);
            EXPECT_EQ(tree.read("batch.bmp"), fromWindow) << jobs;
        }
        // A file size limit (the disk filling at that point) from the first kilobyte to one the sheet
        // just fits under, with SIGXFSZ ignored (Error 61) or ending the program: a sheet that
        // fits is saved; any other leaves the sheet there as it was and nothing beside it.
        const std::vector<std::string> listed = tree.list("s");
        const size_t size = fromWindow.size();
        for (const size_t kib : {size_t{1}, size / 2048, (size - 1) / 1024, (size + 1023) / 1024})
            for (const bool ignored : {true, false}) {
                SCOPED_TRACE(testing::Message() << "ulimit -f " << kib << (ignored ? ", SIGXFSZ ignored" : ""));
                const BatchResult limited = batch(inPlace, QStringLiteral("%1ulimit -f %2").arg(ignored ? "trap '' XFSZ; " : "").arg(kib));
                if (kib * 1024 >= size) EXPECT_EQ(limited.status, 0) << limited.err.toStdString();
                else if (ignored) EXPECT_TRUE(limited.status == 1 && limited.err.contains(QStringLiteral("Error 61"))) << limited.err.toStdString();
                else EXPECT_NE(limited.status, 0);
                EXPECT_EQ(tree.read("s/Combined.bmp"), fromWindow);
                EXPECT_EQ(tree.list("s"), listed);
            }
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
    // A picture failing late, once bands of rows are written or compressed: nothing left beside
    // the earlier sheet, which stays as it was, in either format, on one page or several.
    for (int i = 0; i < 30; ++i) tree.addFile("late/p" + std::to_string(10 + i) + ".bmp", solidBmp(2, 2, 0x102030u * uint32_t(i)));
    tree.addFile("late/z.bmp", {'B', 'M', 0, 0});
    for (const std::string name : {"sheet.bmp", "sheet.png", "page-{n}.png"}) {
        const std::string earlier = name == "page-{n}.png" ? "page-0.png" : name;
        tree.addFile("out/" + earlier, {'k'});
        QStringList arguments = {"--width=640", "--height=100", "--output=" + q(tree.path("out/" + name)), q(tree.path("late"))};
        if (earlier != name) arguments << "--max-height=1000";
        const BatchResult late = batch(arguments);
        EXPECT_TRUE(late.status == 1 && late.err.contains(q(tree.path("late/z.bmp")))) << name << ": " << late.err.toStdString();
        EXPECT_EQ(tree.list("out"), std::vector<std::string>{earlier});
        EXPECT_EQ(tree.read("out/" + earlier), std::vector<uint8_t>{'k'});
        ::unlink(tree.path("out/" + earlier).c_str());
    }

    BatchResult unwritable = batch({"--output", q(tree.path("no/such/folder/out.bmp")), q(tree.path("s"))});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.err.contains(q(tree.path("no/such/folder")))) << unwritable.err.toStdString();

    BatchResult negative = batch({"--width", "-3", q(tree.path("s"))});  // bad usage, not a failed run
    EXPECT_EQ(negative.status, 2);
    EXPECT_TRUE(negative.err.startsWith("quiltwright-batch: invalid value '-3' for '--width'")) << negative.err.toStdString();
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
        {"cells of one pixel", {"--width=1", "--height=1", "--output=" + q(tree.path("one.bmp")), folder}, 0, "", ""},
        {"no threads", {"--jobs=0", folder}, 2, "", "quiltwright-batch: invalid value '0' for '--jobs'"},
        {"threads in words", {"--jobs", "two", folder}, 2, "", "quiltwright-batch: invalid value 'two' for '--jobs'"},
        {"a folder given as --output", {"--output", q(tree.path("out")), folder}, 1, "",
         "quiltwright-batch: Error 75: --output names the folder " + q(tree.path("out"))},
        {"a file given as FOLDER", {q(tree.path("file.txt"))}, 1, "",
         "quiltwright-batch: Error 76: " + q(tree.path("file.txt")) + " is a file, not a folder"},
        {"an empty FOLDER", {""}, 2, "", "quiltwright-batch: FOLDER is empty"},
        {"a value for a flag that takes none", {"--drop-to-floor=yes", folder}, 2, "",
         "quiltwright-batch: option '--drop-to-floor' doesn't allow an argument"},
        {"a value for --help", {"--help=x"}, 2, "", "quiltwright-batch: option '--help' doesn't allow an argument"},
        {"a unit after the width", {"--width=32px", folder}, 2, "", "quiltwright-batch: invalid value '32px' for '--width'"},
        {"letters for the height", {"--height=abc", folder}, 2, "", "quiltwright-batch: invalid value 'abc' for '--height'"},
        {"a width of 0", {"--width=0", folder}, 2, "", "quiltwright-batch: invalid value '0' for '--width'"},
        {"a sign before the width", {"--width", "+5", folder}, 2, "", "quiltwright-batch: invalid value '+5' for '--width'"},
        {"an option of raw bytes", {QString::fromLatin1("--dr\xEA"), folder}, 2, "", "quiltwright-batch: unrecognized option '--dr\\xC3\\xAA'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BatchResult run = batch(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_TRUE(c.out.isEmpty() || run.out.startsWith(c.out)) << run.out.toStdString();
        for (const QChar ch : run.err) EXPECT_LT(ch.unicode(), 0x80) << "ASCII only: " << run.err.toStdString();
        const QStringList err = c.err.split(QLatin1Char('|'));
        EXPECT_TRUE(err[0].isEmpty() ? run.err.isEmpty() : run.err.startsWith(err[0])) << run.err.toStdString();
        if (err.size() > 1) {
            EXPECT_TRUE(run.err.contains(err[1])) << run.err.toStdString();
        }
    }
    // --width=10 took effect: 23 cells of 10 pixels make one row of 230.
    const tk::Picture written = tk::LoadPicture(tree.path("o.bmp"));
    EXPECT_EQ(written.widthPixels(), 230);
    EXPECT_EQ(tk::LoadPicture(tree.path("one.bmp")).widthPixels(), 23);
    EXPECT_FALSE(tree.exists("out/Combined.bmp"));
}

TEST(Batch, no_picture_is_lost_and_the_programs_own_output_stays_out) {
    TempTree tree;
    for (int i = 0; i < 25; ++i) tree.addFile("hundred/p" + std::to_string(100 + i) + ".bmp", solidBmp(8, 8, 0x010203u * (i + 1)));
    const BatchResult hundred = batch({"--width=100", "--height=100", q(tree.path("hundred"))});
    ASSERT_EQ(hundred.status, 0) << hundred.err.toStdString();
    const tk::Picture sheet = tk::LoadPicture(tree.path("hundred/Combined.bmp"));
    EXPECT_EQ(sheet.widthPixels(), 640);
    EXPECT_EQ(sheet.heightPixels(), 500);
    EXPECT_EQ(rgbAt(sheet.image(), 0, 400), 0x010203u * 25);   // the 25th picture
    EXPECT_EQ(rgbAt(sheet.image(), 99, 499), 0x010203u * 25);

    for (int i = 0; i < 3; ++i) tree.addFile("three/p" + std::to_string(i) + ".bmp", solidBmp(64, 64, 0x203040u * (i + 1)));
    tree.addFile("three/Combined.bmp", solidBmp(640, 64, 0xFFFFFF));
    // Nothing but the program's own earlier sheet: nothing to combine, and the sheet stays.
    tree.addFile("only/Combined.bmp", solidBmp(640, 64, 0xFFFFFF));
    const BatchResult nothing = batch({q(tree.path("only"))});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_TRUE(nothing.err.startsWith("quiltwright-batch: Error 53: Nothing to combine")) << nothing.err.toStdString();
    EXPECT_EQ(tree.read("only/Combined.bmp"), solidBmp(640, 64, 0xFFFFFF));
    for (int run = 0; run < 2; ++run) {  // the second run finds the first run's Combined.bmp
        ASSERT_EQ(batch({q(tree.path("three"))}).status, 0);
        const tk::Picture three = tk::LoadPicture(tree.path("three/Combined.bmp"));
        ASSERT_EQ(three.widthPixels(), 192);
        EXPECT_EQ(three.heightPixels(), 64);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(rgbAt(three.image(), i * 64 + 10, 10), 0x203040u * (i + 1));
    }
}

TEST(Batch, a_tree_deeper_than_the_open_file_limit_is_walked_whole) {
    TempTree tree;
    std::string deep = "deep";
    tree.addFile(deep + "/top.bmp", solidBmp(4, 4, 0xFF0000));
    for (int level = 0; level < 1000; ++level) deep += "/d";
    tree.addFile(deep + "/bottom.bmp", solidBmp(4, 4, 0x0000FF));
    const BatchResult run = batch({"--width=4", "--height=4", q(tree.path("deep"))}, "ulimit -n 64");
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const tk::Picture sheet = tk::LoadPicture(tree.path("deep/Combined.bmp"));
    ASSERT_EQ(sheet.widthPixels(), 8);  // both pictures, the one 1,000 levels down first
    EXPECT_EQ(rgbAt(sheet.image(), 0, 0), 0x0000FFu);
    EXPECT_EQ(rgbAt(sheet.image(), 4, 0), 0xFF0000u);
}

TEST(Batch, a_file_or_folder_the_user_may_not_write_is_refused_and_left_as_it_was) {
    TempTree tree;
    sprites(tree);
    ::chmod(tree.root().c_str(), 0755);  // the unprivileged user must reach the pictures
    const std::vector<uint8_t> earlier = solidBmp(2, 2, 0x445566);
    tree.addFile("s/Combined.bmp", earlier);
    ::chmod(tree.path("s").c_str(), 0777);
    ::chmod(tree.path("s/Combined.bmp").c_str(), 0444);
    const BatchResult file = batch({q(tree.path("s"))}, {}, As::Nobody);
    EXPECT_EQ(file.status, 1);
    EXPECT_TRUE(file.err.startsWith("quiltwright-batch: Error 70: Permission denied: " + q(tree.path("s/Combined.bmp"))))
        << file.err.toStdString();
    EXPECT_EQ(tree.read("s/Combined.bmp"), earlier);

    ::chmod(tree.path("s").c_str(), 0555);
    const BatchResult folder = batch({"--output", q(tree.path("s/other.bmp")), q(tree.path("s"))}, {}, As::Nobody);
    ::chmod(tree.path("s").c_str(), 0755);
    EXPECT_EQ(folder.status, 1);
    EXPECT_TRUE(folder.err.startsWith("quiltwright-batch: Error 70: ")) << folder.err.toStdString();
    EXPECT_FALSE(tree.exists("s/other.bmp"));
    EXPECT_EQ(tree.list("s").size(), 5u) << "nothing left behind";

    // A file the user may write in a folder they may not: written in place, longer or shorter
    // than before, the same file (inode) holding exactly the sheet.
    const QByteArray sheet = batch({"--output=-", q(tree.path("s"))}).bytes;
    for (const size_t before : {size_t{10}, static_cast<size_t>(sheet.size()) * 2}) {
        tree.addFile("s/Combined.bmp", std::vector<uint8_t>(before, 0x5A));
        ::chmod(tree.path("s/Combined.bmp").c_str(), 0666);
        struct stat st {}, after {};
        ::stat(tree.path("s/Combined.bmp").c_str(), &st);
        ::chmod(tree.path("s").c_str(), 0555);
        const BatchResult inPlace = batch({q(tree.path("s"))}, {}, As::Nobody);
        ::chmod(tree.path("s").c_str(), 0755);
        EXPECT_EQ(inPlace.status, 0) << inPlace.err.toStdString();
        const std::vector<uint8_t> written = tree.read("s/Combined.bmp");
        EXPECT_TRUE(QByteArray(reinterpret_cast<const char*>(written.data()), static_cast<qsizetype>(written.size())) == sheet) << before;
        ::stat(tree.path("s/Combined.bmp").c_str(), &after);
        EXPECT_EQ(after.st_ino, st.st_ino);
        EXPECT_EQ(tree.list("s").size(), 5u) << "nothing left behind";
    }
}

TEST(Batch, a_folder_that_cannot_be_read_is_named_and_the_run_fails_with_the_rest_written) {
    TempTree tree;
    for (int i = 0; i < 8; ++i) tree.addFile(std::string(i == 7 ? "s/secret/" : "s/") + "p" + std::to_string(i) + ".bmp", solidBmp(4, 4, 0x10101u * i));
    ::chmod(tree.root().c_str(), 0755);  // the unprivileged user reaches the rest
    ::chmod(tree.path("s").c_str(), 0777);
    ::chmod(tree.path("s/secret").c_str(), 0);
    const BatchResult run = batch({"--width=4", "--height=4", q(tree.path("s"))}, {}, As::Nobody);
    ::chmod(tree.path("s/secret").c_str(), 0755);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quiltwright-batch: cannot read the folder " + q(tree.path("s/secret")) + ": Permission denied\n");
    EXPECT_EQ(tk::LoadPicture(tree.path("s/Combined.bmp")).widthPixels(), 7 * 4) << "the seven it could read";
}

TEST(Batch, a_canvas_larger_than_the_memory_at_hand_is_refused_before_anything_changes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer reserves terabytes of address space: an address-space limit stops it";
#endif
    TempTree tree;
    tree.addFile("one/a.bmp", solidBmp(4, 4, 0x00FF00));
    const QString limit = "ulimit -v 400000";  // about 390 MiB of address space
    const BatchResult big = batch({"--width=640", "--height=200000", q(tree.path("one"))}, limit);
    EXPECT_EQ(big.status, 1);
    EXPECT_TRUE(big.err.startsWith("quiltwright-batch: Error 7: Out of memory: a canvas of 640 x 200000 pixels needs 489 MiB"))
        << big.err.toStdString();
    EXPECT_FALSE(tree.exists("one/Combined.bmp"));
    const BatchResult fits = batch({"--width=640", "--height=20000", q(tree.path("one"))}, limit);
    EXPECT_EQ(fits.status, 0) << fits.err.toStdString();
    EXPECT_EQ(tk::LoadPicture(tree.path("one/Combined.bmp")).heightPixels(), 20000);
}

TEST(Batch, no_address_space_limit_ends_the_tool_with_an_abort) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer reserves terabytes of address space: an address-space limit stops it";
#endif
    // Threads with a scratch cell each, under every limit from too little to enough: the sheet
    // every thread paints, on fewer threads where the memory holds fewer, or a refusal before
    // anything is painted with nothing left; never an abort, never memory running out later (a
    // PNG is built in memory too).
    TempTree tree;
    for (int i = 0; i < 8; ++i) tree.addFile("s/p" + std::to_string(i) + ".bmp", solidBmp(40 + i, 30, 0x203040u * (i + 1)));
    uint32_t noise = 7;  // pictures that compress to nothing: the PNG holds as much as the canvas
    for (int i = 0; i < 4; ++i) tree.addFile("n/p" + std::to_string(i) + ".bmp", bmp24(640, 1000, [&](int, int) { return (noise = noise * 1664525u + 1013904223u) >> 8; }));
    tree.addFile("out/x", {});
    struct Case {
        std::string name;
        QStringList options;
        int from, to, step, enough;  // KiB of address space; enough: twice what the sheet needs
    };
    const Case cases[] = {{"sheet.bmp", {"--jobs=8", "--drop-to-floor", "--width=3000", "--height=3000", q(tree.path("s"))}, 150000, 950000, 100000, 300000},
                          {"sheet.png", {"--jobs=2", "--width=640", "--height=1000", q(tree.path("n"))}, 100000, 400000, 10000, 360000}};
    for (const Case& c : cases) {
        const QStringList arguments = QStringList{"--output", q(tree.path("out/" + c.name))} + c.options;
        ASSERT_EQ(batch(arguments).status, 0);
        const std::vector<uint8_t> sheet = tree.read("out/" + c.name);
        int saved = 0;
        for (int kib = c.from; kib <= c.to; kib += c.step) {
            SCOPED_TRACE(c.name + " under " + std::to_string(kib));
            ::unlink(tree.path("out/" + c.name).c_str());
            const BatchResult run = batch(arguments, QStringLiteral("ulimit -v %1").arg(kib));
            EXPECT_TRUE(run.status == 0 || (run.status == 1 && run.err.startsWith("quiltwright-batch: Error 7: Out of memory: a canvas of")))
                << run.status << run.err.toStdString();
            if (kib >= c.enough) {
                EXPECT_EQ(run.status, 0) << run.err.toStdString();
            }
            if (run.status == 0) {
                EXPECT_EQ(tree.read("out/" + c.name), sheet);
                ++saved;
            } else {
                EXPECT_EQ(tree.list("out"), std::vector<std::string>{"x"});
            }
        }
        EXPECT_GT(saved, 0);
        ::unlink(tree.path("out/" + c.name).c_str());
    }
}

TEST(Batch, every_kind_of_file_in_and_out) {
    TempTree tree;
    sprites(tree);
    ASSERT_EQ(batch({"--output", q(tree.path("regular.bmp")), q(tree.path("s"))}).status, 0);
    const std::vector<uint8_t> sheet = tree.read("regular.bmp");
    const bool root = ::geteuid() == 0;
    const auto node = [&](const char* name, mode_t kind, int major, int minor) {
        return ::mknod(tree.path(name).c_str(), kind | 0666, makedev(major, minor)) == 0;
    };
    struct Row {
        const char* what;
        std::function<bool()> make;  // false: it cannot be made here (a device needs root)
        QStringList arguments;
        int status;
        QString err;  // what standard error starts with; empty: nothing
        std::function<void()> check;
        QString shell = {};  // run first, in the same shell (a redirection)
    };
    const QString pics = q(tree.path("s"));
    QProcess reader;  // the reading end of the named pipe
    // A terminal for standard output: the far end of a pseudo-terminal.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    const QString terminalName = terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0
                                     ? QString::fromLocal8Bit(::ptsname(terminal)) : QString();
    const QString onTerminal = "exec >" + terminalName;
    const Row rows[] = {
        {"out: the null device stays a device", [&] { return root && node("null", S_IFCHR, 1, 3); },
         {"--output", q(tree.path("null")), pics}, 0, "", [&] {
             struct stat st {};
             ::stat(tree.path("null").c_str(), &st);
             EXPECT_TRUE(S_ISCHR(st.st_mode));
         }},
        {"out: a full device reports the disk full", [&] { return root && node("full", S_IFCHR, 1, 7); },
         {"--output", q(tree.path("full")), pics}, 1, "quiltwright-batch: Error 61: Disk full: " + q(tree.path("full")), [] {}},
        {"out: a named pipe gives its reader the bytes", [&] {
             if (::mkfifo(tree.path("pipe").c_str(), 0600) != 0) return false;
             reader.start("sh", {"-c", "cat \"$0\" > \"$1\"", q(tree.path("pipe")), q(tree.path("from-pipe.bmp"))});
             return reader.waitForStarted();
         },
         {"--output", q(tree.path("pipe")), pics}, 0, "", [&] {
             reader.waitForFinished(30000);
             EXPECT_EQ(tree.read("from-pipe.bmp"), sheet);
         }},
        {"out: a socket is refused", [&] {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address {};
             address.sun_family = AF_UNIX;
             const std::string path = tree.path("socket");
             if (path.size() >= sizeof address.sun_path) return false;
             std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
             const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             ::close(fd);
             return bound;
         },
         {"--output", q(tree.path("socket")), pics}, 1, "quiltwright-batch: Error 75: Path/File access error: " + q(tree.path("socket")) + " is a socket", [] {}},
        {"out: - is standard output", [] { return true; }, {"--output=-", pics}, 0, "", [] {}},
        {"out: /dev/stdout", [] { return true; }, {"--output=/dev/stdout", pics}, 0, "", [] {}},
        {"out: /dev/fd/1, a pipe", [] { return true; }, {"--output=/dev/fd/1", pics}, 0, "", [] {}},
        {"out: - onto a terminal is refused", [&] { return !terminalName.isEmpty(); }, {"--output=-", pics}, 2,
         "quiltwright-batch: standard output is a terminal", [] {}, onTerminal},
        {"out: /dev/stdout onto a terminal is refused", [&] { return !terminalName.isEmpty(); }, {"--output=/dev/stdout", pics}, 1,
         "quiltwright-batch: Error 75: Path/File access error: /dev/stdout is a terminal", [] {}, onTerminal},
        {"out: another user's link in a sticky folder is not followed", [&] {
             tree.addFile("victim", {'k'});
             tree.addFolder("shared");
             ::chmod(tree.path("shared").c_str(), 01777);
             tree.addLink("shared/Combined.bmp", tree.path("victim"));
             return root && ::lchown(tree.path("shared/Combined.bmp").c_str(), 65534, 65534) == 0;
         },
         {"--output", q(tree.path("shared/Combined.bmp")), pics}, 1,
         "quiltwright-batch: Error 70: Permission denied: " + q(tree.path("shared/Combined.bmp")) + " is a link", [&] {
             EXPECT_EQ(tree.read("victim"), std::vector<uint8_t>{'k'});
         }},
        {"out: another user's link in a sticky folder reached by a link is not followed", [&] {
             tree.addFile("victim2", {'k'});
             tree.addFolder("shared2");
             ::chmod(tree.path("shared2").c_str(), 01777);
             tree.addLink("via", tree.path("shared2"));
             tree.addLink("shared2/Combined.bmp", tree.path("victim2"));
             return root && ::lchown(tree.path("shared2/Combined.bmp").c_str(), 65534, 65534) == 0;
         },
         {"--output", q(tree.path("via/Combined.bmp")), pics}, 1,
         "quiltwright-batch: Error 70: Permission denied: " + q(tree.path("via/Combined.bmp")) + " is a link", [&] {
             EXPECT_EQ(tree.read("victim2"), std::vector<uint8_t>{'k'});
         }},
        {"out: the user's own link in a sticky folder is followed", [&] {
             tree.addFolder("mine");
             ::chmod(tree.path("mine").c_str(), 01777);
             tree.addLink("mine/Combined.bmp", tree.path("own.bmp"));
             return true;
         },
         {"--output", q(tree.path("mine/Combined.bmp")), pics}, 0, "", [&] { EXPECT_EQ(tree.read("own.bmp"), sheet); }},
        {"out: /dev/stdout onto a file, a picture failing late: the file is left as it was", [&] {
             tree.addFile("kept.bmp", {'k'});
             return ::mkfifo(tree.path("s/3/z.bmp").c_str(), 0600) == 0;
         },
         {"--output=/dev/stdout", pics}, 1, "quiltwright-batch: Error 481: Invalid picture: " + q(tree.path("s/3/z.bmp")), [&] {
             EXPECT_EQ(tree.read("kept.bmp"), std::vector<uint8_t>{'k'});
             std::remove(tree.path("s/3/z.bmp").c_str());
         }, "exec 1<>" + q(tree.path("kept.bmp"))},  // opened without emptying it
        {"out: /dev/stdout onto a longer file opened without emptying it: the sheet alone", [&] {
             tree.addFile("longer.bmp", std::vector<uint8_t>(sheet.size() + 999, 'k'));
             return true;
         },
         {"--output=/dev/stdout", pics}, 0, "", [&] { EXPECT_EQ(tree.read("longer.bmp"), sheet); }, "exec 1<>" + q(tree.path("longer.bmp"))},
        {"in: a named pipe among the pictures", [&] { return ::mkfifo(tree.path("s/0/b.bmp").c_str(), 0600) == 0; },
         {"--output", q(tree.path("x.bmp")), pics}, 1, "quiltwright-batch: Error 481: Invalid picture: " + q(tree.path("s/0/b.bmp")),
         [&] { std::remove(tree.path("s/0/b.bmp").c_str()); }},
        {"in: a device among the pictures", [&] { return root && node("s/0/b.bmp", S_IFCHR, 1, 5); },
         {"--output", q(tree.path("x.bmp")), pics}, 1, "quiltwright-batch: Error 481: Invalid picture: " + q(tree.path("s/0/b.bmp")),
         [&] { std::remove(tree.path("s/0/b.bmp").c_str()); }},
    };
    QStringList skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.make()) {
            skipped << QString::fromLatin1(row.what);
            continue;
        }
        const BatchResult run = batch(row.arguments, row.shell);
        EXPECT_EQ(run.status, row.status) << run.err.toStdString();
        EXPECT_TRUE(row.err.isEmpty() ? run.err.isEmpty() : run.err.startsWith(row.err)) << run.err.toStdString();
        const bool toStandardOutput = row.shell.isEmpty() && (row.arguments.contains("--output=-") || row.arguments.contains("--output=/dev/stdout") ||
                                                              row.arguments.contains("--output=/dev/fd/1"));
        EXPECT_EQ(run.bytes, toStandardOutput ? QByteArray(reinterpret_cast<const char*>(sheet.data()), qsizetype(sheet.size())) : QByteArray());
        row.check();
    }
    if (terminal >= 0) ::close(terminal);
    EXPECT_FALSE(tree.exists("-"));
    EXPECT_FALSE(tree.exists("x.bmp"));

    // A shell's process substitution names the pipe to its reader as /dev/fd/N.
    const BatchResult substituted =
        runProgram("bash", {"-c", "exec \"$0\" --output=>(cat > \"$1\") \"$2\"", QStringLiteral(QW_BATCH), q(tree.path("substituted.bmp")), pics});
    EXPECT_EQ(substituted.status, 0) << substituted.err.toStdString();
    for (int i = 0; i < 500 && (!tree.exists("substituted.bmp") || tree.read("substituted.bmp").size() < sheet.size()); ++i) ::usleep(10000);
    EXPECT_EQ(tree.read("substituted.bmp"), sheet);
    if (!skipped.isEmpty()) GTEST_SKIP() << "could not be made here (a device needs root, a terminal /dev/pts): " << skipped.join(QStringLiteral("; ")).toStdString();
}
