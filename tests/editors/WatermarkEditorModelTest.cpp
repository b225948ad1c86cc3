// The watermark editor's values without widgets: what a showing starts from, the buttons'
// rules, the ranges, the caption, and what Ok writes into the row's record.
#include "watermark/WatermarkEditorModel.h"
#include "EffectRenderer.h"

#include <gtest/gtest.h>

namespace tessaro::test {
namespace {

TEST(WatermarkEditorModelTest, ANewRowShowsNoWatermarkAndNeutralEffects) {
    const TWatermarkEditorModel model{TlvFilesRecord{}};
    const TEffectSettings& v = model.Values();
    EXPECT_EQ(v.WatermarkText, "");
    EXPECT_EQ(v.ImageFile, "");
    EXPECT_EQ(v.TextHorzPercent + v.TextVertPercent + v.ImageHorzPercent + v.ImageVertPercent, 0);
    EXPECT_EQ(v.ImageAlpha, 168);
    EXPECT_EQ(v.TransparentStyle, 1);
    EXPECT_EQ(v.Brightness, 255);
    EXPECT_EQ(v.Contrast, 0);
    EXPECT_EQ(v.Saturation, 255);
    EXPECT_EQ(v.Exposure, 0);
    EXPECT_FALSE(v.ProcessText);
    EXPECT_FALSE(v.ProcessImage);
    EXPECT_FALSE(model.TextPositionEnabled());
    EXPECT_FALSE(model.ImagePositionEnabled());
    EXPECT_EQ(model.ColorBoxColor(), 0x000000u);
}

TEST(WatermarkEditorModelTest, StoredValuesShowWithNegativePercentagesAndAlphaAsZero) {
    TlvFilesRecord record;
    record.WatermarkText = "Hello";
    record.WatermarkFont = {"DejaVu Serif", 20, 0xFF0000, true, false, true, false};
    record.TextHorzPercent = -5;
    record.TextVertPercent = 40;
    record.ImageFile = "/tmp/logo.png";
    record.ImageHorzPercent = 70;
    record.ImageVertPercent = -1;
    record.ImageAlpha = -3;
    record.TransparentStyle = 7; // anything but 1 is style 2
    const TWatermarkEditorModel model{record};
    const TEffectSettings& v = model.Values();
    EXPECT_EQ(v.WatermarkFont, record.WatermarkFont);
    EXPECT_EQ(model.ColorBoxColor(), 0xFF0000u);
    EXPECT_EQ(v.TextHorzPercent, 0);
    EXPECT_EQ(v.TextVertPercent, 40);
    EXPECT_EQ(v.ImageHorzPercent, 70);
    EXPECT_EQ(v.ImageVertPercent, 0);
    EXPECT_EQ(v.ImageAlpha, 0);
    EXPECT_EQ(v.TransparentStyle, 2);
    EXPECT_TRUE(model.TextPositionEnabled());
    EXPECT_TRUE(model.ImagePositionEnabled());
}

TEST(WatermarkEditorModelTest, ValuesStayInTheirControlsRanges) {
    using TSetter = void (TWatermarkEditorModel::*)(int);
    struct TCase {
        TSetter Set;
        int TEffectSettings::*Field;
        int Low;
        int High;
    };
    const TCase cases[] = {
        {&TWatermarkEditorModel::SetTextHorz, &TEffectSettings::TextHorzPercent, 0, 100},
        {&TWatermarkEditorModel::SetTextVert, &TEffectSettings::TextVertPercent, 0, 100},
        {&TWatermarkEditorModel::SetImageHorz, &TEffectSettings::ImageHorzPercent, 0, 100},
        {&TWatermarkEditorModel::SetImageVert, &TEffectSettings::ImageVertPercent, 0, 100},
        {&TWatermarkEditorModel::SetImageAlpha, &TEffectSettings::ImageAlpha, 0, 255},
        {&TWatermarkEditorModel::SetBrightness, &TEffectSettings::Brightness, 0, 512},
        {&TWatermarkEditorModel::SetContrast, &TEffectSettings::Contrast, -100, 100},
        {&TWatermarkEditorModel::SetSaturation, &TEffectSettings::Saturation, 0, 512},
        {&TWatermarkEditorModel::SetExposure, &TEffectSettings::Exposure, -255, 512},
    };
    for (const TCase& c : cases) {
        TWatermarkEditorModel model{TlvFilesRecord{}};
        (model.*c.Set)(c.Low - 1);
        EXPECT_EQ(model.Values().*c.Field, c.Low);
        (model.*c.Set)(c.High + 1000);
        EXPECT_EQ(model.Values().*c.Field, c.High);
        (model.*c.Set)(c.High - 1);
        EXPECT_EQ(model.Values().*c.Field, c.High - 1);
    }
}

TEST(WatermarkEditorModelTest, TheFontBoxesActOnTheTextsFontOnlyWhileThereIsAText) {
    TWatermarkEditorModel model{TlvFilesRecord{}};
    const TWatermarkFont before = model.Values().WatermarkFont;
    model.SetFontName("DejaVu Sans");
    model.SetFontSize(30);
    model.SetFontColor(0x00FF00);
    EXPECT_EQ(model.Values().WatermarkFont, before);
    EXPECT_EQ(model.ColorBoxColor(), 0x00FF00u);

    // Typing a text takes the boxes' font; an empty size box gives 7.
    model.SetText("A", "DejaVu Sans", 0, 0x00FF00);
    EXPECT_EQ(model.Values().WatermarkFont.Name, "DejaVu Sans");
    EXPECT_EQ(model.Values().WatermarkFont.Size, 7);
    EXPECT_EQ(model.Values().WatermarkFont.Color, 0x00FF00u);
    model.SetFontSize(30);
    model.SetFontColor(0x0000FF);
    EXPECT_EQ(model.Values().WatermarkFont.Size, 30);
    EXPECT_EQ(model.Values().WatermarkFont.Color, 0x0000FFu);
    EXPECT_TRUE(model.TextPositionEnabled());
}

TEST(WatermarkEditorModelTest, ClearAndResetButtons) {
    TlvFilesRecord record;
    record.WatermarkText = "T";
    record.TextHorzPercent = 10;
    record.TextVertPercent = 20;
    record.ImageFile = "/tmp/a.bmp";
    record.ImageHorzPercent = 30;
    record.ImageVertPercent = 40;
    record.ImageAlpha = 200;
    record.Brightness = 10;
    record.Contrast = -20;
    record.Saturation = 400;
    record.Exposure = -100;
    record.ProcessText = record.ProcessImage = true;
    TWatermarkEditorModel model{record};

    model.ClearImage();
    EXPECT_EQ(model.Values().ImageFile, "");
    EXPECT_EQ(model.Values().ImageHorzPercent + model.Values().ImageVertPercent, 0);
    EXPECT_EQ(model.Values().ImageAlpha, 125); // not a new row's 168
    model.ClearText();
    EXPECT_EQ(model.Values().WatermarkText, "");
    EXPECT_EQ(model.Values().TextHorzPercent + model.Values().TextVertPercent, 0);
    model.ResetEffects();
    const TEffectSettings& v = model.Values();
    EXPECT_EQ(std::tuple(v.Brightness, v.Contrast, v.Saturation, v.Exposure, v.ProcessText,
                         v.ProcessImage),
              std::tuple(255, 0, 255, 0, false, false));
}

TEST(WatermarkEditorModelTest, OkStoresTheValuesWithThePreviewsPixelPositions) {
    TWatermarkEditorModel model{TlvFilesRecord{}};
    model.SetText("Mark", "DejaVu Sans", 24, 0xFFFFFF);
    model.SetFontColor(0x123456); // the colour box's colour is stored
    model.SetBold(true);
    model.SetTextHorz(25);
    model.SetTextVert(50);
    model.SetImageFile("/tmp/logo.png");
    model.SetImageHorz(75);
    model.SetImageVert(60);
    model.SetImageAlpha(90);
    model.SetTransparentStyle(2);
    model.SetBrightness(300);
    model.SetContrast(40);
    model.SetSaturation(100);
    model.SetExposure(-50);
    model.SetProcessImage(true);
    model.SetPreviewHeight(216);

    TEffectPlacement placed;
    placed.TextPlaced = true;
    placed.TextX = 80;
    placed.TextY = -4; // a text above the picture: its vertical position stores as 0
    placed.ImageX = 240;
    placed.ImageY = 130;
    TlvFilesRecord record;
    record.SourceName = "/media/in.mp4";
    model.Store(record, placed);

    EXPECT_EQ(record.SourceName, "/media/in.mp4");
    EXPECT_EQ(record.WatermarkText, "Mark");
    EXPECT_EQ(record.WatermarkFont,
              (TWatermarkFont{"DejaVu Sans", 24, 0x123456, true, false, false, false}));
    EXPECT_EQ(
        std::tuple(record.TextX, record.TextHorzPercent, record.TextY, record.TextVertPercent),
        std::tuple(80, 25, 0, 0));
    EXPECT_EQ(
        std::tuple(record.ImageX, record.ImageHorzPercent, record.ImageY, record.ImageVertPercent),
        std::tuple(240, 75, 130, 60));
    EXPECT_EQ(record.ImageFile, "/tmp/logo.png");
    EXPECT_EQ(record.ImageAlpha, 90);
    EXPECT_EQ(record.TransparentStyle, 2);
    EXPECT_EQ(std::tuple(record.Brightness, record.Contrast, record.Saturation, record.Exposure),
              std::tuple(300, 40, 100, -50));
    EXPECT_FALSE(record.ProcessText);
    EXPECT_TRUE(record.ProcessImage);
    EXPECT_EQ(record.PreviewHeight, 216);
    // The conversion paints what was stored.
    EXPECT_EQ(EffectSettingsOf(record).PreviewHeight, 216);
    EXPECT_EQ(TWatermarkEditorModel{record}.Values().ImageAlpha, 90);
}

TEST(WatermarkEditorModelTest, CaptionKeepsShortNamesAndShortensLongOnes) {
    const std::string name55(51, 'a');
    const std::string shortName = name55 + ".mpg";              // 55 characters
    const std::string longName = std::string(52, 'b') + ".mpg"; // 56 characters
    EXPECT_EQ(WatermarkCaption(shortName), "Water Mark  " + shortName);
    EXPECT_EQ(WatermarkCaption(longName), "Water Mark   " + std::string(50, 'b') + "...mpg  ");
    EXPECT_EQ(FontSizeItems().front(), "7");
    EXPECT_EQ(FontSizeItems().back(), "70");
    EXPECT_EQ(FontSizeItems().size(), 64u);
}

} // namespace
} // namespace tessaro::test
