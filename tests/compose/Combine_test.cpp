// Combine in the real window: the canvas, the bars, the grid and the errors it may meet.

#include "support/BmpBuilder.h"
#include "support/CommaLocale.h"
#include "support/Pictures.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "toolkit/Screen.h"
#include "toolkit/Errors.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>
#include <sys/stat.h>
#include <functional>

namespace {

// A distinct colour for picture i.
uint32_t colourOf(int i) { return 0x101010u + static_cast<uint32_t>(i) * 0x030507u; }

// A folder of n pictures (p000.bmp ...), each of one colour, size w x h.
void fill(const TempTree& tree, int n, int w = 64, int h = 64) {
    for (int i = 0; i < n; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%03d.bmp", i);
        tree.addFile(name, solidBmp(w, h, colourOf(i)));
    }
}

struct Combined {
    TempTree tree;
    WindowDriver window;
    Combined(int n, const QString& width = "64", const QString& height = "64", int w = 64, int h = 64)
        : window((fill(tree, n, w, h), tree.root())) {
        window.click(QStringLiteral("cmdGetContents"));
        window.type(QStringLiteral("txtWidth"), width);
        window.type(QStringLiteral("txtHeight"), height);
        window.click(QStringLiteral("cmdCombine"));
    }
    frmQuiltwright& form() { return window.form(); }
    const bmp::Image& canvas() { return form().picMain.persistentImage(); }
};

}  // namespace

TEST(Combine, twenty_five_pictures_of_64_pixels_fill_three_rows_of_ten) {
    Combined c(25);
    frmQuiltwright& f = c.form();
    EXPECT_EQ(f.picMain.Width(), 9600);
    EXPECT_EQ(f.picMain.Height(), 2880);
    EXPECT_EQ(f.picMain.Left(), 0);
    EXPECT_EQ(f.picMain.Top(), 0);
    ASSERT_EQ(c.canvas().width, 640);
    ASSERT_EQ(c.canvas().height, 192);
    for (int p = 0; p < 25; ++p)
        for (const auto& [dx, dy] : {std::pair{0, 0}, {63, 63}, {31, 17}})
            EXPECT_EQ(rgbAt(c.canvas(), p % 10 * 64 + dx, p / 10 * 64 + dy), colourOf(p)) << "picture " << p;
    EXPECT_EQ(rgbAt(c.canvas(), 5 * 64, 2 * 64), 0u);  // after the last picture: black
    // The view shows 629 x 117 pixels inside its frame: the bars reach the canvas's last pixels.
    EXPECT_EQ(f.HScr.Max(), 17);
    EXPECT_EQ(f.VScr.Max(), 113);
    EXPECT_TRUE(c.window.widget<QScrollBar>(QStringLiteral("HScr"))->isEnabled());
    EXPECT_TRUE(c.window.widget<QScrollBar>(QStringLiteral("VScr"))->isEnabled());
    EXPECT_EQ(c.window.widget<QScrollBar>(QStringLiteral("VScr"))->maximum(), 113);
    EXPECT_TRUE(c.window.widget<QPushButton>(QStringLiteral("cmdSave"))->isEnabled());
    EXPECT_TRUE(c.window.messages.empty());
}

TEST(Combine, ten_pictures_make_one_row_and_an_eleventh_a_second) {
    Combined ten(10);
    EXPECT_EQ(ten.form().picMain.Height(), 960);
    EXPECT_FALSE(ten.form().VScr.Enabled());
    Combined eleven(11);
    EXPECT_EQ(eleven.form().picMain.Height(), 1920);
    EXPECT_EQ(eleven.form().VScr.Max(), 17);
    EXPECT_EQ(rgbAt(eleven.canvas(), 0, 64), colourOf(10));
}

