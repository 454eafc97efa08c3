#include "toolkit/Controls.h"

#include "toolkit/Errors.h"

#include <algorithm>

namespace tk {

void Control::Move(float left, float top, float width, float height) {
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    notify(Property::Geometry);
}

void Control::setEnabled(bool v) {
    if (m_enabled == v) return;
    m_enabled = v;
    notify(Property::Enabled);
}

void Control::setVisible(bool v) {
    if (m_visible == v) return;
    m_visible = v;
    notify(Property::Visible);
}

void CommandButton::userClick() {
    if (Enabled() && Visible()) raiseEvent(Click);
}

void TextBox::setText(const QString& t) {
    m_text = t;
    notify(Property::Text);
}

void CheckBox::setValue(int v) {
    if (v < 0 || v > 2) throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
    m_value = v;
    notify(Property::Value);
}

void ScrollBar::setValue(int32_t v) {
    if (v < Min() || v > m_max) throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (v == m_value) return;
    m_value = v;
    notify(Property::Value);
    raiseEvent(Change);
}

void ScrollBar::setMax(int32_t v) {
    if (v < 0) throw Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
    m_max = v;
    if (m_value > m_max) m_value = m_max;
    notify(Property::Range);
}

void ScrollBar::userScroll(int32_t v) {
    if (!Enabled()) return;
    m_value = std::clamp(v, Min(), m_max);
    notify(Property::Value);
    raiseEvent(Scroll);
}

void ScrollBar::userChange(int32_t v) {
    if (!Enabled()) return;
    m_value = std::clamp(v, Min(), m_max);
    notify(Property::Value);  // the bar shows it, whichever way the user moved it
    raiseEvent(Change);
}

}  // namespace tk
