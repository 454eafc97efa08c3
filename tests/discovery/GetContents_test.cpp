// Get Contents in the real window: the sorted list, Combine's availability, and what it leaves alone.

#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "discovery/DirectoryEnumerator.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QStringList shown(WindowDriver& w) {
    QStringList texts;
    auto* list = w.widget<QListWidget>(QStringLiteral("piclist"));
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TEST(GetContents, lists_every_bitmap_below_the_folder_sorted_and_enables_combine) {
    TempTree tree({"pics/b.bmp", "pics/A.bmp", "pics/z/deep/PHOTO.BMP", "pics/_first.bmp", "pics/notes.txt"});
    WindowDriver w(tree.path("pics"));
    w.click(QStringLiteral("cmdGetContents"));
    EXPECT_EQ(shown(w), QStringList({q(tree.path("pics/_first.bmp")), q(tree.path("pics/A.bmp")), q(tree.path("pics/b.bmp")),
                                     q(tree.path("pics/z/deep/PHOTO.BMP"))}));
    EXPECT_TRUE(w.widget<QPushButton>(QStringLiteral("cmdCombine"))->isEnabled());
    EXPECT_TRUE(w.messages.empty());

    w.click(QStringLiteral("cmdGetContents"));  // twice: each path still listed once
    EXPECT_EQ(shown(w).size(), 4);
}

TEST(GetContents, an_empty_tree_after_a_full_one_empties_the_list_and_disables_combine) {
    TempTree tree({"full/a.bmp", "empty/readme.txt"});
    WindowDriver w(tree.path("full"));
    w.click(QStringLiteral("cmdGetContents"));
    ASSERT_TRUE(w.form().cmdCombine.Enabled());
    w.openFolder(tree.path("empty"));
    w.click(QStringLiteral("cmdGetContents"));
    EXPECT_TRUE(shown(w).isEmpty());
    EXPECT_FALSE(w.widget<QPushButton>(QStringLiteral("cmdCombine"))->isEnabled());
}

TEST(GetContents, leaves_the_canvas_and_save_as_they_were) {
    TempTree tree;
    tree.addFile("a.bmp", solidBmp(64, 64, 0xFF8000));
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    w.click(QStringLiteral("cmdCombine"));
    ASSERT_TRUE(w.form().cmdSave.Enabled());
    const uint32_t before = w.form().picMain.Point(0, 0);
    const float width = w.form().picMain.Width();
    tree.addFile("b.bmp", solidBmp(64, 64, 0x0000FF));
    w.click(QStringLiteral("cmdGetContents"));
    EXPECT_EQ(w.form().piclist.ListCount(), 2);
    EXPECT_TRUE(w.form().cmdSave.Enabled());
    EXPECT_EQ(w.form().picMain.Point(0, 0), before);
    EXPECT_EQ(w.form().picMain.Width(), width);
}

TEST(GetContents, a_drive_root_lists_paths_with_one_separator) {
    TempTree tree({"a.bmp", "sub/b.bmp"});
    WindowDriver w(tree.root(), tree.root());
    w.form().drives.remember(tree.root());
    w.form().dir.setPath(QString::fromStdString(tree.root() + " [test]").toStdString());  // the drive entry's text
    w.click(QStringLiteral("cmdGetContents"));
    EXPECT_EQ(w.form().piclist.items(), (std::vector<std::string>{tree.path("a.bmp"), tree.path("sub/b.bmp")}));
}

TEST(GetContents, cancelling_a_long_walk_leaves_the_list_empty_and_combine_unavailable) {
    TempTree tree;
    for (int i = 0; i < 200; ++i) tree.addFile("f" + std::to_string(i) + "/p.bmp");
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    ASSERT_EQ(w.form().piclist.ListCount(), 200);

    EXPECT_EQ(w.clickAndCancel(QStringLiteral("cmdGetContents")), 1);
    EXPECT_EQ(w.form().piclist.ListCount(), 0);
    EXPECT_FALSE(w.form().cmdCombine.Enabled());
    EXPECT_TRUE(w.messages.empty());  // cancelling is not an error
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(GetContents, folders_that_cannot_be_read_are_named_once_and_the_rest_is_listed) {
    // The real file system, but folders named "secret" cannot be opened, as for a user who may not
    // read them (the tests may run as root, whom no mode stops).
    struct Denying : discovery::PosixEnumerator {
        discovery::FindHandle FindFirstFile(const std::string& search, discovery::FindData& data, discovery::FolderId& id) override {
            denied = search.ends_with("/secret/*");
            return denied ? discovery::kInvalidHandle : PosixEnumerator::FindFirstFile(search, data, id);
        }
        int lastError() const override { return denied ? EACCES : PosixEnumerator::lastError(); }
        bool denied = false;
    } denying;
    for (const int hidden : {1, 12}) {
        TempTree tree({"a.bmp", "open/b.bmp"});
        for (int i = 0; i < hidden; ++i) tree.addFile("d" + std::to_string(10 + i) + "/secret/c.bmp");
        WindowDriver w(tree.root());
        w.form().setEnumerator(&denying);
        w.click(QStringLiteral("cmdGetContents"));
        w.form().setEnumerator(nullptr);
        EXPECT_EQ(w.form().piclist.items(), (std::vector<std::string>{tree.path("a.bmp"), tree.path("open/b.bmp")}));
        EXPECT_TRUE(w.form().cmdCombine.Enabled());
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(w.lastMessageText().contains(q(tree.path("d10/secret")) + " (Permission denied)")) << w.lastMessageText().toStdString();
        EXPECT_EQ(w.lastMessageText().contains(QStringLiteral("and 2 more")), hidden == 12);
    }
}
