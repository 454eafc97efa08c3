#pragma once
// Controls as small state objects. The handlers read and write these; the widgets in src/ui
// show them (through `observer`) and feed user actions back (through the user* calls, which
// raise the control's events). Positions and sizes are twips, single precision.

#include <QString>

#include <cstdint>
#include <functional>

namespace tk {

// What changed, for the widget that shows a control.
enum class Property { Geometry, Enabled, Visible, Text, Value, Range, Items, Selection, Path, Image, Border };

class Control {
public:
    Control(QString name, int tabIndex) : m_name(std::move(name)), m_tabIndex(tabIndex) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const QString& Name() const { return m_name; }
    int TabIndex() const { return m_tabIndex; }

    float Left() const { return m_left; }
    float Top() const { return m_top; }
    float Width() const { return m_width; }
    float Height() const { return m_height; }
    virtual void setLeft(float v) { m_left = v; notify(Property::Geometry); }
    virtual void setTop(float v) { m_top = v; notify(Property::Geometry); }
    virtual void setWidth(float v) { m_width = v; notify(Property::Geometry); }
    virtual void setHeight(float v) { m_height = v; notify(Property::Geometry); }
    void Move(float left, float top, float width, float height);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool v);
    bool Visible() const { return m_visible; }
    void setVisible(bool v);

    std::function<void(Property)> observer;

    // While held, the control tells its widget nothing: threads other than the user interface's
    // are changing it. Released, it tells what changed meanwhile, once.
    void holdNotifications() { m_held = true; }
    void releaseNotifications(Property changed) {
        m_held = false;
        notify(changed);
    }

protected:
    void notify(Property p) const {
        if (observer && !m_held) observer(p);
    }

private:
    QString m_name;
    int m_tabIndex = 0;
    float m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    bool m_enabled = true;
    bool m_visible = true;
    bool m_held = false;
};

class Label : public Control {
public:
    using Control::Control;
    QString Caption;
};

class CommandButton : public Control {
public:
    using Control::Control;
    QString Caption;
    std::function<void()> Click;
    // A click by the user: ignored while the button is unavailable.
    void userClick();
};

class TextBox : public Control {
public:
    using Control::Control;
    const QString& Text() const { return m_text; }
    void setText(const QString& t);
    void userEdit(const QString& t) { m_text = t; }  // typing runs no code

private:
    QString m_text;
};

class CheckBox : public Control {
public:
    using Control::Control;
    QString Caption;
    int Value() const { return m_value; }  // 0 unchecked, 1 checked
    void setValue(int v);
    void userToggle(int v) { m_value = v; }  // toggling runs no code

private:
    int m_value = 0;
};

// Horizontal or vertical scroll bar. Value and Max hold 32-bit values; Min is 0.
class ScrollBar : public Control {
public:
    enum class Orientation { Horizontal, Vertical };
    ScrollBar(QString name, int tabIndex, Orientation o) : Control(std::move(name), tabIndex), m_orientation(o) {}

    Orientation orientation() const { return m_orientation; }
    int32_t Value() const { return m_value; }
    // Writing a different Value raises Change before it returns; out of 0..Max is an error.
    void setValue(int32_t v);
    int32_t Min() const { return 0; }
    int32_t Max() const { return m_max; }
    void setMax(int32_t v);
    int32_t SmallChange = 1;   // one arrow click: 10 twips of canvas
    int32_t LargeChange = 5;   // one click in the trough: 50 twips

    std::function<void()> Change;
    std::function<void()> Scroll;

    // The user moved the bar: while dragging (Scroll) or when done (Change).
    void userScroll(int32_t v);
    void userChange(int32_t v);

private:
    Orientation m_orientation;
    int32_t m_value = 0;
    int32_t m_max = 32767;
};

}  // namespace tk
