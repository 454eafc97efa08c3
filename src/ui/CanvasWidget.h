#pragma once
// Shows the canvas picture box inside the viewport's inner area: its persistent image, placed by
// the box's Left and Top, one picture pixel to one device pixel at any screen scale, and its
// frame while it has one. The widget itself fills the inner area and never paints outside it.

#include "toolkit/PictureBox.h"

#include <QWidget>

class CanvasWidget : public QWidget {
public:
    CanvasWidget(tk::PictureBox& box, QWidget* parent);
    tk::PictureBox& box() { return m_box; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    tk::PictureBox& m_box;
};
