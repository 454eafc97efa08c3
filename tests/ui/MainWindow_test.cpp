// The real window, offscreen: its controls at start, geometry at two screen densities, tab
// order, the drive list, scrolling, and errors that leave the window running.

#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "ui/CanvasWidget.h"
#include "toolkit/Screen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Place {
    const char* name;
    float left, top, width, height;
};

// The window's design: every control's place and size in twips.
const Place kDesign[] = {
    {"piclist", 2520, 2880, 7455, 2400},     {"drv", 120, 2400, 2295, 315},
    {"dir", 120, 2880, 2295, 2340},          {"cmdGetContents", 2520, 2400, 1575, 375},
    {"cmdCombine", 240, 5400, 2295, 375},    {"cmdSave", 2640, 5400, 2295, 375},
    {"picContainer", 120, 240, 9495, 1815},  {"HScr", 120, 2040, 9495, 255},
    {"VScr", 9600, 240, 255, 1815},          {"txtWidth", 6480, 5520, 975, 285},
    {"txtHeight", 8520, 5520, 975, 285},     {"lblWidth", 5520, 5520, 855, 255},
    {"lblHeight", 7560, 5520, 855, 255},     {"chkDropFloor", 4560, 2400, 1935, 255},
    {"tmpPic", 1320, 5880, 7695, 3375},
};

int px(float twips, float factor) { return static_cast<int>(std::lround(twips / factor)); }

void expectStartUpState(float factor) {
    tk::Screen::setTwipsPerPixel(factor, factor);
    TempTree tree;
    WindowDriver w(tree.root());
    frmQuiltwright& f = w.form();
    MainWindow& window = w.window();

    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrune Quiltwright"));
    EXPECT_EQ(window.size(), QSize(px(10110, factor), px(5925, factor)));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());  // not resizable
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window.windowIcon().isNull());

    for (const Place& p : kDesign) {
        SCOPED_TRACE(p.name);
        QWidget* widget = window.widgetFor(QString::fromLatin1(p.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(px(p.left, factor), px(p.top, factor), px(p.width, factor), px(p.height, factor)));
    }
    // The canvas: frameless at the viewport's top-left corner, at its design size.
    EXPECT_EQ(f.picMain.BorderStyle(), 0);
    EXPECT_EQ(f.picMain.Left(), 0);
    EXPECT_EQ(f.picMain.Top(), 0);
    EXPECT_EQ(f.picMain.Width(), 9855);
    QWidget* canvas = window.widgetFor(QStringLiteral("picMain"));
    const int frame = qobject_cast<QFrame*>(window.widgetFor(QStringLiteral("picContainer")))->frameWidth();
    EXPECT_EQ(canvas->geometry().topLeft(), QPoint(frame, frame));

    EXPECT_EQ(w.widget<QListWidget>(QStringLiteral("piclist"))->count(), 0);
    EXPECT_FALSE(w.widget<QPushButton>(QStringLiteral("cmdCombine"))->isEnabled());
    EXPECT_FALSE(w.widget<QPushButton>(QStringLiteral("cmdSave"))->isEnabled());
    EXPECT_TRUE(w.widget<QPushButton>(QStringLiteral("cmdGetContents"))->isEnabled());
    EXPECT_FALSE(w.widget<QScrollBar>(QStringLiteral("HScr"))->isEnabled());
    EXPECT_FALSE(w.widget<QScrollBar>(QStringLiteral("VScr"))->isEnabled());
    EXPECT_FALSE(w.widget<QCheckBox>(QStringLiteral("chkDropFloor"))->isChecked());
    EXPECT_EQ(w.widget<QCheckBox>(QStringLiteral("chkDropFloor"))->text(), QStringLiteral("Drop to floor"));
    EXPECT_EQ(w.widget<QLineEdit>(QStringLiteral("txtWidth"))->text(), QStringLiteral("64"));
    EXPECT_EQ(w.widget<QLineEdit>(QStringLiteral("txtHeight"))->text(), QStringLiteral("64"));
    EXPECT_EQ(w.widget<QPushButton>(QStringLiteral("cmdGetContents"))->text(), QStringLiteral("Get Contents"));
    EXPECT_FALSE(window.widgetFor(QStringLiteral("tmpPic"))->isVisible());
    EXPECT_EQ(f.dir.Path(), tree.root());
    tk::Screen::setTwipsPerPixel(15, 15);
}

}  // namespace

TEST(MainWindow, start_up_state_and_geometry_at_15_twips_per_pixel) { expectStartUpState(15); }

TEST(MainWindow, start_up_state_and_geometry_at_12_twips_per_pixel) { expectStartUpState(12); }

TEST(MainWindow, tab_moves_through_the_available_controls_in_design_order) {
    TempTree tree;
    WindowDriver w(tree.root());
    QApplication::setActiveWindow(&w.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window()));
    w.window().widgetFor(QStringLiteral("piclist"))->setFocus();
    QStringList order;
    for (int i = 0; i < 10; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, QStringList({"piclist", "drv", "dir", "cmdGetContents", "picContainer", "picMain", "txtWidth",
                                  "txtHeight", "chkDropFloor", "piclist"}));
}

