#include "ui/CanvasWidget.h"

#include "toolkit/Screen.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <cmath>

CanvasWidget::CanvasWidget(tk::PictureBox& box, QWidget* parent) : QWidget(parent), m_box(box) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);  // the viewport around it is the view's one tab stop
}

void CanvasWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Work in device pixels: where this widget's top-left corner falls on the device (it may fall
    // between two device pixels at fractional scales), and how many device pixels a logical one is.
    const QTransform toDevice = painter.deviceTransform();
    const QPointF origin = toDevice.map(QPointF(0, 0));
    const double scale = toDevice.m11();
    const auto toLogical = [&](double deviceX, double deviceY) {
        return QPointF((deviceX - origin.x()) / scale, (deviceY - origin.y()) / scale);
    };
    // The box's top-left corner on whole device pixels: the first whole pixel inside this widget,
    // moved by the box's place (twips) in whole device pixels.
    const double left = std::ceil(origin.x() - 1e-9) + std::floor(m_box.Left() / tk::Screen::TwipsPerPixelX() + 1e-9);
    const double top = std::ceil(origin.y() - 1e-9) + std::floor(m_box.Top() / tk::Screen::TwipsPerPixelY() + 1e-9);
    const int border = m_box.BorderStyle() ? 2 : 0;
    const double outerWidth = std::floor(m_box.Width() / tk::Screen::TwipsPerPixelX() + 0.5);
    const double outerHeight = std::floor(m_box.Height() / tk::Screen::TwipsPerPixelY() + 0.5);

    // Around the box: the viewport's own background; the box itself: black where nothing is drawn.
    painter.fillRect(event->rect(), palette().window());
    const QRectF boxRect(toLogical(left, top), toLogical(left + outerWidth, top + outerHeight));
    painter.fillRect(boxRect, Qt::black);
    try {
        const bmp::Image& image = m_box.persistentImage();
        // Only the rows in view are wrapped and drawn: the canvas may be far taller than any screen.
        const double imageLeft = left + border, imageTop = top + border;
        const QRectF wanted = QRectF(event->rect()).intersected(boxRect);
        const QPointF from = wanted.topLeft() * scale + origin - QPointF(imageLeft, imageTop);
        const QPointF to = wanted.bottomRight() * scale + origin - QPointF(imageLeft, imageTop);
        const QRect visible = QRect(QPoint(static_cast<int>(std::max(0.0, std::floor(from.x()))),
                                           static_cast<int>(std::max(0.0, std::floor(from.y())))),
                                    QPoint(static_cast<int>(std::min<double>(image.width, std::ceil(to.x()))) - 1,
                                           static_cast<int>(std::min<double>(image.height, std::ceil(to.y()))) - 1));
        if (visible.isValid() && !visible.isEmpty()) {
            const QImage rows(reinterpret_cast<const uchar*>(image.row(visible.top())), image.width, visible.height(),
                              static_cast<qsizetype>(image.width) * 4, QImage::Format_RGB32);
            const QPointF at = toLogical(imageLeft + visible.left(), imageTop + visible.top());
            const QRectF target(at, QSizeF(visible.width() / scale, visible.height() / scale));
            painter.drawImage(target, rows, QRect(visible.left(), 0, visible.width(), visible.height()));
        }
    } catch (const std::exception&) {
        // A box too large to hold its image shows black; the command that sized it reported why.
    }
    if (border) {
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.rect = boxRect.toAlignedRect();
        frame.lineWidth = 2;
        frame.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
    }
}
