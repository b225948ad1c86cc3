#include "crop/RectTracker.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tessaro {

TRectTracker::TRectTracker(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RectTracker"));
    setAccessibleName(QStringLiteral("Crop rectangle"));
    setAccessibleDescription(
        QStringLiteral("Arrow keys move the rectangle; Shift with the arrow keys resizes it"));
    setFocusPolicy(Qt::StrongFocus);
    // Nothing but the rectangle and its handles is painted: the picture shows through.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

QRect TRectTracker::TrackRect() const {
    return rect().adjusted(Inset, Inset, -Inset, -Inset);
}

// Column and row 0, 1, 2: the left, middle or right (top, middle or bottom) of the dotted
// rectangle, which is the handle's centre.
QRect TRectTracker::HandleRect(int column, int row) const {
    const QRect track = TrackRect();
    const int x = column == 0 ? track.left() : column == 1 ? track.center().x() : track.right();
    const int y = row == 0 ? track.top() : row == 1 ? track.center().y() : track.bottom();
    return {x - HandleSize / 2, y - HandleSize / 2, HandleSize, HandleSize};
}

TRectTracker::TGrip TRectTracker::GripAt(QPoint point) const {
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if ((row != 1 || column != 1) && HandleRect(column, row).contains(point)) {
                return {column == 0, row == 0, column == 2, row == 2};
            }
        }
    }
    if (TrackRect().contains(point)) {
        return {true, true, true, true};
    }
    return {};
}

// The start rectangle with the gripped edges moved by delta; a moved side stops where the
// rectangle would become smaller than MinExtent, and a whole move keeps the size.
QRect TRectTracker::Dragged(const QRect& start, const TGrip& grip, QPoint delta) {
    if (grip.Left && grip.Top && grip.Right && grip.Bottom) {
        return start.translated(delta);
    }
    int left = start.left();
    int top = start.top();
    int right = start.left() + start.width();
    int bottom = start.top() + start.height();
    if (grip.Left) {
        left = std::min(left + delta.x(), right - MinExtent);
    }
    if (grip.Right) {
        right = std::max(right + delta.x(), left + MinExtent);
    }
    if (grip.Top) {
        top = std::min(top + delta.y(), bottom - MinExtent);
    }
    if (grip.Bottom) {
        bottom = std::max(bottom + delta.y(), top + MinExtent);
    }
    return {left, top, right - left, bottom - top};
}

void TRectTracker::MoveTo(const QRect& bounds, QPoint mouseInParent) {
    setGeometry(bounds);
    emit mouseMoved(mouseInParent - bounds.topLeft());
}

void TRectTracker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    grip_ = GripAt(event->position().toPoint());
    if (!grip_.Any()) {
        return;
    }
    dragStart_ = geometry();
    pressInParent_ = mapToParent(event->position().toPoint());
    update();
    emit pressed();
}

void TRectTracker::mouseMoveEvent(QMouseEvent* event) {
    if (!grip_.Any() || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPoint inParent = mapToParent(event->position().toPoint());
    MoveTo(Dragged(dragStart_, grip_, inParent - pressInParent_), inParent);
}

void TRectTracker::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        grip_ = {};
    }
    QWidget::mouseReleaseEvent(event);
}

void TRectTracker::keyPressEvent(QKeyEvent* event) {
    QPoint step;
    switch (event->key()) {
    case Qt::Key_Left:
        step = {-1, 0};
        break;
    case Qt::Key_Right:
        step = {1, 0};
        break;
    case Qt::Key_Up:
        step = {0, -1};
        break;
    case Qt::Key_Down:
        step = {0, 1};
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    const bool resize = event->modifiers() & Qt::ShiftModifier;
    const TGrip grip = resize ? TGrip{false, false, true, true} : TGrip{true, true, true, true};
    emit pressed();
    const QRect bounds = Dragged(geometry(), grip, step);
    MoveTo(bounds, bounds.center());
}

void TRectTracker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect track = TrackRect();
    // A light line under the dots keeps the rectangle visible on dark pictures.
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(track.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(hasFocus() ? palette().color(QPalette::Highlight) : QColor(Qt::black), 1,
                        Qt::DotLine));
    painter.drawRect(track.adjusted(0, 0, -1, -1));
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (row != 1 || column != 1) {
                painter.fillRect(HandleRect(column, row), Qt::black);
            }
        }
    }
}

} // namespace tessaro
