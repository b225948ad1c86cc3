// The frame effects renderer: paints a text watermark (QPainter on a QImage that wraps the
// frame's own memory), an image watermark and the colour and exposure adjustments onto a
// BGR24 frame, in the order the settings ask for. Text and image are placed by their
// percentages of the frame and scaled by the frame's height over the previewed picture's
// height, so a frame of any size gets what the preview showed.
// One renderer serves one stream of frames (a conversion task or a preview): it keeps the
// decoded image, the font and the adjustment tables between frames.
#pragma once

#include "EffectKernels.h"
#include "EffectSettings.h"
#include "WatermarkImageFile.h"
#include "base/Bitmap.h"

#include <QFont>

#include <cstdint>
#include <optional>

namespace tessaro {

// Where the text and the image were placed on a frame, in its pixels.
struct TEffectPlacement {
    bool TextPlaced = false; // false when there was no text
    int TextX = 0;
    int TextY = 0;
    int ImageX = 0;
    int ImageY = 0;
};

// The row's crop margins in pixels of the source picture.
struct TCropMargins {
    int Top = 0;
    int Left = 0;
    int Bottom = 0;
    int Right = 0;
};

// The colour of the preview's crop frame and its width on the previewed picture.
constexpr std::uint32_t CropFrameColor = 0x008000;
constexpr int CropFrameWidth = 2;

// The factor from the previewed picture to a frame of frameHeight pixels.
double PreviewScale(int frameHeight, int previewHeight);
// Trunc(extent x percent / 100).
int PercentPosition(int extent, int percent);
// The font's character height in pixels on the previewed picture (points at 96 dots per
// inch, rounded as the font size box shows them).
int PreviewPixelSize(int points);

class TEffectRenderer {
public:
    // Paints settings onto frame; the caller holds the frame's canvas lock. Throws
    // EngineException when the image file cannot be read.
    TEffectPlacement Render(TBitmap& frame, const TEffectSettings& settings);
    // The preview's crop frame: a green rectangle just inside the margins (which are
    // pixels of the frame: the hook's frame is the source picture), as wide as
    // CropFrameWidth looks on the previewed picture.
    void DrawCropFrame(TBitmap& frame, const TCropMargins& crop, int previewHeight);
    // The font the text is drawn with at a scale: the settings' font, or the system's sans
    // font when the named family is not installed.
    const QFont& TextFont(const TWatermarkFont& font, double scale);

private:
    void DrawText(TBitmap& frame, const TEffectSettings& settings, double scale,
                  TEffectPlacement& placement);
    void DrawImage(TBitmap& frame, const TEffectSettings& settings, double scale,
                   TEffectPlacement& placement);
    void AdjustPicture(TBitmap& frame, const TEffectSettings& settings);

    // The font of the last text, with the values it was made from.
    struct TFontKey {
        TWatermarkFont Font;
        int PixelSize = 0;
        bool operator==(const TFontKey&) const = default;
    };
    std::optional<TFontKey> fontKey_;
    QFont font_;

    TWatermarkImageFile imageFile_;
    struct TBlendKey {
        std::uint64_t Generation = 0;
        int Width = 0;
        int Height = 0;
        int Alpha = 0;
        int Style = 0;
        bool operator==(const TBlendKey&) const = default;
    };
    std::optional<TBlendKey> blendKey_;
    TBlendImage blend_;

    struct TAdjustmentKey {
        bool Color = false;
        int Brightness = 0;
        int Contrast = 0;
        int Saturation = 0;
        int Exposure = 0;
        bool operator==(const TAdjustmentKey&) const = default;
    };
    std::optional<TAdjustmentKey> adjustmentKey_;
    TPictureAdjustment adjustment_;
};

} // namespace tessaro
