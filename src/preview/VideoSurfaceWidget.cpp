#include "VideoSurfaceWidget.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace tessaro {

namespace {

// The rectangle of an image of size inside area, as large as fits with its shape kept.
QRect FittedRect(QSize image, QSize area) {
    const QSize fitted = image.scaled(area, Qt::KeepAspectRatio);
    return QRect(QPoint((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2),
                 fitted);
}

} // namespace

TVideoSurfaceWidget::TVideoSurfaceWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(true);
    StoreAreaSize();
}

TVideoSurfaceWidget::~TVideoSurfaceWidget() = default;

void TVideoSurfaceWidget::StoreAreaSize() {
    areaWidth_ = width();
    areaHeight_ = height();
}

void TVideoSurfaceWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    StoreAreaSize();
}

void TVideoSurfaceWidget::GetClientSize(int& Width, int& Height) {
    Width = areaWidth_;
    Height = areaHeight_;
}

// The area is the widget itself: its size is the layout's business, not the player's.
bool TVideoSurfaceWidget::SetVideoMode(int, int) {
    return true;
}

void TVideoSurfaceWidget::ShowPicture(const TVideoPicture& Picture, const TDisplayRect& Rect) {
    // A fresh image each time: the one painted last may still be in use on the GUI thread.
    QImage image(std::max(Rect.Width, 1), std::max(Rect.Height, 1), QImage::Format_RGB32);
    if (scaler_.ToBGRA(Picture, Rect.Width, Rect.Height, image.bits(), int(image.bytesPerLine()))) {
        Present(std::move(image), QRect(Rect.Left, Rect.Top, Rect.Width, Rect.Height));
    }
}

void TVideoSurfaceWidget::ShowBitmap(const TBitmap& bitmap) {
    QImage copy;
    {
        std::lock_guard canvas(bitmap);
        if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
            return;
        }
        copy = QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(), bitmap.Stride(),
                      QImage::Format_BGR888)
                   .copy();
    }
    const QRect rect = FittedRect(copy.size(), QSize(areaWidth_, areaHeight_));
    Present(std::move(copy), rect);
}

void TVideoSurfaceWidget::Present(QImage image, QRect rect) {
    {
        std::lock_guard guard(lock_);
        std::swap(front_, image);
        frontRect_ = rect;
        frontArea_ = QSize(areaWidth_, areaHeight_);
    }
    // The old image is released here, on the calling thread, outside the lock.
    image = QImage();
    // One paint request at a time: a GUI thread that falls behind paints the newest picture.
    if (!updateQueued_.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                updateQueued_ = false;
                update();
            },
            Qt::QueuedConnection);
    }
}

void TVideoSurfaceWidget::Clear() {
    {
        std::lock_guard guard(lock_);
        front_ = QImage();
        frontRect_ = QRect();
    }
    update();
}

QImage TVideoSurfaceWidget::Picture() const {
    std::lock_guard guard(lock_);
    return front_.copy();
}

QRect TVideoSurfaceWidget::PictureRect() const {
    std::lock_guard guard(lock_);
    return frontRect_;
}

void TVideoSurfaceWidget::paintEvent(QPaintEvent* event) {
    QImage image;
    QRect rect;
    QSize area;
    {
        std::lock_guard guard(lock_);
        image = front_;
        rect = frontRect_;
        area = frontArea_;
    }
    if (image.isNull()) {
        QWidget::paintEvent(event);
        return;
    }
    // A picture laid out for another size (the widget was resized since) is fitted anew.
    if (area != size()) {
        rect = FittedRect(rect.size(), size());
    }
    QPainter painter(this);
    painter.fillRect(this->rect(), Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect, image);
    painter.end();
    emit picturePainted();
}

TVideoSurfaceWidget* MakePreviewPicture(QWidget* parent, const QRect& geometry) {
    auto* surface = new TVideoSurfaceWidget(parent);
    surface->setObjectName(QStringLiteral("imgPreview"));
    surface->setGeometry(geometry);
    surface->setAccessibleName(QStringLiteral("Preview picture"));
    QPalette black = surface->palette();
    black.setColor(QPalette::Window, Qt::black);
    surface->setPalette(black);
    surface->setAutoFillBackground(true);
    return surface;
}

} // namespace tessaro