TEST(Combine, one_picture_is_one_cell_and_both_bars_keep_their_earlier_range) {
    Combined c(25);
    c.form().VScr.userChange(50);
    TempTree one;
    one.addFile("only.bmp", solidBmp(10, 10, 0xFF0000));
    c.window.openFolder(one.root());
    c.window.click(QStringLiteral("cmdGetContents"));
    c.window.click(QStringLiteral("cmdCombine"));
    frmQuiltwright& f = c.form();
    EXPECT_EQ(f.picMain.Width(), 960);
    EXPECT_EQ(f.picMain.Height(), 960);
    EXPECT_FALSE(f.HScr.Enabled());
    EXPECT_FALSE(f.VScr.Enabled());
    EXPECT_EQ(f.VScr.Max(), 113);
    EXPECT_EQ(f.VScr.Value(), 50);
    EXPECT_EQ(f.picMain.Top(), 0);
    EXPECT_EQ(rgbAt(c.canvas(), 63, 63), 0xFF0000u);  // stretched to fill the cell
}

TEST(Combine, cells_that_do_not_divide_640_pixels_get_the_rows_every_picture_needs) {
    // Six cells of 100 to a row: 25 pictures need 5 rows where the fold alone gives 4.
    Combined c(25, "100", "100");
    EXPECT_EQ(c.form().picMain.Width(), 9600);
    EXPECT_EQ(c.form().picMain.Height(), 7500);
    EXPECT_EQ(c.canvas().height, 500);
    EXPECT_EQ(c.form().VScr.Max(), 575);
    EXPECT_EQ(rgbAt(c.canvas(), 0, 399), colourOf(18));   // row 3 holds pictures 18 to 23
    EXPECT_EQ(rgbAt(c.canvas(), 599, 399), colourOf(23));
    EXPECT_EQ(rgbAt(c.canvas(), 0, 400), colourOf(24));   // and the 25th is on the canvas
    EXPECT_EQ(rgbAt(c.canvas(), 99, 499), colourOf(24));
    EXPECT_EQ(rgbAt(c.canvas(), 100, 400), 0u);
    EXPECT_EQ(rgbAt(c.canvas(), 639, 0), 0u);              // 6 cells of 100 leave 40 pixels black
}

TEST(Combine, cells_wider_than_640_pixels_stand_alone_in_their_rows) {
    Combined c(8, "700", "50");
    EXPECT_EQ(c.form().picMain.Width(), 9600);
    EXPECT_EQ(c.form().picMain.Height(), 6000);
    ASSERT_EQ(c.canvas().height, 400);  // a row for each, and not one more
    for (int p = 0; p < 8; ++p) EXPECT_EQ(rgbAt(c.canvas(), 639, p * 50 + 49), colourOf(p));
}

TEST(Combine, typed_sizes_follow_the_text_to_number_rule_in_every_locale) {
    const auto check = [] {
        for (const auto& [text, pixels] : std::vector<std::pair<QString, int>>{
                 {" 64 ", 64}, {"6 4", 64}, {"64px", 64}, {"64.5", 64}, {"65.5", 66}, {"1.5e2", 150}, {"&H20", 32}}) {
            Combined c(1, text, text);
            EXPECT_EQ(c.canvas().width, pixels) << text.toStdString();
            EXPECT_EQ(c.canvas().height, pixels) << text.toStdString();
        }
    };
    check();
    const CommaLocale german;  // where the user's numbers are written 65,5
    if (!german.active()) GTEST_SKIP() << german.why();
    SCOPED_TRACE("in a locale with a decimal comma");
    check();
}

