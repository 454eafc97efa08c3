#include "ui/CanvasWidget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

CanvasWidget::CanvasWidget(tk::PictureBox& box, QWidget* parent) : QWidget(parent), m_box(box) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void CanvasWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const int border = m_box.BorderStyle() ? 2 : 0;
    const QRect inner = rect().adjusted(border, border, -border, -border);
    const QRect wanted = event->rect().intersected(inner);
    painter.fillRect(event->rect(), Qt::black);
    try {
        const bmp::Image& image = m_box.persistentImage();
        // Only the rows in view are wrapped and drawn: the canvas may be far taller than any screen.
        const QRect visible = wanted.translated(-border, -border).intersected(QRect(0, 0, image.width, image.height));
        if (!visible.isEmpty()) {
            const QImage view(reinterpret_cast<const uchar*>(image.row(visible.top())), image.width, visible.height(),
                              static_cast<qsizetype>(image.width) * 4, QImage::Format_RGB32);
            painter.drawImage(QPoint(visible.left() + border, visible.top() + border), view,
                              QRect(visible.left(), 0, visible.width(), visible.height()));
        }
    } catch (const std::exception&) {
        // A box too large to hold its image shows black; the command that sized it reported why.
    }
    if (border) {
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.rect = rect();
        frame.lineWidth = 2;
        frame.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
    }
}
