// The watermark and effects editor without widgets: the values its controls show, their
// ranges, what each button does to them, which controls are enabled, the window caption,
// and what Ok writes into the row's record. The window shows these values and publishes
// Values() to the preview hook on every change.
#pragma once

#include "EffectSettings.h"
#include "sources/SourceRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

struct TEffectPlacement;

// The controls' ranges.
struct TWatermarkRange {
    int Min;
    int Max;
};
inline constexpr TWatermarkRange PositionRange{0, 100};
inline constexpr TWatermarkRange AlphaRange{0, 255};
inline constexpr TWatermarkRange BrightnessRange{0, 512};
inline constexpr TWatermarkRange ContrastRange{-100, 100};
inline constexpr TWatermarkRange SaturationRange{0, 512};
inline constexpr TWatermarkRange ExposureRange{-255, 512};
inline constexpr TWatermarkRange FontSizeRange{7, 70};

// The alpha "Clear Image" leaves, which differs from a new row's 168.
inline constexpr int ClearedImageAlpha = 125;

// The font sizes the size box lists: "7" to "70".
std::vector<std::string> FontSizeItems();

// "Water Mark  " + the whole name when it has fewer than 56 characters; otherwise
// "Water Mark   " + its first 50 characters + ".." + its extension + two blanks.
std::string WatermarkCaption(const std::string& sourceName);

class TWatermarkEditorModel {
public:
    // The values a showing starts from: the record's, with negative percentages and alpha
    // shown as 0. The font is the record's only when there is a text.
    explicit TWatermarkEditorModel(const TlvFilesRecord& record);

    // What the controls show; the preview paints exactly these.
    const TEffectSettings& Values() const { return values_; }

    bool TextPositionEnabled() const { return !values_.WatermarkText.empty(); }
    bool ImagePositionEnabled() const { return !values_.ImageFile.empty(); }

    // The text box: its font follows the font, size and colour boxes (size 7 when the size
    // box is empty) whenever the text changes to something not empty.
    void SetText(const std::string& text, const std::string& fontName, int fontSize,
                 std::uint32_t color);
    // The font boxes change the text's font only while there is a text.
    void SetFontName(const std::string& name);
    void SetFontSize(int size);
    void SetFontColor(std::uint32_t color);
    // The style boxes act on the font whether or not there is a text.
    void SetBold(bool on) { values_.WatermarkFont.Bold = on; }
    void SetItalic(bool on) { values_.WatermarkFont.Italic = on; }
    void SetUnderline(bool on) { values_.WatermarkFont.Underline = on; }
    void SetStrikeOut(bool on) { values_.WatermarkFont.StrikeOut = on; }
    // The colour box's colour, which Ok stores whatever the text's font has.
    std::uint32_t ColorBoxColor() const { return colorBox_; }

    void SetTextHorz(int percent);
    void SetTextVert(int percent);
    void SetImageFile(const std::string& file) { values_.ImageFile = file; }
    void SetImageHorz(int percent);
    void SetImageVert(int percent);
    void SetImageAlpha(int alpha);
    void SetTransparentStyle(int style) { values_.TransparentStyle = style == 1 ? 1 : 2; }

    void SetBrightness(int value);
    void SetContrast(int value);
    void SetSaturation(int value);
    void SetExposure(int value);
    void SetProcessText(bool on) { values_.ProcessText = on; }
    void SetProcessImage(bool on) { values_.ProcessImage = on; }

    // The height of the picture as the preview shows it (ignored when not positive).
    void SetPreviewHeight(int height);

    // "Clear Text": no text, text position 0 %.
    void ClearText();
    // "Clear Image": no image, image position 0 %, alpha 125.
    void ClearImage();
    // The Effect page's "Reset": every adjustment off, neither process box.
    void ResetEffects();

    // Ok: the values into the record, with the pixel positions last placed on the preview.
    void Store(TlvFilesRecord& record, const TEffectPlacement& placed) const;

private:
    TEffectSettings values_;
    std::uint32_t colorBox_ = 0;
};

} // namespace tessaro
