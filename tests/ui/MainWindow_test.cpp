// The real window, offscreen: its controls at start, geometry at two screen densities, tab
// order, the drive list, scrolling, and errors that leave the window running.

#include "support/BatchProcess.h"
#include "support/BmpBuilder.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "ui/AppIcon.h"
#include "ui/CanvasWidget.h"
#include "toolkit/Screen.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QWheelEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <optional>

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
    // The icon's grey border is as wide on every side, at every size it is drawn.
    for (const int size : kIconSizes) {
        const QImage icon = appIconImage(size);
        for (int i = 0; i < size; ++i)
            for (const QPoint edge : {QPoint(i, 0), QPoint(i, size - 1), QPoint(0, i), QPoint(size - 1, i)})
                ASSERT_EQ(icon.pixel(edge), icon.pixel(0, 0)) << size << " px at " << edge.x() << "," << edge.y();
        EXPECT_NE(icon.pixel(size / 6, size / 6), icon.pixel(0, 0));  // a cell, inside the border
    }

    for (const Place& p : kDesign) {
        SCOPED_TRACE(p.name);
        QWidget* widget = window.widgetFor(QString::fromLatin1(p.name));
        if (std::string_view(p.name) == "tmpPic") {  // never seen: no widget, only its control
            EXPECT_EQ(widget, nullptr);
            EXPECT_FALSE(f.tmpPic.Visible());
            EXPECT_EQ(f.tmpPic.Top(), p.top);
            continue;
        }
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(px(p.left, factor), px(p.top, factor), px(p.width, factor), px(p.height, factor)));
    }
    // The canvas: frameless at the viewport's top-left corner, at its design size.
    EXPECT_EQ(f.picMain.BorderStyle(), 0);
    EXPECT_EQ(f.picMain.Left(), 0);
    EXPECT_EQ(f.picMain.Top(), 0);
    EXPECT_EQ(f.picMain.Width(), 9855);
    // The canvas widget is the viewport's inner area, inside its frame.
    auto* viewport = qobject_cast<QFrame*>(window.widgetFor(QStringLiteral("picContainer")));
    EXPECT_EQ(window.widgetFor(QStringLiteral("picMain"))->geometry(), viewport->contentsRect());

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
    // The view (the viewport and the canvas in it) is one stop.
    EXPECT_EQ(order, QStringList({"piclist", "drv", "dir", "cmdGetContents", "picContainer", "txtWidth", "txtHeight",
                                  "chkDropFloor", "piclist", "drv"}));
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

TEST(MainWindow, any_row_of_the_folder_list_opens_by_double_click_or_enter_the_root_and_drive_tops_too) {
    TempTree tree({"pics/", "stick/inner/"});
    // An unlabelled drive's entry reads as its mount point, exactly as the folder row does.
    WindowDriver w(tree.path("stick/inner"), tree.path("stick"), QString());
    auto* folders = w.widget<QListWidget>(QStringLiteral("dir"));
    const auto rowOf = [&](const std::string& path) {
        const auto& items = w.form().dir.items();
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].path == path) return static_cast<int>(i);
        return -1;
    };
    const auto doubleClick = [&](int row) {
        ASSERT_GE(row, 0);
        folders->scrollToItem(folders->item(row));
        const QPoint at = folders->visualItemRect(folders->item(row)).center();
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, at);  // a double-click's first press
        QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {}, at);
        w.settle();
    };
    doubleClick(rowOf(tree.path("stick")));  // the drive's top folder, not the folder last opened on it
    EXPECT_EQ(w.form().dir.Path(), tree.path("stick"));
    w.openFolder(tree.path("pics"));  // "/" now remembers this folder
    doubleClick(rowOf("/"));
    EXPECT_EQ(w.form().dir.Path(), "/");
    // By keyboard: the highlighted row opens with Enter.
    w.openFolder(tree.path("stick/inner"));
    folders->setFocus();
    folders->setCurrentRow(rowOf("/"));
    QTest::keyClick(folders, Qt::Key_Return);
    w.settle();
    EXPECT_EQ(w.form().dir.Path(), "/");
    EXPECT_TRUE(w.messages.empty());
}

