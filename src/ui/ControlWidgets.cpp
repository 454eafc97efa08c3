#include "ui/ControlWidgets.h"

#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>

#include <cmath>

namespace ui {

int pixelsX(float twips) { return tk::logicalPixelsX(twips); }
int pixelsY(float twips) { return tk::logicalPixelsY(twips); }

void drawFocusFrame(QWidget* widget, const QRect& around) {
    QPainter painter(widget);
    QStyleOptionFocusRect focus;
    focus.initFrom(widget);
    focus.rect = around;
    widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, widget);
}

void observe(tk::Control& control, std::function<void(tk::Property)> more) {
    auto previous = control.observer;
    control.observer = [previous, more](tk::Property p) {
        if (previous) previous(p);
        more(p);
    };
}

namespace {

// A scroll bar that shows when it has the keyboard focus, which the style's bars do not.
class FocusScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent* event) override {
        QScrollBar::paintEvent(event);
        if (hasFocus()) drawFocusFrame(this, rect());
    }
};

// A drop-down list announced by its own name where it has one, with its current entry as its
// value (Qt's own
// interface names a drop-down list by its current entry on Linux, so a screen reader would say
// "/ combo box" and never what the list is). Its popup and actions are those of any drop-down.
class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && !combo()->accessibleName().isEmpty()) return combo()->accessibleName();
        if (t == QAccessible::Name || t == QAccessible::Value) return combo()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == combo()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return {QAccessibleActionInterface::showMenuAction(), QAccessibleActionInterface::pressAction()};
    }
    void doAction(const QString& action) override {
        if (action == QAccessibleActionInterface::showMenuAction() || action == QAccessibleActionInterface::pressAction())
            combo()->showPopup();
    }
};

QAccessibleInterface* namedComboFactory(const QString& className, QObject* object) {
    auto* combo = qobject_cast<QComboBox*>(object);
    if (className != QLatin1String("QComboBox") || !combo || combo->isEditable()) return nullptr;
    return new NamedComboAccessible(combo);
}

void placeWidget(const tk::Control& control, QWidget* widget, QPoint offset) {
    widget->setGeometry(offset.x() + pixelsX(control.Left()), offset.y() + pixelsY(control.Top()),
                        pixelsX(control.Width()), pixelsY(control.Height()));
}

}  // namespace

void bindGeometry(tk::Control& control, QWidget* widget, QPoint offset) {
    QPointer<QWidget> guard(widget);
    placeWidget(control, widget, offset);
    widget->setEnabled(control.Enabled());
    widget->setVisible(control.Visible());
    control.observer = [&control, guard, offset](tk::Property p) {
        if (!guard) return;
        if (p == tk::Property::Geometry) placeWidget(control, guard, offset);
        if (p == tk::Property::Enabled) guard->setEnabled(control.Enabled());
        if (p == tk::Property::Visible) guard->setVisible(control.Visible());
    };
}

QPushButton* makeButton(tk::CommandButton& control, QWidget* parent) {
    auto* button = new QPushButton(control.Caption, parent);
    button->setObjectName(control.Name());
    button->setAutoDefault(true);  // Enter clicks the focused button, as Space does
    bindGeometry(control, button);
    QObject::connect(button, &QPushButton::clicked, button, [&control] { control.userClick(); });
    return button;
}

QLineEdit* makeTextBox(tk::TextBox& control, QWidget* parent) {
    auto* edit = new QLineEdit(control.Text(), parent);
    edit->setObjectName(control.Name());
    bindGeometry(control, edit);
    observe(control, [&control, edit](tk::Property p) {
        if (p == tk::Property::Text && edit->text() != control.Text()) edit->setText(control.Text());
    });
    // Every change of the text reaches the control, however it came: typing, paste, undo, a drop,
    // or a screen reader or voice control setting it through the accessibility interface.
    QObject::connect(edit, &QLineEdit::textChanged, edit, [&control](const QString& t) {
        if (t != control.Text()) control.userEdit(t);
    });
    return edit;
}

QLabel* makeLabel(tk::Label& control, QWidget* parent) {
    auto* label = new QLabel(control.Caption, parent);
    label->setObjectName(control.Name());
    bindGeometry(control, label);
    return label;
}

QCheckBox* makeCheckBox(tk::CheckBox& control, QWidget* parent) {
    auto* box = new QCheckBox(control.Caption, parent);
    box->setObjectName(control.Name());
    box->setChecked(control.Value() == 1);
    bindGeometry(control, box);
    observe(control, [&control, box](tk::Property p) {
        if (p == tk::Property::Value) box->setChecked(control.Value() == 1);
    });
    QObject::connect(box, &QCheckBox::toggled, box, [&control](bool on) { control.userToggle(on ? 1 : 0); });
    return box;
}

