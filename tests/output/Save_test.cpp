// Save in the real window: Combined.bmp holds the whole canvas, and a failed write never
// costs the user the file they had.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "storage/AtomicFile.h"
#include "toolkit/Picture.h"

#include <QImage>
#include <QMessageBox>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <utility>

namespace {

// A window that has combined 25 pictures of 64 pixels from tree's "pics" folder.
struct Saved {
    TempTree tree;
    WindowDriver window;
    Saved() : window((populate(tree), tree.path("pics"))) {
        window.click(QStringLiteral("cmdGetContents"));
        window.click(QStringLiteral("cmdCombine"));
    }
    static void populate(const TempTree& tree) {
        for (int i = 0; i < 25; ++i)
            tree.addFile("pics/p" + std::to_string(100 + i) + ".bmp",
                         bmp24(64, 64, [i](int x, int y) { return static_cast<uint32_t>(i * 9 << 16 | x * 4 << 8 | y * 4); }));
    }
    bool savedMessageShown() const {
        for (const auto& m : window.messages)
            if (m.title == QStringLiteral("Picture saved")) return true;
        return false;
    }
};

void expectFileEqualsCanvas(const std::string& path, const bmp::Image& canvas) {
    const std::vector<uint8_t> bytes = readFile(path);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(bytes[28], 24);  // bits per pixel
    EXPECT_EQ(bytes[30], 0);   // uncompressed
    const tk::Picture ours = tk::LoadPicture(path);
    const QImage qt(QString::fromStdString(path), "BMP");
    ASSERT_EQ(ours.widthPixels(), canvas.width);
    ASSERT_EQ(ours.heightPixels(), canvas.height);
    ASSERT_EQ(qt.size(), QSize(canvas.width, canvas.height));
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            ASSERT_EQ(rgbAt(ours.image(), x, y), rgbAt(canvas, x, y)) << x << "," << y;
            ASSERT_EQ(qt.pixel(x, y) & 0xFFFFFFu, rgbAt(canvas, x, y)) << x << "," << y;
        }
}

// Any file the safe write left behind beside the target.
std::vector<std::string> leftovers(const TempTree& tree, const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& name : tree.list(folder))
        if (name.find(".part") != std::string::npos) found.push_back(name);
    return found;
}

}  // namespace

TEST(Save, writes_the_whole_canvas_not_only_what_the_viewport_shows) {
    Saved s;
    s.window.type(QStringLiteral("txtHeight"), QStringLiteral("300"));  // 900 rows: written in chunks by every thread
    s.window.click(QStringLiteral("cmdCombine"));
    s.window.click(QStringLiteral("cmdSave"));
    ASSERT_EQ(s.window.messages.size(), 1u);
    EXPECT_EQ(s.window.messages[0].title, QStringLiteral("Picture saved"));
    EXPECT_EQ(s.window.messages[0].text, QStringLiteral("Saved as Combined.bmp in the selected directory"));
    EXPECT_EQ(s.window.messages[0].icon, static_cast<int>(QMessageBox::Information));
    expectFileEqualsCanvas(s.tree.path("pics/Combined.bmp"), s.window.form().picMain.persistentImage());
}

TEST(Save, a_second_save_replaces_the_first_without_asking) {
    Saved s;
    s.tree.addFile("pics/Combined.bmp", {'o', 'l', 'd'});
    s.window.click(QStringLiteral("cmdSave"));
    s.window.type(QStringLiteral("txtWidth"), QStringLiteral("32"));
    s.window.click(QStringLiteral("cmdCombine"));
    s.window.click(QStringLiteral("cmdSave"));
    EXPECT_EQ(s.window.messages.size(), 2u);
    EXPECT_TRUE(s.savedMessageShown());
    expectFileEqualsCanvas(s.tree.path("pics/Combined.bmp"), s.window.form().picMain.persistentImage());
    EXPECT_TRUE(leftovers(s.tree, "pics").empty());
}