TEST(MainWindow, a_dropped_folder_or_file_opens_its_folder_and_other_drops_are_left_alone) {
    TempTree tree({"pics/a.bmp", "other/"});
    WindowDriver w(tree.path("other"));
    const auto url = [&](const char* path) { return QUrl::fromLocalFile(QString::fromStdString(tree.path(path))); };
    struct Row {
        const char* what;
        const char* onto;  // a control's widget, or the window itself
        QList<QUrl> urls;
        const char* opens;  // the folder list's folder after the drop
    };
    const Row rows[] = {{"a folder onto the window", "", {url("pics")}, "pics"},
                        {"a file onto the picture list", "piclist", {url("pics/a.bmp")}, "pics"},
                        {"a folder onto a text box", "txtWidth", {url("pics")}, "pics"},
                        {"text", "", {}, "other"},
                        {"a remote address", "", {QUrl(QStringLiteral("https://example.com/pics/"))}, "other"},
                        {"a name that is gone", "", {url("gone")}, "other"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        w.form().dir.setPath(tree.path("other"));
        QWidget* target = *row.onto ? w.window().widgetFor(QString::fromLatin1(row.onto)) : &w.window();
        QMimeData data;
        row.urls.isEmpty() ? data.setText(QStringLiteral("/tmp")) : data.setUrls(row.urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        w.act([&] {
            QApplication::sendEvent(target, &enter);
            QApplication::sendEvent(target, &drop);
        });
        EXPECT_EQ(enter.isAccepted(), std::string_view(row.opens) != "other");
        EXPECT_EQ(w.form().dir.Path(), tree.path(row.opens));
        EXPECT_EQ(w.form().txtWidth.Text(), QStringLiteral("64"));
    }
    EXPECT_TRUE(w.messages.empty());
}

TEST(MainWindow, enter_or_space_on_a_focused_button_clicks_it) {
    TempTree tree({"a.bmp", "b.bmp"});
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        SCOPED_TRACE(key);
        WindowDriver w(tree.root());
        auto* button = w.widget<QPushButton>(QStringLiteral("cmdGetContents"));
        button->setFocus();
        w.act([&] { QTest::keyClick(button, key); });
        EXPECT_EQ(w.form().piclist.ListCount(), 2);
    }
}

TEST(MainWindow, the_wheel_keys_and_a_drag_scroll_the_canvas_through_the_bars) {
    TempTree tree;
    for (int i = 0; i < 100; ++i) tree.addFile("p" + std::to_string(100 + i) + ".bmp", solidBmp(4, 4, 0x808080));
    WindowDriver w(tree.root());
    w.click(QStringLiteral("cmdGetContents"));
    w.click(QStringLiteral("cmdCombine"));  // 10 rows of 64 device pixels: VScr Max 785 at scale 1
    frmQuiltwright& f = w.form();
    ASSERT_EQ(f.VScr.Max(), std::ceil((640 * tk::Screen::TwipsPerPixelY() - f.picContainer.ScaleHeight()) / 10));
    QWidget* canvas = w.window().widgetFor(QStringLiteral("picMain"));
    QWidget* viewport = w.window().widgetFor(QStringLiteral("picContainer"));
    const auto wheel = [](QWidget* target, QPoint delta, Qt::KeyboardModifiers modifiers = {}) {
        QWheelEvent event(QPointF(20, 20), target->mapToGlobal(QPointF(20, 20)), {}, delta, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    };
    // One notch down: the desktop's lines (3) x 20 pixels = 900 twips = 90 units.
    const int notch = QApplication::wheelScrollLines() * 20 * 15 / 10;
    wheel(canvas, {0, -120});
    EXPECT_EQ(f.VScr.Value(), notch);
    EXPECT_EQ(f.picMain.Top(), -10.0 * notch);  // the bar's Change moved the canvas
    EXPECT_EQ(w.widget<QScrollBar>(QStringLiteral("VScr"))->value(), notch);
    wheel(viewport, {0, -60});  // half a notch, from a fine wheel
    EXPECT_EQ(f.VScr.Value(), notch + notch / 2);
    wheel(canvas, {0, 360});  // past the top: stops at 0
    EXPECT_EQ(f.VScr.Value(), 0);
    wheel(canvas, {0, -120}, Qt::ShiftModifier);  // across (at scale 1 only: the canvas is wider than the view)
    EXPECT_EQ(f.HScr.Value(), f.HScr.Enabled() ? f.HScr.Max() : 0);  // Max is 17: a notch reaches it
    EXPECT_EQ(f.picMain.Left(), -10.0 * f.HScr.Value());
    wheel(canvas, {0, 120}, Qt::ShiftModifier);

    // Keys: a line is a wheel line (20 pixels, 30 units); a page is the view (117 pixels) less a line.
    const int end = f.VScr.Max(), across = f.HScr.Enabled() ? std::min(30, f.HScr.Max()) : 0;
    const std::tuple<Qt::Key, int, int> keys[] = {
        {Qt::Key_Down, 30, 0},        {Qt::Key_PageDown, 30 + 145, 0}, {Qt::Key_Up, 145, 0},
        {Qt::Key_End, end, 0},        {Qt::Key_PageUp, end - 145, 0},  {Qt::Key_Home, 0, 0},
        {Qt::Key_Right, 0, across},   {Qt::Key_Left, 0, 0}};
    {
        viewport->setFocus();
        for (const auto& [key, value, acrossValue] : keys) {
            QTest::keyClick(viewport, key);
            EXPECT_EQ(f.VScr.Value(), value) << key;
            EXPECT_EQ(f.picMain.Top(), -10.0 * value);
            EXPECT_EQ(f.HScr.Value(), acrossValue) << key;
        }
    }
    // The bars' own arrows and troughs keep SmallChange and LargeChange.
    auto* bar = w.widget<QScrollBar>(QStringLiteral("VScr"));
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.VScr.Value(), 6);
    f.VScr.userChange(0);
    // Dragging the canvas up by 30 pixels shows 30 pixels further down.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(50, 60));
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 30), canvas->mapToGlobal(QPointF(50, 30)), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(canvas, &move);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(50, 30));
    EXPECT_EQ(f.VScr.Value(), 45);
    EXPECT_TRUE(w.messages.empty());
}

