// The values the frame effects renderer paints with: a text watermark, an image watermark
// and the four picture adjustments, as the row's record and the watermark editor hold them.
// Also the order of the painting steps, the rules that say which steps run, and a box that
// hands the editor's latest values from the GUI thread to the player's video thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tessaro {

// The height of the watermark editor's preview panel: text sizes and image sizes are what
// they look like on a picture of this height unless the editor says otherwise.
constexpr int WatermarkPreviewHeight = 239;

// The font of the text watermark. Size is in points as the editor shows it: at 96 dots per
// inch, the character height in pixels of the previewed picture.
struct TWatermarkFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;
    std::uint32_t Color = 0x000000; // 0xRRGGBB
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    bool operator==(const TWatermarkFont&) const = default;
};

struct TEffectSettings {
    std::string WatermarkText; // UTF-8; empty = no text
    TWatermarkFont WatermarkFont;
    // The pixel positions measured on the preview (kept for the record) and the positions
    // in percent of the picture's width and height, which place the text and the image.
    int TextX = 0;
    int TextY = 0;
    int TextHorzPercent = 0;
    int TextVertPercent = 0;
    std::string ImageFile; // BMP, PNG or JPEG; empty = no image
    int ImageX = 0;
    int ImageY = 0;
    int ImageHorzPercent = 0;
    int ImageVertPercent = 0;
    int ImageAlpha = 168;      // opacity 0..255 for style 1
    int TransparentStyle = 1;  // 1 = alpha blend, anything else = multiply
    int Brightness = 255;      // 0..512, 256 keeps the pixels
    int Contrast = 0;          // -100..100
    int Saturation = 255;      // 0..512, 256 keeps the pixels
    int Exposure = 0;          // -255..512
    bool ProcessText = false;  // the adjustments also act on the text
    bool ProcessImage = false; // the adjustments also act on the image
    // The height of the picture as the editor previewed it: text and image are scaled by
    // the painted picture's height over this one, so every size looks as previewed.
    int PreviewHeight = WatermarkPreviewHeight;

    bool operator==(const TEffectSettings&) const = default;
};

// 255 (not the neutral 256) marks brightness and saturation as off, as the editor's Reset
// sets them.
bool ColorAdjustmentOn(const TEffectSettings& settings);
bool ExposureAdjustmentOn(const TEffectSettings& settings);
// Whether a conversion must route its frames through the effects hook: any adjustment on,
// or a text or an image set.
bool HasFrameEffects(const TEffectSettings& settings);

enum class TEffectStep { Text, Image, Color, Exposure };
using TEffectOrder = std::array<TEffectStep, 4>;

// The order of the steps: what the adjustments process is painted before them.
TEffectOrder EffectOrder(bool processText, bool processImage);

// The latest settings, published by one thread and read by another. Readers get a shared
// snapshot that stays valid while they paint, however often the writer publishes.
class TPublishedEffectSettings {
public:
    TPublishedEffectSettings();
    void Publish(const TEffectSettings& settings);
    std::shared_ptr<const TEffectSettings> Current() const;

private:
    mutable std::mutex lock_;
    std::shared_ptr<const TEffectSettings> current_;
};

} // namespace tessaro