TEST(Save, saves_into_the_folder_chosen_after_combine_and_a_drive_root) {
    Saved s;
    s.tree.addFolder("other");
    s.window.openFolder(s.tree.path("other"));
    s.window.click(QStringLiteral("cmdSave"));
    EXPECT_TRUE(s.tree.exists("other/Combined.bmp"));
    EXPECT_FALSE(s.tree.exists("pics/Combined.bmp"));

    // A drive whose root is the tree's root: one separator between folder and name.
    WindowDriver w(s.tree.root(), s.tree.root());
    w.form().dir.setPath((s.tree.root() + " [test]"));
    EXPECT_EQ(w.form().dir.Path(), s.tree.root());
    w.form().picMain.setWidth(150);
    w.form().picMain.setHeight(150);
    w.form().cmdSave.setEnabled(true);
    w.click(QStringLiteral("cmdSave"));
    EXPECT_TRUE(s.tree.exists("Combined.bmp"));
    EXPECT_EQ(tk::LoadPicture(s.tree.path("Combined.bmp")).widthPixels(), 10);
}

TEST(Save, a_folder_removed_after_it_was_chosen_reports_the_folder_and_shows_no_confirmation) {
    Saved s;
    s.tree.addFolder("doomed");
    s.window.openFolder(s.tree.path("doomed"));
    ::rmdir(s.tree.path("doomed").c_str());
    s.window.click(QStringLiteral("cmdSave"));
    ASSERT_EQ(s.window.messages.size(), 1u);
    EXPECT_EQ(s.window.messages[0].title, QStringLiteral("Kestrune Quiltwright"));
    EXPECT_TRUE(s.window.lastMessageText().contains(QString::fromStdString(s.tree.path("doomed"))));
    EXPECT_FALSE(s.savedMessageShown());
    EXPECT_TRUE(s.window.window().isVisible());
}

TEST(Save, a_disk_that_fills_half_way_leaves_the_earlier_file_byte_for_byte) {
    // A sheet of about 369 KB written in one piece, and one of 1.7 MB written in chunks by every
    // thread; the process may write no more than 100 KB a file.
    for (const char* cellHeight : {"64", "300"}) {
    SCOPED_TRACE(cellHeight);
    Saved s;
    s.window.type(QStringLiteral("txtHeight"), QString::fromLatin1(cellHeight));
    s.window.click(QStringLiteral("cmdCombine"));
    const std::vector<uint8_t> earlier = solidBmp(3, 3, 0x123456);
    s.tree.addFile("pics/Combined.bmp", earlier);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    s.window.click(QStringLiteral("cmdSave"));
    ::setrlimit(RLIMIT_FSIZE, &old);

    ASSERT_EQ(s.window.messages.size(), 1u);
    EXPECT_TRUE(s.window.lastMessageText().startsWith(QStringLiteral("Error 61"))) << s.window.lastMessageText().toStdString();
    EXPECT_TRUE(s.window.lastMessageText().contains(QString::fromStdString(s.tree.path("pics"))));
    EXPECT_FALSE(s.savedMessageShown());
    EXPECT_EQ(s.tree.read("pics/Combined.bmp"), earlier);
    EXPECT_TRUE(leftovers(s.tree, "pics").empty());

    s.window.click(QStringLiteral("cmdSave"));  // room again: the save goes through
    EXPECT_TRUE(s.savedMessageShown());
    expectFileEqualsCanvas(s.tree.path("pics/Combined.bmp"), s.window.form().picMain.persistentImage());
    }
}

TEST(Save, a_rename_that_fails_leaves_what_was_there_and_no_temporary_file) {
    Saved s;
    s.tree.addFile("pics/Combined.bmp/keep.txt", {'k'});  // a folder in the way: rename cannot replace it
    s.window.click(QStringLiteral("cmdSave"));
    ASSERT_EQ(s.window.messages.size(), 1u);
    EXPECT_FALSE(s.savedMessageShown());
    EXPECT_EQ(s.tree.read("pics/Combined.bmp/keep.txt"), std::vector<uint8_t>{'k'});
    EXPECT_TRUE(leftovers(s.tree, "pics").empty());
}