TEST(Combine, sizes_that_cannot_work_are_refused_before_anything_changes) {
    Combined c(25);
    struct Row {
        const char* field;
        QString text, error, said;
    };
    const Row bad[] = {{"txtHeight", "-5", "Error 380", ""},
                       {"txtHeight", "2000000000", "Error 7", ""},  // larger than a picture box holds
                       {"txtHeight", "9e99", "Error 6", ""},
                       // Sizes that read as 0 would paint an empty canvas: the field is named.
                       {"txtWidth", "", "Error 380", "Width reads \"\" as 0 pixels. Type a whole number"},
                       {"txtWidth", "0", "Error 380", "Width reads \"0\""},
                       {"txtWidth", "abc", "Error 380", "Width reads \"abc\""},
                       {"txtHeight", "0.4", "Error 380", "into Height"}};
    for (const auto& [field, text, error, said] : bad) {
        SCOPED_TRACE(text.toStdString());
        c.window.messages.clear();
        c.window.type(QStringLiteral("txtWidth"), QStringLiteral("64"));
        c.window.type(QStringLiteral("txtHeight"), QStringLiteral("64"));
        c.window.type(QString::fromLatin1(field), text);
        c.window.click(QStringLiteral("cmdCombine"));
        ASSERT_EQ(c.window.messages.size(), 1u);
        EXPECT_EQ(c.window.messages[0].title, QStringLiteral("Kestrune Quiltwright"));
        EXPECT_TRUE(c.window.lastMessageText().startsWith(error)) << c.window.lastMessageText().toStdString();
        EXPECT_TRUE(c.window.lastMessageText().contains(said)) << c.window.lastMessageText().toStdString();
        EXPECT_EQ(c.form().picMain.Height(), 2880);
        EXPECT_EQ(c.form().VScr.Max(), 113);
        EXPECT_EQ(rgbAt(c.canvas(), 0, 0), colourOf(0));
        EXPECT_TRUE(c.form().cmdSave.Enabled());  // the sheet that stands is still whole
        EXPECT_TRUE(c.window.window().isVisible());
    }
}

// A folder of n pictures listed by Get Contents; spoil() then damages one before Combine.
struct SpoiledRun {
    TempTree tree;
    WindowDriver w;
    SpoiledRun(int n, const std::function<void(const TempTree&)>& spoil) : w((fill(tree, n), tree.root())) {
        w.click(QStringLiteral("cmdGetContents"));
        spoil(tree);
        w.click(QStringLiteral("cmdCombine"));
    }
    bool reported(const std::string& file, const QString& error) const {
        return w.messages.size() == 1 && w.lastMessageText().startsWith(error) &&
               w.lastMessageText().contains(QString::fromStdString(tree.path(file)));
    }
    const bmp::Image& canvas() { return w.form().picMain.persistentImage(); }
};

TEST(Combine, a_file_that_fails_at_index_5_stops_there_and_names_the_file) {
    SpoiledRun r(8, [](const TempTree& tree) { tree.addFile("p005.bmp", {'B', 'M', 1, 2, 3}); });
    EXPECT_TRUE(r.reported("p005.bmp", QStringLiteral("Error 481"))) << r.w.lastMessageText().toStdString();
    EXPECT_EQ(r.canvas().width, 512);  // 8 cells: the canvas was set up
    for (int p = 0; p < 5; ++p) EXPECT_EQ(rgbAt(r.canvas(), p * 64, 0), colourOf(p));
    EXPECT_EQ(rgbAt(r.canvas(), 5 * 64, 0), 0u);
    EXPECT_FALSE(r.w.form().cmdSave.Enabled());
    EXPECT_TRUE(r.w.window().isVisible());
}

