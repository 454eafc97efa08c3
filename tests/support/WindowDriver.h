#pragma once
// Drives the real window offscreen: clicks its buttons, types into its boxes, and answers
// the message boxes it opens, keeping what they said.

#include "form/Form.h"
#include "ui/MainWindow.h"

#include <QString>

#include <functional>
#include <ostream>

#include <memory>
#include <string>
#include <vector>

struct ShownMessage {
    QString title;
    QString text;
    int icon = 0;  // QMessageBox::Icon
};

class WindowDriver {
public:
    // The window with its folder list open on folder; the drive list holds "/" and, when
    // given, one more drive mounted at extraDrive, its entry reading "extraDrive [label]" (or
    // just its mount point, as an unlabelled drive's does, when label is empty).
    explicit WindowDriver(const std::string& folder, const std::string& extraDrive = {},
                          const QString& label = QStringLiteral("test"));
    ~WindowDriver();

    frmQuiltwright& form() { return *m_form; }
    MainWindow& window() { return *m_window; }
    template <typename T>
    T* widget(const QString& name) { return qobject_cast<T*>(m_window->widgetFor(name)); }

    // Runs a user action; every message box it opens is recorded and answered with OK.
    void act(const std::function<void()>& action);
    // Clicks a button with the mouse, answering its message boxes.
    void click(const QString& buttonName);
    // Clicks a button with the progress window shown at once, and presses its Cancel the first
    // time it is seen. Returns how many times the progress window was seen open.
    int clickAndCancel(const QString& buttonName);
    void type(const QString& textBoxName, const QString& text);
    void tick(bool checked);
    void openFolder(const std::string& folder);  // as by double-clicks in the folder list
    // Lets queued work (list refreshes, repaints) run.
    void settle();

    std::vector<ShownMessage> messages;  // in the order shown
    QString lastMessageText() const { return messages.empty() ? QString() : messages.back().text; }

private:
    std::unique_ptr<frmQuiltwright> m_form;
    std::unique_ptr<MainWindow> m_window;
};

// Readable test failures for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out) { *out << texts.join(QStringLiteral(", ")).toStdString(); }

// Pixel of a bitmap image as 0x00RRGGBB.
uint32_t rgbAt(const bmp::Image& image, int x, int y);
