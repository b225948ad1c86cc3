// A rubber-band rectangle laid over a picture: a transparent widget that draws a dotted
// rectangle 2 pixels inside its bounds with eight black 5 x 5 grab handles (the corners and
// the middle of each side). Dragging a handle moves that side or corner, dragging inside the
// rectangle moves the whole widget; it is never narrower or lower than 10 pixels. The arrow
// keys move it by one pixel and Shift with the arrow keys resizes it (its right and bottom
// sides), each key press being a press and a move of its own. On every move it first changes
// its own geometry, then reports where the mouse is relative to itself, so its owner can
// correct the geometry.
#pragma once

#include <QRect>
#include <QWidget>

namespace tessaro {

class TRectTracker : public QWidget {
    Q_OBJECT
public:
    static constexpr int Inset = 2;
    static constexpr int HandleSize = 5;
    static constexpr int MinExtent = 10;

    explicit TRectTracker(QWidget* parent = nullptr);

    // The dotted rectangle: the bounds inset by 2 on every side, in the widget's own pixels.
    QRect TrackRect() const;

signals:
    // The left button went down on a handle or inside the rectangle (or a key press starts a
    // step); the geometry is still the one from before.
    void pressed();
    // The widget has just moved or resized itself; position is the mouse relative to its new
    // geometry (for a key step, its middle).
    void mouseMoved(QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Which edges a drag moves: a handle moves one or two of them, the inside all four.
    struct TGrip {
        bool Left = false;
        bool Top = false;
        bool Right = false;
        bool Bottom = false;
        bool Any() const { return Left || Top || Right || Bottom; }
    };

    QRect HandleRect(int column, int row) const;
    TGrip GripAt(QPoint point) const;
    static QRect Dragged(const QRect& start, const TGrip& grip, QPoint delta);
    void MoveTo(const QRect& bounds, QPoint mouseInParent);

    TGrip grip_;
    QRect dragStart_;
    QPoint pressInParent_;
};

} // namespace tessaro
