#pragma once
// The window: real Qt widgets for every control of frmQuiltwright, the tab order, the
// wiring of user actions to the controls' events, and the one place where the events'
// errors are caught and reported. A folder dropped anywhere on it (or a file, for the folder it
// is in) opens in the folder list, as a double-click there would; other drops are left alone.

#include "form/Form.h"
#include "ui/WidgetHost.h"
#include "toolkit/Errors.h"

#include <QWidget>

#include <map>

class CanvasWidget;

class MainWindow : public QWidget {
public:
    explicit MainWindow(frmQuiltwright& form, QWidget* parent = nullptr);
    ~MainWindow() override;

    frmQuiltwright& form() { return m_form; }
    WidgetHost& host() { return m_host; }
    // The widget that shows a control, by the control's name.
    QWidget* widgetFor(const QString& controlName) const;
    CanvasWidget* canvas() const { return m_canvas; }

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets();
    void setTabOrder();
    void dispatch(const std::function<void()>& handler);

    frmQuiltwright& m_form;
    WidgetHost m_host;
    tk::EventCatcher m_previousCatcher;  // restored when this window goes
    std::map<QString, QWidget*> m_widgets;
    CanvasWidget* m_canvas = nullptr;
    bool m_followsScreen = false;
};
