#include "sources/SourceRecord.h"

namespace tessaro {

TEffectSettings EffectSettingsOf(const TlvFilesRecord& record) {
    TEffectSettings settings;
    settings.WatermarkText = record.WatermarkText;
    settings.WatermarkFont = record.WatermarkFont;
    settings.TextX = record.TextX;
    settings.TextY = record.TextY;
    settings.TextHorzPercent = record.TextHorzPercent;
    settings.TextVertPercent = record.TextVertPercent;
    settings.ImageFile = record.ImageFile;
    settings.ImageX = record.ImageX;
    settings.ImageY = record.ImageY;
    settings.ImageHorzPercent = record.ImageHorzPercent;
    settings.ImageVertPercent = record.ImageVertPercent;
    settings.ImageAlpha = record.ImageAlpha;
    settings.TransparentStyle = record.TransparentStyle;
    settings.Brightness = record.Brightness;
    settings.Contrast = record.Contrast;
    settings.Saturation = record.Saturation;
    settings.Exposure = record.Exposure;
    settings.ProcessText = record.ProcessText;
    settings.ProcessImage = record.ProcessImage;
    settings.PreviewHeight = record.PreviewHeight;
    return settings;
}

bool HasFrameEffects(const TlvFilesRecord& record) {
    return HasFrameEffects(EffectSettingsOf(record));
}

} // namespace tessaro
