#include "ui/ViewportWidget.h"

#include "toolkit/Screen.h"
#include "ui/CanvasWidget.h"
#include "ui/ControlWidgets.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kTwipsPerUnit = 10;
constexpr int kPixelsPerWheelLine = 20;
constexpr int kEighthsPerNotch = 120;
}  // namespace

ViewportWidget::ViewportWidget(tk::PictureBox& viewport, tk::PictureBox& canvas, tk::ScrollBar& horizontal,
                               tk::ScrollBar& vertical, QWidget* parent)
    : QFrame(parent), m_horizontal(horizontal), m_vertical(vertical) {
    setObjectName(viewport.Name());
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(tk::PictureBox::kFrameLogicalPixels);
    setFocusPolicy(Qt::StrongFocus);
    m_canvas = new CanvasWidget(canvas, this);
    m_canvas->setObjectName(canvas.Name());
    m_canvas->setGeometry(contentsRect());
    m_canvas->installEventFilter(this);
}

bool ViewportWidget::eventFilter(QObject* watched, QEvent* event) {
    // The canvas scrolls as the viewport does, whether its events would reach the viewport or not
    // (the canvas takes no focus: keys come to the viewport).
    if (watched != m_canvas) return false;
    // Delivers the event here; what this widget does not take (Tab, a right click) goes on to
    // the canvas as it came.
    const auto offer = [event](auto&& deliver) {
        const bool wasAccepted = event->isAccepted();
        event->accept();
        deliver();
        if (event->isAccepted()) return true;
        event->setAccepted(wasAccepted);
        return false;
    };
    const auto mouse = [event] { return static_cast<QMouseEvent*>(event); };
    switch (event->type()) {
    case QEvent::Wheel: return offer([&] { wheelEvent(static_cast<QWheelEvent*>(event)); });
    case QEvent::KeyPress: return offer([&] { keyPressEvent(static_cast<QKeyEvent*>(event)); });
    case QEvent::MouseButtonPress: return offer([&] { mousePressEvent(mouse()); });
    case QEvent::MouseMove: return offer([&] { mouseMoveEvent(mouse()); });
    case QEvent::MouseButtonRelease: return offer([&] { mouseReleaseEvent(mouse()); });
    default: return false;
    }
}

void ViewportWidget::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    m_canvas->setGeometry(contentsRect());
}

void ViewportWidget::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    // Focus shows on the frame, never over the picture.
    if (hasFocus()) ui::drawFocusFrame(this, rect());
}

double ViewportWidget::unitsFor(double logicalPixels, Qt::Orientation direction) {
    const double twipsPerPixel = (direction == Qt::Horizontal ? tk::Screen::TwipsPerPixelX() : tk::Screen::TwipsPerPixelY()) *
                                 tk::Screen::DevicePixelRatio();
    // A length in twips, single precision as every one is, counted in units: at a fractional scale
    // the factors are not exact, yet 20 pixels are 30 units at every scale, not 29.99999.
    return tk::pixelsIn(static_cast<float>(logicalPixels * twipsPerPixel), kTwipsPerUnit);
}

void ViewportWidget::scrollTo(tk::ScrollBar& bar, int64_t value) {
    const auto clamped = static_cast<int32_t>(std::clamp<int64_t>(value, bar.Min(), bar.Max()));
    if (bar.Enabled() && clamped != bar.Value()) bar.userChange(clamped);
}

void ViewportWidget::wheelEvent(QWheelEvent* event) {
    QPointF notches = QPointF(event->angleDelta()) / kEighthsPerNotch;
    if ((event->modifiers() & Qt::ShiftModifier) && notches.x() == 0) notches = QPointF(notches.y(), 0);
    const double pixelsPerNotch = QApplication::wheelScrollLines() * kPixelsPerWheelLine;
    m_wheelUnits += QPointF(notches.x() * unitsFor(pixelsPerNotch, Qt::Horizontal),
                            notches.y() * unitsFor(pixelsPerNotch, Qt::Vertical));
    // Whole units scroll now (wheel up moves towards the top); the rest waits for more wheel.
    const auto whole = [](double& units) {
        const double taken = std::trunc(units);
        units -= taken;
        return static_cast<int64_t>(taken);
    };
    scrollTo(m_horizontal, int64_t{m_horizontal.Value()} - whole(m_wheelUnits.rx()));
    scrollTo(m_vertical, int64_t{m_vertical.Value()} - whole(m_wheelUnits.ry()));
    event->accept();
}

void ViewportWidget::keyPressEvent(QKeyEvent* event) {
    // A line is one wheel line; a page is the view less a line, so one line stays in sight.
    const auto line = [](Qt::Orientation direction) { return std::llround(unitsFor(kPixelsPerWheelLine, direction)); };
    const auto page = static_cast<int64_t>(std::floor(unitsFor(std::max(0, m_canvas->height() - kPixelsPerWheelLine), Qt::Vertical)));
    const int64_t down = m_vertical.Value(), across = m_horizontal.Value();
    switch (event->key()) {
    case Qt::Key_Up: scrollTo(m_vertical, down - line(Qt::Vertical)); break;
    case Qt::Key_Down: scrollTo(m_vertical, down + line(Qt::Vertical)); break;
    case Qt::Key_Left: scrollTo(m_horizontal, across - line(Qt::Horizontal)); break;
    case Qt::Key_Right: scrollTo(m_horizontal, across + line(Qt::Horizontal)); break;
    case Qt::Key_PageUp: scrollTo(m_vertical, down - page); break;
    case Qt::Key_PageDown: scrollTo(m_vertical, down + page); break;
    case Qt::Key_Home: scrollTo(m_vertical, 0); break;
    case Qt::Key_End: scrollTo(m_vertical, m_vertical.Max()); break;
    default: QFrame::keyPressEvent(event); return;
    }
    event->accept();
}

void ViewportWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
    m_dragging = true;
    m_dragFrom = event->globalPosition();
    m_dragValueX = m_horizontal.Value();
    m_dragValueY = m_vertical.Value();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void ViewportWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) return QFrame::mouseMoveEvent(event);
    const QPointF moved = event->globalPosition() - m_dragFrom;
    scrollTo(m_horizontal, m_dragValueX - std::llround(unitsFor(moved.x(), Qt::Horizontal)));
    scrollTo(m_vertical, m_dragValueY - std::llround(unitsFor(moved.y(), Qt::Vertical)));
    event->accept();
}

void ViewportWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton) return QFrame::mouseReleaseEvent(event);
    m_dragging = false;
    unsetCursor();
    event->accept();
}