TEST(Combine, save_waits_for_a_combine_that_finishes_after_one_that_failed_or_was_cancelled) {
    // A whole sheet stands and Save is available; then another folder's Combine does not finish.
    const std::pair<const char*, std::function<void(WindowDriver&, const TempTree&)>> endings[] = {
        {"failed on a picture broken since Get Contents", [](WindowDriver& w, const TempTree& next) {
             w.click(QStringLiteral("cmdGetContents"));
             // The first: nothing is painted, and the canvas and Save stay as they were.
             next.addFile("p000.bmp", {'B', 'M', 1, 2, 3});
             const std::vector<uint32_t> before = pixelsOf(w.form().picMain.persistentImage());
             w.click(QStringLiteral("cmdCombine"));
             EXPECT_TRUE(w.lastMessageText().startsWith(QStringLiteral("Error 481"))) << w.lastMessageText().toStdString();
             EXPECT_TRUE(w.form().cmdSave.Enabled());
             EXPECT_EQ(pixelsOf(w.form().picMain.persistentImage()), before);
             next.addFile("p000.bmp", solidBmp(64, 64, 0x123456));
             next.addFile("p017.bmp", {'B', 'M', 1, 2, 3});  // a later one: part of a new sheet is painted
             w.click(QStringLiteral("cmdCombine"));
             EXPECT_TRUE(w.lastMessageText().startsWith(QStringLiteral("Error 481"))) << w.lastMessageText().toStdString();
         }},
        {"cancelled", [](WindowDriver& w, const TempTree&) {
             w.click(QStringLiteral("cmdGetContents"));
             EXPECT_EQ(w.clickAndCancel(QStringLiteral("cmdCombine")), 1);
         }}};
    for (const auto& [ending, run] : endings) {
        SCOPED_TRACE(ending);
        Combined c(3);
        ASSERT_TRUE(c.form().cmdSave.Enabled());
        TempTree next;
        fill(next, 40);
        c.window.openFolder(next.root());
        run(c.window, next);
        EXPECT_FALSE(c.form().cmdSave.Enabled());
        EXPECT_FALSE(c.window.widget<QPushButton>(QStringLiteral("cmdSave"))->isEnabled());
        c.window.click(QStringLiteral("cmdSave"));  // the button takes no click
        EXPECT_FALSE(next.exists("Combined.bmp"));
        // A Combine that finishes makes it available again.
        fill(next, 40);
        c.window.click(QStringLiteral("cmdCombine"));
        EXPECT_TRUE(c.form().cmdSave.Enabled());
    }
}

TEST(Combine, every_way_text_reaches_the_width_and_height_boxes_is_what_combine_reads) {
    const std::pair<const char*, std::function<void(QLineEdit*)>> routes[] = {
        {"typing", [](QLineEdit* edit) { edit->selectAll(), QTest::keyClicks(edit, QStringLiteral("32")); }},
        {"paste", [](QLineEdit* edit) {
             QApplication::clipboard()->setText(QStringLiteral("32"));
             edit->selectAll();
             QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
         }},
        {"undo", [](QLineEdit* edit) {
             edit->selectAll(), QTest::keyClicks(edit, QStringLiteral("32"));
             edit->selectAll(), QTest::keyClick(edit, Qt::Key_Delete);
             QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
         }},
        {"drag and drop", [](QLineEdit* edit) {
             edit->clear();
             QMimeData data;
             data.setText(QStringLiteral("32"));
             QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
             QApplication::sendEvent(edit, &enter);
             QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
             QApplication::sendEvent(edit, &drop);
         }},
        {"the accessibility interface", [](QLineEdit* edit) {
             QAccessible::queryAccessibleInterface(edit)->setText(QAccessible::Value, QStringLiteral("32"));
         }}};
    for (const auto& [route, set] : routes) {
        SCOPED_TRACE(route);
        Combined c(2);
        for (const char* field : {"txtWidth", "txtHeight"}) {
            QLineEdit* edit = c.window.widget<QLineEdit>(QString::fromLatin1(field));
            edit->setFocus();
            set(edit);
            EXPECT_EQ(edit->text(), QStringLiteral("32"));
        }
        c.window.click(QStringLiteral("cmdCombine"));
        EXPECT_EQ(c.canvas().width, 64);  // two 32-pixel cells
        EXPECT_EQ(c.canvas().height, 32);
    }
}