TEST(Save, an_existing_file_is_written_through_its_link_and_keeps_its_mode) {
    Saved s;
    s.tree.addFile("kept/sheet.bmp", {'o', 'l', 'd'});
    s.tree.addLink("pics/Combined.bmp", "../kept/sheet.bmp");
    s.window.click(QStringLiteral("cmdSave"));
    ASSERT_TRUE(s.savedMessageShown()) << s.window.lastMessageText().toStdString();
    struct stat link {};
    ASSERT_EQ(::lstat(s.tree.path("pics/Combined.bmp").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the link stays a link";
    expectFileEqualsCanvas(s.tree.path("kept/sheet.bmp"), s.window.form().picMain.persistentImage());
    EXPECT_TRUE(leftovers(s.tree, "kept").empty());

    for (const mode_t mode : {0640, 0604, 0600}) {
        ::chmod(s.tree.path("kept/sheet.bmp").c_str(), mode);
        s.window.click(QStringLiteral("cmdSave"));
        struct stat st {};
        ::stat(s.tree.path("kept/sheet.bmp").c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
}

TEST(Save, a_file_with_several_hard_links_is_written_in_place_and_keeps_every_name) {
    Saved s;
    s.window.click(QStringLiteral("cmdSave"));
    const std::vector<uint8_t> sheet = s.tree.read("pics/Combined.bmp");
    // Earlier files shorter and longer than the sheet: each name then holds exactly the sheet.
    for (const size_t before : {size_t{3}, sheet.size() + 4097}) {
        s.tree.addFile("pics/Combined.bmp", std::vector<uint8_t>(before, 0x33));
        ::unlink(s.tree.path("other/name.bmp").c_str());
        s.tree.addFile("other/x", {});
        ASSERT_EQ(::link(s.tree.path("pics/Combined.bmp").c_str(), s.tree.path("other/name.bmp").c_str()), 0);
        s.window.click(QStringLiteral("cmdSave"));
        ASSERT_TRUE(s.savedMessageShown()) << s.window.lastMessageText().toStdString();
        EXPECT_EQ(s.tree.read("pics/Combined.bmp"), sheet) << before;
        EXPECT_EQ(s.tree.read("other/name.bmp"), sheet) << before;
        struct stat st {};
        ::stat(s.tree.path("pics/Combined.bmp").c_str(), &st);
        EXPECT_EQ(st.st_nlink, 2u);
        EXPECT_TRUE(leftovers(s.tree, "pics").empty());
    }
}

TEST(Save, a_signal_during_the_write_removes_the_temporary_file_and_keeps_the_earlier_one) {
    TempTree tree;
    const std::vector<uint8_t> earlier = solidBmp(3, 3, 0x123456);
    tree.addFile("Combined.bmp", earlier);
    const std::string target = tree.path("Combined.bmp");
    const std::vector<uint8_t> half(3 << 20, 0x5A);  // past the write buffer: bytes are on disk
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {  // a save that stops half-way and waits, as a slow disk would
            storage::AtomicFile file(target);
            file.write(half.data(), half.size());
            (void)!::write(ready[1], "x", 1);
            for (;;) ::pause();
        }
        char byte;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        EXPECT_EQ(leftovers(tree, "").size(), 1u) << "the temporary file is there while the save runs";
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "the signal still ends the program";
        EXPECT_TRUE(leftovers(tree, "").empty());
        EXPECT_EQ(tree.read("Combined.bmp"), earlier);
    }
    // A signal the program was started to ignore (a background job's SIGHUP) stays ignored.
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGHUP, SIG_IGN);
        storage::AtomicFile file(target);
        file.write(half.data(), half.size());
        ::raise(SIGHUP);
        file.commit();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(tree.read("Combined.bmp"), half);
}

TEST(Save, what_stands_at_combined_bmp_decides_how_it_is_written) {
    Saved s;
    const std::string target = s.tree.path("pics/Combined.bmp");
    struct Row {
        const char* what;
        std::function<bool()> make;  // false: it cannot be made here (a device needs root)
        QString error;               // what the message starts with; empty: "Picture saved"
        std::function<void()> check;
    };
    const auto modeOf = [&] {
        struct stat st {};
        ::lstat(target.c_str(), &st);
        return st.st_mode;
    };
    mode_t mask = 0;
    // What another process puts where a named pipe was, after the look and before the open: a
    // 4 MiB file, a link to it, or another pipe that has a reader.
    static char swapTo = 0;
    static std::string big;
    big = s.tree.path("big");
    storage::AtomicFile::setBeforeOpenInPlace([](const std::string& path) {
        if (swapTo == 'l') std::remove(path.c_str());
        if (swapTo == 'f') std::rename(big.c_str(), path.c_str());
        if (swapTo == 'l') (void)!::symlink(big.c_str(), path.c_str());
        if (swapTo == 'p') {  // made beside the pipe first, so it is not given the same inode number
            ::mkfifo((big + ".pipe").c_str(), 0600), ::open((big + ".pipe").c_str(), O_RDONLY | O_NONBLOCK);  // a reader kept open
            std::rename((big + ".pipe").c_str(), path.c_str());
        }
    });
    const auto swapped = [&](char to) { return swapTo = to, ::mkfifo(target.c_str(), 0600) == 0; };
    const std::vector<uint8_t> bigBytes(4 << 20, 0x5A);
    const QString wasPipe = "Error 75\n\nPath/File access error: " + QString::fromStdString(target) + " was a named pipe when it was looked at, but another node, ";
    const Row rows[] = {
        {"nothing, under umask 022", [&] { return mask = ::umask(022), true; }, "", [&] { EXPECT_EQ(modeOf() & 07777, 0644u); }},
        {"nothing, under umask 077", [&] { return mask = ::umask(077), true; }, "", [&] { EXPECT_EQ(modeOf() & 07777, 0600u); }},
        {"a named pipe nobody reads: given up at once", [&] { return ::mkfifo(target.c_str(), 0600) == 0; },
         "Error 75\n\nPath/File access error: no program is reading from the named pipe", [&] { EXPECT_TRUE(S_ISFIFO(modeOf())); }},
        {"a device: written into, and stays a device",
         [&] { return ::geteuid() == 0 && ::mknod(target.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; }, "",
         [&] { EXPECT_TRUE(S_ISCHR(modeOf())); }},
        {"a named pipe swapped for a 4 MiB file: the file is left as it was", [&] { return swapped('f'); },
         wasPipe + "a regular file, was opened in its place", [&] { EXPECT_EQ(readFile(target), bigBytes); }},
        {"a named pipe swapped for a link to a file: the link is not followed", [&] { return swapped('l'); }, "Error",
         [&] { EXPECT_EQ(s.tree.read("big"), bigBytes); }},
        {"a named pipe swapped for another that has a reader: not written into", [&] { return swapped('p'); },
         wasPipe + "a named pipe, was opened in its place", [&] { EXPECT_TRUE(S_ISFIFO(modeOf())); }},
    };
    QStringList skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::remove(target.c_str());
        s.tree.addFile("big", bigBytes);
        swapTo = 0;
        const bool made = row.make();
        if (made) {
            s.window.messages.clear();
            s.window.click(QStringLiteral("cmdSave"));
            ASSERT_EQ(s.window.messages.size(), 1u);
            if (row.error.isEmpty()) EXPECT_TRUE(s.savedMessageShown()) << s.window.lastMessageText().toStdString();
            else EXPECT_TRUE(s.window.lastMessageText().startsWith(row.error)) << s.window.lastMessageText().toStdString();
            row.check();
            EXPECT_TRUE(leftovers(s.tree, "pics").empty());
        } else {
            skipped << QString::fromLatin1(row.what);
        }
        if (mask) ::umask(std::exchange(mask, 0));
    }
    storage::AtomicFile::setBeforeOpenInPlace(nullptr);
    if (!skipped.isEmpty()) GTEST_SKIP() << "could not be made here (a device needs root, a terminal /dev/pts): " << skipped.join(QStringLiteral("; ")).toStdString();
}