QScrollBar* makeScrollBar(tk::ScrollBar& control, QWidget* parent) {
    const auto orientation =
        control.orientation() == tk::ScrollBar::Orientation::Horizontal ? Qt::Horizontal : Qt::Vertical;
    auto* bar = new FocusScrollBar(orientation, parent);
    bar->setObjectName(control.Name());
    bar->setFocusPolicy(Qt::StrongFocus);  // an available bar takes its turn in the tab order
    const auto sync = [&control, bar] {
        const QSignalBlocker block(bar);
        bar->setRange(control.Min(), control.Max());
        bar->setValue(control.Value());
        bar->setSingleStep(control.SmallChange);
        bar->setPageStep(control.LargeChange);
    };
    sync();
    bindGeometry(control, bar);
    observe(control, [sync](tk::Property p) {
        if (p == tk::Property::Value || p == tk::Property::Range) sync();
    });
    // Dragging the thumb raises Scroll as it moves and Change when it is let go; arrows,
    // trough clicks and keys raise Change.
    QObject::connect(bar, &QScrollBar::sliderMoved, bar, [&control](int v) { control.userScroll(v); });
    QObject::connect(bar, &QScrollBar::sliderReleased, bar, [&control, bar] { control.userChange(bar->value()); });
    QObject::connect(bar, &QScrollBar::valueChanged, bar, [&control, bar](int v) {
        if (!bar->isSliderDown()) control.userChange(v);
    });
    return bar;
}

QListWidget* makeListBox(tk::ListBox& control, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(control.Name());
    list->setUniformItemSizes(true);
    bindGeometry(control, list);
    // A burst of AddItem calls refreshes the widget once, when the handler is done.
    auto pending = std::make_shared<bool>(false);
    const auto refresh = [&control, list, pending] {
        *pending = false;
        QStringList texts;
        texts.reserve(control.ListCount());
        for (const std::string& item : control.items()) texts.append(tk::displayPath(item));
        list->clear();
        list->addItems(texts);
    };
    observe(control, [list, pending, refresh](tk::Property p) {
        if (p != tk::Property::Items || *pending) return;
        *pending = true;
        QTimer::singleShot(0, list, refresh);
    });
    QObject::connect(list, &QListWidget::currentRowChanged, list, [&control](int row) { control.userSelect(row); });
    return list;
}

QComboBox* makeDriveList(tk::DriveListBox& control, QWidget* parent) {
    QAccessible::installFactory(namedComboFactory);  // once: a factory is kept only once
    auto* combo = new QComboBox(parent);
    combo->setObjectName(control.Name());
    for (const auto& drive : control.drives().entries()) combo->addItem(drive.text);
    combo->setCurrentIndex(control.ListIndex());
    bindGeometry(control, combo);
    observe(control, [&control, combo](tk::Property p) {
        if (p != tk::Property::Selection) return;
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(control.ListIndex());
    });
    QObject::connect(combo, &QComboBox::activated, combo, [&control](int index) { control.userSelect(index); });
    return combo;
}

QListWidget* makeDirList(tk::DirListBox& control, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(control.Name());
    const auto refresh = [&control, list] {
        list->clear();
        const QIcon openIcon = list->style()->standardIcon(QStyle::SP_DirOpenIcon);
        const QIcon closedIcon = list->style()->standardIcon(QStyle::SP_DirClosedIcon);
        bool below = false;  // past the open folder: its subfolders
        for (const auto& item : control.items()) {
            auto* row = new QListWidgetItem(below ? closedIcon : openIcon,
                                            QString(2 * item.depth, QLatin1Char(' ')) + item.label, list);
            // A screen reader says the folder's name, not the indentation; its depth comes after.
            row->setData(Qt::AccessibleTextRole, item.label);
            row->setData(Qt::AccessibleDescriptionRole, QStringLiteral("Level %1").arg(item.depth + 1));
            if (item.open) {
                list->setCurrentItem(row);
                below = true;
            }
        }
    };
    refresh();
    bindGeometry(control, list);
    observe(control, [refresh](tk::Property p) {
        if (p == tk::Property::Path) refresh();
    });
    QObject::connect(list, &QListWidget::itemActivated, list,
                     [&control, list](QListWidgetItem* item) { control.userOpen(list->row(item)); });
    return list;
}

}  // namespace ui