TEST(Combine, a_long_run_that_fails_early_or_is_cancelled_returns_with_the_storage_helper_stopped) {
    // 150 pictures, a named pipe among those the storage works ahead on: neither the helper nor
    // the reader ever waits on it, and the run ends where it failed or was cancelled.
    const std::pair<const char*, std::function<void(WindowDriver&)>> endings[] = {
        {"failed at the third", [](WindowDriver& w) { w.click(QStringLiteral("cmdCombine")); }},
        {"cancelled", [](WindowDriver& w) { w.clickAndCancel(QStringLiteral("cmdCombine")); }}};
    for (const auto& [ending, run] : endings) {
        SCOPED_TRACE(ending);
        TempTree tree;
        fill(tree, 150);
        WindowDriver w(tree.root());
        w.click(QStringLiteral("cmdGetContents"));
        std::remove(tree.path("p040.bmp").c_str());
        ASSERT_EQ(::mkfifo(tree.path("p040.bmp").c_str(), 0600), 0);
        if (std::string_view(ending) != "cancelled") tree.addFile("p002.bmp", {'B', 'M'});
        run(w);
        EXPECT_FALSE(w.form().cmdSave.Enabled());
        EXPECT_EQ(rgbAt(w.form().picMain.persistentImage(), 0, 0), colourOf(0));
    }
}

TEST(Combine, pictures_are_read_as_they_are_when_their_turn_comes) {
    SpoiledRun gone(3, [](const TempTree& tree) { std::remove(tree.path("p000.bmp").c_str()); });
    EXPECT_TRUE(gone.reported("p000.bmp", QStringLiteral("Error 53"))) << gone.w.lastMessageText().toStdString();
    EXPECT_EQ(gone.w.form().picMain.Width(), 9855);  // the first entry failed: the canvas is untouched

    SpoiledRun changed(70, [](const TempTree& tree) { tree.addFile("p066.bmp", solidBmp(64, 64, 0xABCDEF)); });
    EXPECT_TRUE(changed.w.messages.empty());
    EXPECT_EQ(rgbAt(changed.canvas(), 6 * 64, 6 * 64), 0xABCDEFu);  // the file as it is now, not as listed
    EXPECT_EQ(rgbAt(changed.canvas(), 5 * 64, 6 * 64), colourOf(65));
}

TEST(Combine, a_picture_turned_into_a_folder_since_get_contents_is_reported_by_name) {
    SpoiledRun r(3, [](const TempTree& tree) {
        std::remove(tree.path("p001.bmp").c_str());
        tree.addFolder("p001.bmp");
    });
    EXPECT_TRUE(r.reported("p001.bmp", QStringLiteral("Error"))) << r.w.lastMessageText().toStdString();
    EXPECT_EQ(rgbAt(r.canvas(), 0, 0), colourOf(0));  // what was painted stays
    EXPECT_TRUE(r.w.window().isVisible());
}

TEST(Combine, a_second_run_paints_on_a_clean_canvas_from_the_top_left) {
    Combined c(12);
    TempTree two;
    two.addFile("x.bmp", solidBmp(64, 64, 0x00FF00));
    two.addFile("y.bmp", solidBmp(64, 64, 0x00FF00));
    c.window.openFolder(two.root());
    c.window.click(QStringLiteral("cmdGetContents"));
    c.window.type(QStringLiteral("txtWidth"), QStringLiteral("32"));
    c.window.click(QStringLiteral("cmdCombine"));
    EXPECT_EQ(c.canvas().width, 64);
    EXPECT_EQ(c.canvas().height, 64);
    EXPECT_EQ(rgbAt(c.canvas(), 0, 0), 0x00FF00u);
    EXPECT_EQ(rgbAt(c.canvas(), 63, 63), 0x00FF00u);
}

