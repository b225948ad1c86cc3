#include "EffectSettings.h"

namespace tessaro {

bool ColorAdjustmentOn(const TEffectSettings& settings) {
    return settings.Brightness != 255 || settings.Contrast != 0 || settings.Saturation != 255;
}

bool ExposureAdjustmentOn(const TEffectSettings& settings) {
    return settings.Exposure != 0;
}

bool HasFrameEffects(const TEffectSettings& settings) {
    return ColorAdjustmentOn(settings) || ExposureAdjustmentOn(settings) ||
           !settings.WatermarkText.empty() || !settings.ImageFile.empty();
}

TEffectOrder EffectOrder(bool processText, bool processImage) {
    using enum TEffectStep;
    if (processText && processImage) {
        return {Text, Image, Color, Exposure};
    }
    if (processText) {
        return {Text, Color, Exposure, Image};
    }
    if (processImage) {
        return {Image, Color, Exposure, Text};
    }
    return {Color, Exposure, Text, Image};
}

TPublishedEffectSettings::TPublishedEffectSettings()
    : current_(std::make_shared<const TEffectSettings>()) {}

void TPublishedEffectSettings::Publish(const TEffectSettings& settings) {
    auto next = std::make_shared<const TEffectSettings>(settings);
    std::lock_guard guard(lock_);
    current_ = std::move(next);
}

std::shared_ptr<const TEffectSettings> TPublishedEffectSettings::Current() const {
    std::lock_guard guard(lock_);
    return current_;
}

} // namespace tessaro
