// Which effect steps run, in which order, and handing the values across threads.
#include "EffectSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tessaro::test {
namespace {

TEST(EffectOrderTest, WhatTheAdjustmentsProcessIsPaintedBeforeThem) {
    using enum TEffectStep;
    EXPECT_EQ(EffectOrder(true, false), (TEffectOrder{Text, Color, Exposure, Image}));
    EXPECT_EQ(EffectOrder(false, true), (TEffectOrder{Image, Color, Exposure, Text}));
    EXPECT_EQ(EffectOrder(true, true), (TEffectOrder{Text, Image, Color, Exposure}));
    EXPECT_EQ(EffectOrder(false, false), (TEffectOrder{Color, Exposure, Text, Image}));
}

TEST(EffectSettingsTest, NewValuesAreOffAndEachValueSwitchesTheHookOn) {
    const TEffectSettings off;
    EXPECT_FALSE(ColorAdjustmentOn(off));
    EXPECT_FALSE(ExposureAdjustmentOn(off));
    EXPECT_FALSE(HasFrameEffects(off));
    EXPECT_EQ(off.WatermarkFont.Name, "MS Sans Serif");
    EXPECT_EQ(off.WatermarkFont.Size, 8);
    EXPECT_EQ(off.ImageAlpha, 168);
    EXPECT_EQ(off.TransparentStyle, 1);

    struct TCase {
        const char* Name;
        void (*Change)(TEffectSettings&);
        bool Color, Exposure;
    };
    const TCase cases[] = {
        {"brightness 256", [](TEffectSettings& s) { s.Brightness = 256; }, true, false},
        {"contrast -1", [](TEffectSettings& s) { s.Contrast = -1; }, true, false},
        {"saturation 0", [](TEffectSettings& s) { s.Saturation = 0; }, true, false},
        {"exposure 1", [](TEffectSettings& s) { s.Exposure = 1; }, false, true},
        {"text", [](TEffectSettings& s) { s.WatermarkText = "x"; }, false, false},
        {"image", [](TEffectSettings& s) { s.ImageFile = "logo.png"; }, false, false},
    };
    for (const TCase& c : cases) {
        TEffectSettings settings;
        c.Change(settings);
        EXPECT_EQ(ColorAdjustmentOn(settings), c.Color) << c.Name;
        EXPECT_EQ(ExposureAdjustmentOn(settings), c.Exposure) << c.Name;
        EXPECT_TRUE(HasFrameEffects(settings)) << c.Name;
    }
}

TEST(TPublishedEffectSettingsTest, ReaderSeesWholeRecordsWhileTheWriterPublishes) {
    TPublishedEffectSettings published;
    EXPECT_EQ(*published.Current(), TEffectSettings());
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= 2000; ++i) {
            TEffectSettings settings;
            settings.Brightness = i;
            settings.Contrast = -i;
            settings.WatermarkText = std::string(std::size_t(i % 50), 'x');
            published.Publish(settings);
        }
        done = true;
    });
    // Each snapshot read is one published record, never a mix of two.
    while (!done) {
        const auto settings = published.Current();
        if (settings->Brightness != 255) {
            ASSERT_EQ(settings->Contrast, -settings->Brightness);
            ASSERT_EQ(settings->WatermarkText.size(), std::size_t(settings->Brightness % 50));
        }
    }
    writer.join();
    EXPECT_EQ(published.Current()->Brightness, 2000);
}

} // namespace
} // namespace tessaro::test