TEST(Combine, a_second_run_on_a_canvas_of_the_same_size_leaves_nothing_of_the_first) {
    Combined c(20);  // two full rows
    TempTree fewer;
    for (int i = 0; i < 11; ++i) fewer.addFile("q" + std::to_string(10 + i) + ".bmp", solidBmp(64, 64, 0x00FF00));
    c.window.openFolder(fewer.root());
    c.window.click(QStringLiteral("cmdGetContents"));
    c.window.click(QStringLiteral("cmdCombine"));
    ASSERT_EQ(c.canvas().width, 640);
    ASSERT_EQ(c.canvas().height, 128);  // the same canvas
    EXPECT_EQ(rgbAt(c.canvas(), 10, 64 + 10), 0x00FF00u);  // the eleventh picture, first in row two
    for (int cell = 11; cell < 20; ++cell) EXPECT_EQ(rgbAt(c.canvas(), cell % 10 * 64 + 30, 64 + 30), 0u) << cell;
}

TEST(Combine, the_programs_own_output_is_listed_but_never_painted_in) {
    Combined c(3);
    c.tree.addFile("sub/Combined.bmp", solidBmp(64, 64, 0xFFFFFF));
    c.tree.addFile("sub/LevelCombined.bmp", solidBmp(64, 64, 0x0000FF));  // other names: pictures like any other
    c.tree.addFile("sub/combined.bmp", solidBmp(64, 64, 0x00FF00));
    c.window.click(QStringLiteral("cmdSave"));
    c.window.click(QStringLiteral("cmdGetContents"));
    ASSERT_EQ(c.form().piclist.ListCount(), 7);
    EXPECT_EQ(c.form().piclist.List(0), c.tree.path("Combined.bmp"));
    c.window.click(QStringLiteral("cmdCombine"));
    EXPECT_TRUE(c.window.messages.size() == 1) << "only Save's confirmation";
    ASSERT_EQ(c.canvas().width, 320);  // five cells: the three pictures, sub/combined.bmp, sub/LevelCombined.bmp
    for (int p = 0; p < 3; ++p) EXPECT_EQ(rgbAt(c.canvas(), p * 64 + 32, 32), colourOf(p));
    EXPECT_EQ(rgbAt(c.canvas(), 3 * 64, 0), 0x00FF00u);
    EXPECT_EQ(rgbAt(c.canvas(), 4 * 64, 0), 0x0000FFu);

    // A list of nothing but earlier sheets is nothing to combine: said, and nothing changes (the
    // canvas as it stood, Save as it was), in a window that has combined before and in a new one.
    TempTree only;
    only.addFile("Combined.bmp", solidBmp(8, 8, 0xFF0000));
    only.addFile("sub/Combined.bmp", solidBmp(8, 8, 0xFF0000));
    WindowDriver fresh(only.root());
    for (WindowDriver* w : {&c.window, &fresh}) {
        const bool saveBefore = w->form().cmdSave.Enabled();
        const float widthBefore = w->form().picMain.Width();
        w->messages.clear();
        w->openFolder(only.root());
        w->click(QStringLiteral("cmdGetContents"));
        w->click(QStringLiteral("cmdCombine"));
        ASSERT_EQ(w->messages.size(), 1u);
        EXPECT_TRUE(w->lastMessageText().startsWith(QStringLiteral("Error 53"))) << w->lastMessageText().toStdString();
        EXPECT_TRUE(w->lastMessageText().contains(QStringLiteral("Nothing to combine"))) << w->lastMessageText().toStdString();
        EXPECT_EQ(w->form().cmdSave.Enabled(), saveBefore);
        EXPECT_EQ(w->form().picMain.Width(), widthBefore);
    }
    EXPECT_EQ(c.canvas().width, 320);
    EXPECT_EQ(rgbAt(c.canvas(), 0, 0), colourOf(0));
    EXPECT_FALSE(fresh.form().cmdSave.Enabled());
    EXPECT_EQ(only.read("Combined.bmp"), solidBmp(8, 8, 0xFF0000));
}

