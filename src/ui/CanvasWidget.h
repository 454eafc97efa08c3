#pragma once
// Shows a picture box: its persistent image, and its frame while it has one.

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