TEST(MainWindow, every_control_has_a_name_for_screen_readers_and_every_tab_stop_shows_focus) {
    TempTree tree;
    WindowDriver w(tree.root());
    const std::pair<const char*, const char*> names[] = {
        {"piclist", "Pictures found"}, {"drv", "Drives"},           {"dir", "Folders"},
        {"cmdGetContents", "Get Contents"}, {"cmdCombine", "Combine"}, {"cmdSave", "Save"},
        {"picContainer", "Picture view"}, {"picMain", "Combined picture"}, {"HScr", "Scroll across"},
        {"VScr", "Scroll up and down"}, {"txtWidth", "Width"},     {"txtHeight", "Height"},
        {"lblWidth", "Width:"},         {"lblHeight", "Height:"},   {"chkDropFloor", "Drop to floor"}};
    for (const auto& [control, name] : names) {
        QWidget* widget = w.window().widgetFor(control);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr) << control;
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromLatin1(name)) << control;
    }
    // The drive list says what it is and, as its value, which drive is chosen; its popup is there.
    QAccessibleInterface* drives = QAccessible::queryAccessibleInterface(w.window().widgetFor(QStringLiteral("drv")));
    EXPECT_EQ(drives->text(QAccessible::Value), QStringLiteral("/"));
    EXPECT_EQ(drives->role(), QAccessible::ComboBox);
    EXPECT_EQ(drives->childCount(), 1);
    // Folder rows are read by their names, without the indentation that shows their depth.
    QAccessibleInterface* folders = QAccessible::queryAccessibleInterface(w.window().widgetFor(QStringLiteral("dir")));
    QStringList rows;
    for (int i = 0; i < folders->childCount(); ++i)
        if (QAccessibleInterface* row = folders->child(i); row && row->role() == QAccessible::ListItem)
            rows << row->text(QAccessible::Name);
    ASSERT_FALSE(rows.isEmpty());
    for (const QString& row : rows) EXPECT_FALSE(row.startsWith(QLatin1Char(' '))) << row.toStdString();
    EXPECT_EQ(rows.back(), QString::fromStdString(tree.root()).section('/', -1));
    // The text boxes' labels name them (their buddies), and nothing in the tree is the scratch box.
    EXPECT_EQ(w.widget<QLabel>(QStringLiteral("lblWidth"))->buddy(), w.window().widgetFor(QStringLiteral("txtWidth")));
    QStringList offered;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        for (int i = 0; i < node->childCount(); ++i)
            if (QAccessibleInterface* child = node->child(i)) {
                if (child->object()) offered << child->object()->objectName();
                walk(child);
            }
    };
    walk(QAccessible::queryAccessibleInterface(&w.window()));
    EXPECT_TRUE(offered.contains(QStringLiteral("picMain")));
    EXPECT_FALSE(offered.contains(QStringLiteral("tmpPic")));

    // The view, which draws no focus of its own in the style, shows it.
    QApplication::setActiveWindow(&w.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window()));
    // Focus moves to it with Tab, as a keyboard user moves it, and shows on the viewport's frame,
    // never over the picture.
    QWidget* viewport = w.window().widgetFor(QStringLiteral("picContainer"));
    QWidget* canvas = w.window().widgetFor(QStringLiteral("picMain"));
    w.widget<QPushButton>(QStringLiteral("cmdGetContents"))->setFocus();
    const QImage viewportWithout = viewport->grab().toImage(), canvasWithout = canvas->grab().toImage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), viewport);
    EXPECT_NE(viewport->grab().toImage(), viewportWithout) << "the viewport shows no focus";
    EXPECT_EQ(canvas->grab().toImage(), canvasWithout) << "the focus changed picture pixels";
    // A click on the picture gives the view the focus, keys and all.
    w.widget<QPushButton>(QStringLiteral("cmdGetContents"))->setFocus();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(QApplication::focusWidget(), viewport);
    // Available scroll bars are tab stops, and show it.
    for (const char* name : {"HScr", "VScr"}) {
        w.form().HScr.setEnabled(true), w.form().VScr.setEnabled(true);
        QWidget* bar = w.window().widgetFor(QString::fromLatin1(name));
        const QImage without = bar->grab().toImage();
        bar->setFocus(Qt::TabFocusReason);
        EXPECT_NE(bar->grab().toImage(), without) << name << " shows no focus";
    }
}