TEST(Combine, more_than_32767_scroll_units_reach_the_last_row) {
    TempTree tree;
    const std::vector<uint8_t> tiny = solidBmp(1, 1, 0x336699);
    for (int i = 0; i < 3431; ++i) tree.addFile("s/" + std::to_string(i) + ".bmp", tiny);
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    w.click(QStringLiteral("cmdCombine"));
    EXPECT_TRUE(w.messages.empty());
    frmQuiltwright& f = w.form();
    EXPECT_EQ(f.picMain.Height(), 330240);
    EXPECT_EQ(f.VScr.Max(), 32849);
    auto* bar = w.widget<QScrollBar>(QStringLiteral("VScr"));
    bar->setValue(bar->maximum());
    EXPECT_EQ(f.picMain.Top(), -328490);
    EXPECT_LE(f.picMain.Height() + f.picMain.Top(), f.picContainer.ScaleHeight());  // the last row is in view
    EXPECT_EQ(rgbAt(f.picMain.persistentImage(), 0, 343 * 64), 0x336699u);   // picture 3,430
}

TEST(Combine, an_empty_list_is_refused_and_leaves_the_canvas_and_save_as_they_were) {
    Combined c(3);
    TempTree empty;
    c.window.openFolder(empty.root());
    c.window.click(QStringLiteral("cmdGetContents"));
    ASSERT_FALSE(c.form().cmdCombine.Enabled());
    // The button is unavailable; the command itself still holds.
    EXPECT_THROW(c.form().cmdCombine_Click(), tk::Error);
    EXPECT_EQ(c.form().picMain.Width(), 2880);
    EXPECT_EQ(rgbAt(c.canvas(), 0, 0), colourOf(0));
    EXPECT_TRUE(c.form().cmdSave.Enabled());  // the sheet that stands is still whole
}


TEST(Combine, cancelling_keeps_the_cells_painted_and_saves_state) {
    // Cancelled as the progress window first shows, while the painting threads are at the start.
    TempTree tree;
    fill(tree, 3000, 4, 4);
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    EXPECT_EQ(w.clickAndCancel(QStringLiteral("cmdCombine")), 1);
    EXPECT_TRUE(w.messages.empty());
    EXPECT_FALSE(w.form().cmdSave.Enabled());
    EXPECT_EQ(rgbAt(w.form().picMain.persistentImage(), 0, 0), colourOf(0));     // painted before the cancel
    EXPECT_EQ(rgbAt(w.form().picMain.persistentImage(), 639, 19199), 0u);       // the last picture never came
}

TEST(Combine, a_screen_change_while_it_paints_takes_effect_once_the_sheet_stands) {
    // The window moves to a screen of another scale as the run begins, and again while rows are
    // handed on: the sheet is the one painted at one scale throughout, and the new factors hold
    // from then on.
    Combined c(45);
    const std::vector<uint32_t> sheet = pixelsOf(c.canvas());
    struct Moving : FormHost {
        FormHost& window;
        float factor;
        Moving(FormHost& w, float f) : window(w), factor(f) {}
        void MsgBox(const QString& prompt, int style, const QString& title) override { window.MsgBox(prompt, style, title); }
        void beginLongCommand(const QString& title) override {
            tk::Screen::setTwipsPerPixel(factor, factor);
            window.beginLongCommand(title);
        }
        void endLongCommand() override { window.endLongCommand(); }
    };
    for (const float factor : {12.0f, 8.0f, 20.0f}) {
        SCOPED_TRACE(factor);
        Moving moving(c.window.window().host(), factor);
        c.form().setHost(&moving);
        c.form().rowsPainted = [&](const bmp::Image&, int64_t) { tk::Screen::setTwipsPerPixel(factor + 1, factor + 1); };
        c.window.click(QStringLiteral("cmdCombine"));
        c.form().rowsPainted = {};
        c.form().setHost(&c.window.window().host());
        EXPECT_EQ(tk::Screen::TwipsPerPixelX(), factor + 1);
        tk::Screen::setTwipsPerPixel(15, 15);
        EXPECT_EQ(pixelsOf(c.canvas()), sheet);
    }
}
