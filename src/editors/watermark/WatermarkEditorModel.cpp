#include "watermark/WatermarkEditorModel.h"

#include "EffectRenderer.h"

#include <algorithm>

namespace tessaro {

namespace {

int Clamped(int value, TWatermarkRange range) {
    return std::clamp(value, range.Min, range.Max);
}

int NotNegative(int value) {
    return value > 0 ? value : 0;
}

// A pixel position placed on the preview and its percentage: a negative position stores
// both as 0.
void StorePosition(int placed, int percent, std::int32_t& pixels, std::int32_t& stored) {
    if (placed < 0) {
        pixels = 0;
        stored = 0;
    } else {
        pixels = placed;
        stored = percent;
    }
}

} // namespace

std::vector<std::string> FontSizeItems() {
    std::vector<std::string> items;
    for (int size = FontSizeRange.Min; size <= FontSizeRange.Max; ++size) {
        items.push_back(std::to_string(size));
    }
    return items;
}

std::string WatermarkCaption(const std::string& sourceName) {
    if (sourceName.size() < 56) {
        return "Water Mark  " + sourceName;
    }
    const std::size_t dot = sourceName.find_last_of('.');
    const std::size_t slash = sourceName.find_last_of('/');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string extension = hasExtension ? sourceName.substr(dot) : std::string();
    return "Water Mark   " + sourceName.substr(0, 50) + ".." + extension + "  ";
}

TWatermarkEditorModel::TWatermarkEditorModel(const TlvFilesRecord& record) {
    const TEffectSettings stored = EffectSettingsOf(record);
    values_.TextHorzPercent = NotNegative(stored.TextHorzPercent);
    values_.TextVertPercent = NotNegative(stored.TextVertPercent);
    values_.ImageHorzPercent = NotNegative(stored.ImageHorzPercent);
    values_.ImageVertPercent = NotNegative(stored.ImageVertPercent);
    values_.ImageAlpha = NotNegative(stored.ImageAlpha);
    values_.TransparentStyle = stored.TransparentStyle == 1 ? 1 : 2;
    values_.Brightness = stored.Brightness;
    values_.Contrast = stored.Contrast;
    values_.Saturation = stored.Saturation;
    values_.Exposure = stored.Exposure;
    values_.ProcessText = stored.ProcessText;
    values_.ProcessImage = stored.ProcessImage;
    values_.PreviewHeight = stored.PreviewHeight;
    if (!stored.WatermarkText.empty()) {
        values_.WatermarkText = stored.WatermarkText;
        values_.WatermarkFont = stored.WatermarkFont;
        colorBox_ = stored.WatermarkFont.Color;
    }
    values_.ImageFile = stored.ImageFile;
}

void TWatermarkEditorModel::SetText(const std::string& text, const std::string& fontName,
                                    int fontSize, std::uint32_t color) {
    values_.WatermarkText = text;
    if (text.empty()) {
        return;
    }
    values_.WatermarkFont.Name = fontName;
    values_.WatermarkFont.Size = fontSize > 0 ? fontSize : FontSizeRange.Min;
    values_.WatermarkFont.Color = color;
    colorBox_ = color;
}

void TWatermarkEditorModel::SetFontName(const std::string& name) {
    if (!values_.WatermarkText.empty()) {
        values_.WatermarkFont.Name = name;
    }
}

void TWatermarkEditorModel::SetFontSize(int size) {
    if (!values_.WatermarkText.empty() && size > 0) {
        values_.WatermarkFont.Size = size;
    }
}

void TWatermarkEditorModel::SetFontColor(std::uint32_t color) {
    colorBox_ = color;
    if (!values_.WatermarkText.empty()) {
        values_.WatermarkFont.Color = color;
    }
}

void TWatermarkEditorModel::SetTextHorz(int percent) {
    values_.TextHorzPercent = Clamped(percent, PositionRange);
}

void TWatermarkEditorModel::SetTextVert(int percent) {
    values_.TextVertPercent = Clamped(percent, PositionRange);
}

void TWatermarkEditorModel::SetImageHorz(int percent) {
    values_.ImageHorzPercent = Clamped(percent, PositionRange);
}

void TWatermarkEditorModel::SetImageVert(int percent) {
    values_.ImageVertPercent = Clamped(percent, PositionRange);
}

void TWatermarkEditorModel::SetImageAlpha(int alpha) {
    values_.ImageAlpha = Clamped(alpha, AlphaRange);
}

void TWatermarkEditorModel::SetBrightness(int value) {
    values_.Brightness = Clamped(value, BrightnessRange);
}

void TWatermarkEditorModel::SetContrast(int value) {
    values_.Contrast = Clamped(value, ContrastRange);
}

void TWatermarkEditorModel::SetSaturation(int value) {
    values_.Saturation = Clamped(value, SaturationRange);
}

void TWatermarkEditorModel::SetExposure(int value) {
    values_.Exposure = Clamped(value, ExposureRange);
}

void TWatermarkEditorModel::SetPreviewHeight(int height) {
    if (height > 0) {
        values_.PreviewHeight = height;
    }
}

void TWatermarkEditorModel::ClearText() {
    values_.WatermarkText.clear();
    values_.TextHorzPercent = 0;
    values_.TextVertPercent = 0;
}

void TWatermarkEditorModel::ClearImage() {
    values_.ImageFile.clear();
    values_.ImageHorzPercent = 0;
    values_.ImageVertPercent = 0;
    values_.ImageAlpha = ClearedImageAlpha;
}

void TWatermarkEditorModel::ResetEffects() {
    const TEffectSettings neutral;
    values_.Brightness = neutral.Brightness;
    values_.Contrast = neutral.Contrast;
    values_.Saturation = neutral.Saturation;
    values_.Exposure = neutral.Exposure;
    values_.ProcessText = false;
    values_.ProcessImage = false;
}

void TWatermarkEditorModel::Store(TlvFilesRecord& record, const TEffectPlacement& placed) const {
    record.WatermarkText = values_.WatermarkText;
    record.WatermarkFont = values_.WatermarkFont;
    record.WatermarkFont.Color = colorBox_;
    StorePosition(placed.TextX, values_.TextHorzPercent, record.TextX, record.TextHorzPercent);
    StorePosition(placed.TextY, values_.TextVertPercent, record.TextY, record.TextVertPercent);
    StorePosition(placed.ImageX, values_.ImageHorzPercent, record.ImageX, record.ImageHorzPercent);
    StorePosition(placed.ImageY, values_.ImageVertPercent, record.ImageY, record.ImageVertPercent);
    record.ImageFile = values_.ImageFile;
    record.ImageAlpha = values_.ImageAlpha;
    record.TransparentStyle = values_.TransparentStyle;
    record.Brightness = values_.Brightness;
    record.Contrast = values_.Contrast;
    record.Saturation = values_.Saturation;
    record.Exposure = values_.Exposure;
    record.ProcessText = values_.ProcessText;
    record.ProcessImage = values_.ProcessImage;
    record.PreviewHeight = values_.PreviewHeight;
}

} // namespace tessaro
