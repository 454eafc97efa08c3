#pragma once
// The viewport: a framed, fixed rectangle whose inner area shows the canvas, and the view's one tab
// stop. Over it and over the canvas the wheel and a drag with the mouse, and while it has the
// focus the keys, scroll the canvas, always by setting the scroll bars' Value, so the bars'
// Change handlers move it:
// - the wheel: the desktop's wheel-scroll lines times 20 pixels a notch, down and up; Shift or a
//   sideways wheel across;
// - arrow keys: one wheel line (20 pixels); Page Up and Page Down: the view less a line; Home and
//   End: 0 and Max (the bars' own arrows and troughs keep SmallChange and LargeChange);
// - dragging the canvas pans it.
// Focus shows on the viewport's frame, never over the picture.

#include "toolkit/Controls.h"
#include "toolkit/PictureBox.h"

#include <QFrame>

class CanvasWidget;

class ViewportWidget : public QFrame {
public:
    ViewportWidget(tk::PictureBox& viewport, tk::PictureBox& canvas, tk::ScrollBar& horizontal, tk::ScrollBar& vertical,
                   QWidget* parent);
    CanvasWidget* canvas() const { return m_canvas; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Scroll units (10 twips each) for a distance in logical pixels.
    static double unitsFor(double logicalPixels, Qt::Orientation direction);
    static void scrollTo(tk::ScrollBar& bar, int64_t value);

    tk::ScrollBar& m_horizontal;
    tk::ScrollBar& m_vertical;
    CanvasWidget* m_canvas = nullptr;
    QPointF m_wheelUnits;  // wheel movement too small to scroll a whole unit yet
    bool m_dragging = false;
    QPointF m_dragFrom;
    int32_t m_dragValueX = 0, m_dragValueY = 0;
};
