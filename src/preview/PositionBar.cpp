#include "PositionBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace tessaro {

TPositionBar::TPositionBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
}

void TPositionBar::SetThumbVisible(bool visible) {
    if (visible != thumbVisible_) {
        thumbVisible_ = visible;
        update();
    }
}

void TPositionBar::SetSelection(int start, int end) {
    if (start != selectionStart_ || end != selectionEnd_) {
        selectionStart_ = start;
        selectionEnd_ = end;
        update();
    }
}

int TPositionBar::ValueAt(const QPoint& point) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const int x = point.x() - groove.x() - handle.width() / 2;
    return QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, option.upsideDown);
}

void TPositionBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QStyle::SubControl hit = style()->hitTestComplexControl(
            QStyle::CC_Slider, &option, event->position().toPoint(), this);
        // A press beside the thumb moves it there at once; the press then drags it.
        if (hit != QStyle::SC_SliderHandle) {
            setSliderPosition(ValueAt(event->position().toPoint()));
        }
        emit grabbed();
    }
    QSlider::mousePressEvent(event);
}

void TPositionBar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled()) {
        emit released(value(), rect().contains(event->position().toPoint()));
    }
}

void TPositionBar::paintEvent(QPaintEvent* event) {
    if (thumbVisible_) {
        QSlider::paintEvent(event);
    } else {
        QPainter painter(this);
        QStyleOptionSlider option;
        initStyleOption(&option);
        option.subControls = QStyle::SC_SliderGroove;
        style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    }
    PaintSelection();
}

// The marked range as a band along the bottom edge, from the thumb's centre at its start
// value to the thumb's centre at its end value.
void TPositionBar::PaintSelection() {
    if (selectionEnd_ <= selectionStart_) {
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const auto x = [&](int value) {
        return groove.x() + handle.width() / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), value, span);
    };
    QPainter painter(this);
    const QColor band =
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Highlight);
    painter.fillRect(
        QRect(QPoint(x(selectionStart_), height() - 4), QPoint(x(selectionEnd_), height() - 1)),
        band);
}

TPositionBar* MakePreviewPositionBar(QWidget* parent, const QRect& geometry) {
    auto* bar = new TPositionBar(parent);
    bar->setObjectName(QStringLiteral("trcPreview"));
    bar->setGeometry(geometry);
    bar->setAccessibleName(QStringLiteral("Preview position"));
    bar->setFocusPolicy(Qt::StrongFocus);
    return bar;
}

} // namespace tessaro