TEST(MainWindow, the_canvas_shows_each_picture_pixel_as_one_device_pixel_at_the_screen_scale) {
    // Run at scale 1 with the suite, and at 1.25, 1.5, 1.75 and 2 by CTest (QT_SCALE_FACTOR); in
    // each, plain and with Drop to floor (sprites standing at different heights).
    TempTree tree;
    for (int i = 0; i < 60; ++i)
        tree.addFile("p" + std::to_string(100 + i) + ".bmp", bmp24(64, 64, [i](int x, int y) {
                         return y > 20 + i % 40 ? 0xFFFFFFu : static_cast<uint32_t>((i * 4) << 16 | (x * 4) << 8 | (y * 4));
                     }));
    // The saved file is the one the batch tool, which never looks at a screen, writes.
    const auto sameAsBatch = [&](const char* cell, bool drop) {
        QStringList arguments{"--width=" + QString::fromLatin1(cell), "--height=" + QString::fromLatin1(cell), "--output",
                              QString::fromStdString(tree.path("batch.bmp")), QString::fromStdString(tree.root())};
        if (drop) arguments.prepend(QStringLiteral("--drop-to-floor"));
        ASSERT_EQ(batch(arguments).status, 0);
        EXPECT_EQ(tree.read("Combined.bmp"), tree.read("batch.bmp"));
        std::remove(tree.path("Combined.bmp").c_str()), std::remove(tree.path("batch.bmp").c_str());
    };
    for (const bool drop : {false, true}) {
    SCOPED_TRACE(drop ? "drop to floor" : "plain");
    WindowDriver w(tree.root());
    w.tick(drop);
    const double ratio = w.window().devicePixelRatioF();
    // A widget keeps its ratio in steps of 1/65536 (1.1 is 1.0999908 there).
    EXPECT_NEAR(tk::Screen::DevicePixelRatio(), ratio, 1e-4);
    EXPECT_NEAR(tk::Screen::TwipsPerPixelY(), 15 / ratio, 1e-3);
    EXPECT_EQ(w.window().size(), QSize(674, 395));  // 10110 x 5925 twips, in logical pixels
    w.click(QStringLiteral("cmdGetContents"));
    w.click(QStringLiteral("cmdCombine"));
    w.click(QStringLiteral("cmdSave"));
    const bmp::Image& canvas = w.form().picMain.persistentImage();
    ASSERT_EQ(canvas.width, 640);  // 64-pixel cells at every scale
    ASSERT_EQ(canvas.height, 384);

    // In the window as drawn, with the view focused by the keyboard, the canvas's pixels stand
    // one to one somewhere near the viewport's inner corner, as far as the inner area reaches.
    QWidget* inner = w.window().widgetFor(QStringLiteral("picMain"));
    QApplication::setActiveWindow(&w.window());
    w.window().widgetFor(QStringLiteral("cmdSave"))->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.window().widgetFor(QStringLiteral("picContainer")));
    // Where on the grab canvas pixel (0, 0) stands, scrolled by whole rows and columns; none when
    // the inner area does not show the canvas one to one.
    const auto shown = [&](const QImage& grab, int scrolledRows, int scrolledColumns = 0) -> std::optional<QPoint> {
        const QPointF corner = QPointF(inner->mapTo(&w.window(), QPoint(0, 0))) * ratio;
        const int width = static_cast<int>(inner->width() * ratio) - 2, height = static_cast<int>(inner->height() * ratio) - 2;
        for (int dy = -1; dy <= 2; ++dy)
            for (int dx = -1; dx <= 2; ++dx) {
                const int left = static_cast<int>(corner.x()) + dx, top = static_cast<int>(corner.y()) + dy;
                bool same = true;
                for (int y = 1; same && y < height && y + scrolledRows < canvas.height; ++y)
                    for (int x = 1; same && x < width && x + scrolledColumns < canvas.width; ++x)
                        same = (grab.pixel(left + x, top + y) & 0xFFFFFFu) == rgbAt(canvas, x + scrolledColumns, y + scrolledRows);
                if (same) return QPoint(left - scrolledColumns, top - scrolledRows);
            }
        return std::nullopt;
    };
    const auto grab = [&] { return w.window().grab().toImage().convertToFormat(QImage::Format_RGB32); };
    // The area the bars count as shown is the whole device pixels the inner area covers, or one
    // fewer where its edges fall between device pixels.
    const QPointF corner = QPointF(inner->mapTo(&w.window(), QPoint(0, 0))) * ratio;
    const double across = std::floor(corner.x() + inner->width() * ratio) - std::ceil(corner.x());
    const double down = std::floor(corner.y() + inner->height() * ratio) - std::ceil(corner.y());
    EXPECT_LE(std::abs(w.form().picContainer.ScaleWidth() / tk::Screen::TwipsPerPixelX() - across + 0.5), 0.5);
    EXPECT_LE(std::abs(w.form().picContainer.ScaleHeight() / tk::Screen::TwipsPerPixelY() - down + 0.5), 0.5);
    EXPECT_TRUE(shown(grab(), 0));
    // Scrolled by 60 twips: whole device pixels still, 60 / TwipsPerPixelY rows further down.
    ASSERT_TRUE(w.form().VScr.Enabled());
    w.form().VScr.userChange(6);
    EXPECT_TRUE(shown(grab(), static_cast<int>(60 / tk::Screen::TwipsPerPixelY())));
    // Scrolled to the far ends, the sheet's last row and last column are on the screen, where
    // they belong.
    const auto scrolled = [](tk::ScrollBar& bar, float twipsPerPixel) {
        if (bar.Enabled()) bar.userChange(bar.Max());
        return -static_cast<int>(std::floor(-10.0 * bar.Value() / twipsPerPixel + 1e-9));
    };
    const int rows = scrolled(w.form().VScr, tk::Screen::TwipsPerPixelY()), columns = scrolled(w.form().HScr, tk::Screen::TwipsPerPixelX());
    const QImage atEnd = grab();
    const std::optional<QPoint> origin = shown(atEnd, rows, columns);
    ASSERT_TRUE(origin);
    const auto at = [&](int x, int y) { return atEnd.pixel(origin->x() + x, origin->y() + y) & 0xFFFFFFu; };
    for (int x = columns; x < canvas.width; ++x) ASSERT_EQ(at(x, canvas.height - 1), rgbAt(canvas, x, canvas.height - 1)) << x;
    for (int y = rows; y < canvas.height; ++y) ASSERT_EQ(at(canvas.width - 1, y), rgbAt(canvas, canvas.width - 1, y)) << y;

    sameAsBatch("64", drop);
    }
    // Cells that do not divide the row, or divide it only in exact arithmetic, fold, fall and drop
    // where the batch tool puts them.
    for (const char* cell : {"8", "16", "80"})
        for (const bool drop : {false, true}) {
            SCOPED_TRACE(testing::Message() << cell << "-pixel cells" << (drop ? ", drop to floor" : ""));
            WindowDriver w(tree.root());
            w.tick(drop);
            w.type(QStringLiteral("txtWidth"), QString::fromLatin1(cell)), w.type(QStringLiteral("txtHeight"), QString::fromLatin1(cell));
            w.click(QStringLiteral("cmdGetContents")), w.click(QStringLiteral("cmdCombine")), w.click(QStringLiteral("cmdSave"));
            sameAsBatch(cell, drop);
        }
}
