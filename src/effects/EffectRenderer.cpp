#include "EffectRenderer.h"

#include <QColor>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaro {

namespace {

// The frame's own memory as a QImage: whatever is painted on it lands in the frame.
QImage CanvasOf(TBitmap& frame) {
    return QImage(frame.Data(), frame.Width(), frame.Height(), frame.Stride(),
                  QImage::Format_BGR888);
}

QColor ColorOf(std::uint32_t rgb) {
    return QColor(QRgb(rgb & 0xFFFFFF));
}

} // namespace

double PreviewScale(int frameHeight, int previewHeight) {
    return previewHeight > 0 ? double(frameHeight) / previewHeight : 1.0;
}

int PercentPosition(int extent, int percent) {
    const std::int64_t position = std::int64_t(extent) * percent / 100;
    return int(std::clamp<std::int64_t>(position, std::numeric_limits<int>::min(),
                                        std::numeric_limits<int>::max()));
}

int PreviewPixelSize(int points) {
    return int(std::lround(points * 96.0 / 72.0));
}

const QFont& TEffectRenderer::TextFont(const TWatermarkFont& font, double scale) {
    const double pixels = std::round(PreviewPixelSize(font.Size) * scale);
    const TFontKey key{font, int(std::clamp(pixels, 1.0, double(MaxScaledExtent)))};
    if (fontKey_ == key) {
        return font_;
    }
    const QString family = QString::fromStdString(font.Name);
    if (!family.isEmpty() && QFontDatabase::hasFamily(family)) {
        font_ = QFont(family);
    } else {
        font_ = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    }
    font_.setStyleHint(QFont::SansSerif);
    font_.setPixelSize(key.PixelSize);
    font_.setBold(font.Bold);
    font_.setItalic(font.Italic);
    font_.setUnderline(font.Underline);
    font_.setStrikeOut(font.StrikeOut);
    fontKey_ = key;
    return font_;
}

TEffectPlacement TEffectRenderer::Render(TBitmap& frame, const TEffectSettings& settings) {
    TEffectPlacement placement;
    placement.ImageX = PercentPosition(frame.Width(), settings.ImageHorzPercent);
    placement.ImageY = PercentPosition(frame.Height(), settings.ImageVertPercent);
    if (frame.Width() <= 0 || frame.Height() <= 0) {
        return placement;
    }
    const double scale = PreviewScale(frame.Height(), settings.PreviewHeight);
    // Colour and exposure are neighbours in every order, so both run in one pass at the
    // first of the two.
    bool adjusted = false;
    for (const TEffectStep step : EffectOrder(settings.ProcessText, settings.ProcessImage)) {
        switch (step) {
        case TEffectStep::Text:
            if (!settings.WatermarkText.empty()) {
                DrawText(frame, settings, scale, placement);
            }
            break;
        case TEffectStep::Image:
            if (!settings.ImageFile.empty()) {
                DrawImage(frame, settings, scale, placement);
            }
            break;
        case TEffectStep::Color:
        case TEffectStep::Exposure:
            if (!adjusted) {
                AdjustPicture(frame, settings);
                adjusted = true;
            }
            break;
        }
    }
    return placement;
}

void TEffectRenderer::DrawText(TBitmap& frame, const TEffectSettings& settings, double scale,
                               TEffectPlacement& placement) {
    placement.TextPlaced = true;
    placement.TextX = PercentPosition(frame.Width(), settings.TextHorzPercent);
    placement.TextY = PercentPosition(frame.Height(), settings.TextVertPercent);
    QImage canvas = CanvasOf(frame);
    QPainter painter(&canvas);
    painter.setFont(TextFont(settings.WatermarkFont, scale));
    painter.setPen(ColorOf(settings.WatermarkFont.Color));
    // The position is the top-left corner of the text, as ordinary text output places it.
    painter.drawText(QPointF(placement.TextX, placement.TextY + painter.fontMetrics().ascent()),
                     QString::fromStdString(settings.WatermarkText));
}

void TEffectRenderer::DrawImage(TBitmap& frame, const TEffectSettings& settings, double scale,
                                TEffectPlacement& placement) {
    const TImagePixels& pixels = imageFile_.Pixels(settings.ImageFile, scale);
    const TBlendKey key{imageFile_.Generation(), pixels.Width, pixels.Height, settings.ImageAlpha,
                        settings.TransparentStyle};
    if (blendKey_ != key) {
        blend_ = TBlendImage(pixels, settings.ImageAlpha, settings.TransparentStyle);
        blendKey_ = key;
    }
    blend_.BlendOnto(frame, placement.ImageX, placement.ImageY);
}

void TEffectRenderer::AdjustPicture(TBitmap& frame, const TEffectSettings& settings) {
    const TAdjustmentKey key{ColorAdjustmentOn(settings), settings.Brightness, settings.Contrast,
                             settings.Saturation, settings.Exposure};
    if (adjustmentKey_ != key) {
        adjustment_.Reset();
        if (key.Color) {
            adjustment_.SetColor(settings.Brightness, settings.Contrast, settings.Saturation);
        }
        if (ExposureAdjustmentOn(settings)) {
            adjustment_.SetExposure(float(settings.Exposure));
        }
        adjustmentKey_ = key;
    }
    adjustment_.Apply(frame);
}

void TEffectRenderer::DrawCropFrame(TBitmap& frame, const TCropMargins& crop, int previewHeight) {
    if (frame.Width() <= 0 || frame.Height() <= 0) {
        return;
    }
    const double width =
        std::max(1.0, CropFrameWidth * PreviewScale(frame.Height(), previewHeight));
    QImage canvas = CanvasOf(frame);
    QPainter painter(&canvas);
    painter.setPen(QPen(ColorOf(CropFrameColor), width, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(
        QRectF(QPointF(crop.Left + 1, crop.Top + 1),
               QPointF(frame.Width() - crop.Right - 2, frame.Height() - crop.Bottom - 2)));
}

} // namespace tessaro