TEST(MainWindow, choosing_a_drive_opens_its_current_folder_and_changes_nothing_else) {
    TempTree tree({"drive/inner/", "pics/a.bmp"});
    WindowDriver w(tree.path("pics"), tree.path("drive"));
    w.click(QStringLiteral("cmdGetContents"));
    ASSERT_EQ(w.form().piclist.ListCount(), 1);

    auto* drives = w.widget<QComboBox>(QStringLiteral("drv"));
    drives->setFocus();
    QTest::keyClick(drives, Qt::Key_Down);  // the second drive
    w.settle();
    EXPECT_EQ(w.form().dir.Path(), tree.path("drive"));
    EXPECT_EQ(w.form().piclist.ListCount(), 1);
    EXPECT_TRUE(w.form().cmdCombine.Enabled());
    EXPECT_TRUE(w.messages.empty());

    // The drive remembers the folder last opened on it.
    w.openFolder(tree.path("drive/inner"));
    QTest::keyClick(drives, Qt::Key_Up);
    w.settle();
    EXPECT_EQ(w.form().dir.Path(), tree.path("pics"));  // "/" holds it: the folder last opened there
    QTest::keyClick(drives, Qt::Key_Down);
    w.settle();
    EXPECT_EQ(w.form().dir.Path(), tree.path("drive/inner"));
}

TEST(MainWindow, a_drive_that_cannot_be_opened_reports_and_the_folder_list_keeps_its_folder) {
    TempTree tree({"pics/"});
    WindowDriver w(tree.path("pics"), tree.path("gone"));
    auto* drives = w.widget<QComboBox>(QStringLiteral("drv"));
    drives->setFocus();
    w.act([&] { QTest::keyClick(drives, Qt::Key_Down); });
    ASSERT_EQ(w.messages.size(), 1u);
    const QString shown = w.messages[0].title + "|" + w.messages[0].text;
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Kestrune Quiltwright|Error 68"))) << shown.toStdString();
    EXPECT_EQ(drives->currentIndex(), 1);  // the drive list shows the chosen drive
    EXPECT_EQ(w.form().dir.Path(), tree.path("pics"));
    EXPECT_TRUE(w.window().isVisible());
}

TEST(MainWindow, scroll_bars_move_the_canvas_ten_twips_a_unit_past_the_16_bit_range) {
    TempTree tree;
    WindowDriver w(tree.root());
    frmQuiltwright& f = w.form();
    f.VScr.setMax(100000);
    f.VScr.setEnabled(true);
    f.HScr.setMax(10);
    f.HScr.setEnabled(true);
    auto* vertical = w.widget<QScrollBar>(QStringLiteral("VScr"));
    auto* horizontal = w.widget<QScrollBar>(QStringLiteral("HScr"));

    vertical->setValue(1);
    EXPECT_EQ(f.picMain.Top(), -10);
    vertical->setValue(3276);
    EXPECT_EQ(f.picMain.Top(), -32760);
    vertical->setValue(3277);
    EXPECT_EQ(f.picMain.Top(), -32770);
    vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(f.picMain.Top(), -32780);
    vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.picMain.Top(), -32830);
    horizontal->setValue(10);
    EXPECT_EQ(f.picMain.Left(), -100);
    EXPECT_EQ(w.window().canvas()->y(), px(-32830, 15) + qobject_cast<QFrame*>(w.window().widgetFor("picContainer"))->frameWidth());

    // Dragging: the canvas follows the thumb (Scroll), and the release sets it once more.
    vertical->setSliderDown(true);
    vertical->setSliderPosition(500);
    EXPECT_EQ(f.picMain.Top(), -5000);
    vertical->setSliderDown(false);
    EXPECT_EQ(f.picMain.Top(), -5000);
    EXPECT_TRUE(w.messages.empty());
}

TEST(MainWindow, double_clicking_a_folder_opens_it_and_runs_nothing_else) {
    TempTree tree({"top/alpha/", "top/beta/inner/", "top/a.bmp"});
    WindowDriver w(tree.path("top"));
    w.click(QStringLiteral("cmdGetContents"));
    auto* folders = w.widget<QListWidget>(QStringLiteral("dir"));
    const auto rowOf = [folders](const QString& label) {
        for (int i = 0; i < folders->count(); ++i)
            if (folders->item(i)->text().trimmed() == label) return i;
        return -1;
    };
    const int beta = rowOf(QStringLiteral("beta"));
    ASSERT_GE(beta, 0);
    const QRect place = folders->visualItemRect(folders->item(beta));
    QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, place.center());  // a single click only highlights
    EXPECT_EQ(w.form().dir.Path(), tree.path("top"));
    QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {}, place.center());
    w.settle();
    EXPECT_EQ(w.form().dir.Path(), tree.path("top/beta"));
    EXPECT_GE(rowOf(QStringLiteral("inner")), 0);  // its subfolders are listed below it
    EXPECT_EQ(w.form().piclist.ListCount(), 1);       // the list keeps what Get Contents found
    EXPECT_TRUE(w.form().cmdCombine.Enabled());
}
