#pragma once
// Real Qt widgets for the toolkit's controls. Each bind function makes the widget show its
// control (geometry in pixels from twips, enabled, visible, contents) and feeds the user's
// actions back to the control, which raises the control's events.

#include "toolkit/Controls.h"
#include "toolkit/DriveAndDir.h"
#include "toolkit/ListBox.h"

#include <QPoint>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRect;
class QScrollBar;
class QWidget;

namespace ui {

// Twips to whole logical pixels (where Qt places widgets) at the screen's current factors.
int pixelsX(float twips);
int pixelsY(float twips);

// Keeps the widget at the control's place, size, availability and visibility. offset is the
// top-left corner of the container's inner area.
void bindGeometry(tk::Control& control, QWidget* widget, QPoint offset = {});

// Draws the style's focus frame on the widget around the given rectangle (inside its paint event).
void drawFocusFrame(QWidget* widget, const QRect& around);

// Adds a widget-specific refresh after the observers the control already has.
void observe(tk::Control& control, std::function<void(tk::Property)> more);

QPushButton* makeButton(tk::CommandButton& control, QWidget* parent);
QLineEdit* makeTextBox(tk::TextBox& control, QWidget* parent);
QLabel* makeLabel(tk::Label& control, QWidget* parent);
QCheckBox* makeCheckBox(tk::CheckBox& control, QWidget* parent);
QScrollBar* makeScrollBar(tk::ScrollBar& control, QWidget* parent);
QListWidget* makeListBox(tk::ListBox& control, QWidget* parent);
QComboBox* makeDriveList(tk::DriveListBox& control, QWidget* parent);
QListWidget* makeDirList(tk::DirListBox& control, QWidget* parent);

}  // namespace ui
