#include "window/FrmCover.h"

#include "core/GlobalObject.h"

#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

namespace tessaro {

TfrmCover::TfrmCover(const std::string& picturePath)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmCover"));
    picture_ = BuiltInPicture();
    const QString path = QString::fromStdString(picturePath);
    if (QFileInfo(path).isFile()) {
        QImage loaded(path);
        if (!loaded.isNull()) {
            picture_ = loaded;
            builtIn_ = false;
        }
    }
    tmr1_.setInterval(TickMs);
    connect(&tmr1_, &QTimer::timeout, this, &TfrmCover::tmr1Timer);
    tmr1_.start();
}

QImage TfrmCover::BuiltInPicture() {
    QImage image(PictureWidth, PictureHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, PictureHeight);
    background.setColorAt(0, QColor(0x1f, 0x3f, 0x74));
    background.setColorAt(1, QColor(0x0b, 0x16, 0x2c));
    painter.fillRect(image.rect(), background);

    // A film strip along the bottom edge.
    painter.fillRect(0, PictureHeight - 46, PictureWidth, 30, QColor(0x10, 0x10, 0x10));
    for (int x = 6; x < PictureWidth; x += 18) {
        painter.fillRect(x, PictureHeight - 42, 9, 5, QColor(0xd8, 0xd8, 0xd8));
        painter.fillRect(x, PictureHeight - 25, 9, 5, QColor(0xd8, 0xd8, 0xd8));
    }
    // A disc at the right.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xc9, 0xd6, 0xea));
    painter.drawEllipse(QPoint(322, 86), 52, 52);
    painter.setBrush(QColor(0x1f, 0x3f, 0x74));
    painter.drawEllipse(QPoint(322, 86), 12, 12);

    painter.setPen(Qt::white);
    QFont title = painter.font();
    title.setPixelSize(40);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRect(22, 36, 260, 50), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Tessaro"));
    QFont subtitle = painter.font();
    subtitle.setPixelSize(15);
    subtitle.setBold(false);
    painter.setFont(subtitle);
    painter.drawText(QRect(24, 88, 260, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("DVD Ripper & Video Converter"));
    painter.setPen(QColor(0xa9, 0xbd, 0xdc));
    painter.drawText(QRect(24, 116, 260, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Version") +
                         QString::fromStdString(TGlobalObject::FileVersionText()));
    return image;
}

void TfrmCover::showEvent(QShowEvent* event) {
    setFixedSize(picture_.size());
    if (const QScreen* display = screen()) {
        move(display->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

void TfrmCover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

void TfrmCover::tmr1Timer() {
    if (mainWindow_ != nullptr && mainWindow_->isVisible()) {
        tmr1_.stop();
        hide();
    }
}

} // namespace tessaro
