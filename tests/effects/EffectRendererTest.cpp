// The frame effects renderer on real frames: the order of its steps, where text and image
// land at any frame size, the image files it reads, and the conversion and preview hooks.
#include "EffectRenderer.h"
#include "EffectHooks.h"
#include "EngineTestSupport.h"
#include "QtTestApplication.h"
#include "base/EngineException.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace tessaro::test {
namespace {

using GuiEnvironment = TQtTestEnvironment<QGuiApplication>;
const bool registered = (GuiEnvironment::Register(), true);

using TPixel = std::array<int, 3>; // blue, green, red

void FillFrame(TBitmap& frame, int width, int height, int level) {
    frame.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::fill_n(frame.ScanLine(y), width * 3, std::uint8_t(level));
    }
}

TPixel PixelAt(const TBitmap& frame, int x, int y) {
    const std::uint8_t* p = frame.ScanLine(y) + x * 3;
    return {p[0], p[1], p[2]};
}

// The smallest rectangle holding every pixel brighter than level, and the brightest byte.
struct TLitArea {
    QRect Box;
    int Brightest = 0;
};
TLitArea LitArea(const TBitmap& frame, int level, QRect within) {
    TLitArea area;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            const TPixel p = PixelAt(frame, x, y);
            const int brightest = std::max({p[0], p[1], p[2]});
            if (brightest > level) {
                area.Box |= QRect(x, y, 1, 1);
                area.Brightest = std::max(area.Brightest, brightest);
            }
        }
    }
    return area;
}

// An image file of one colour (ARGB), saved in the format its name says.
std::string SaveImage(const TTempDir& dir, const std::string& name, int width, int height,
                      QRgb color) {
    QImage image(width, height,
                 qAlpha(color) == 255 ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    image.fill(color);
    const std::string path = (dir.Path() / name).string();
    EXPECT_TRUE(image.save(QString::fromStdString(path)));
    return path;
}

class EffectRendererTest : public ::testing::Test {
protected:
    TTempDir dir_;
    TEffectRenderer renderer_;
};

TEST_F(EffectRendererTest, OrderDecidesWhetherTheAdjustmentsReachTextAndImage) {
    // Brightness 128 halves the levels: 100 -> 50, 254 -> 127, 255 -> 128. A white image at
    // opacity 255 turns 100 or 50 into 254.
    const std::string white = SaveImage(dir_, "white.bmp", 20, 20, qRgb(255, 255, 255));
    struct TCase {
        bool ProcessText, ProcessImage;
        int TextBrightest, ImageLevel;
    };
    const TCase cases[] = {{true, false, 128, 254},
                           {false, true, 255, 127},
                           {true, true, 128, 127},
                           {false, false, 255, 254}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ProcessText << c.ProcessImage);
        TEffectSettings settings;
        settings.Brightness = 128;
        settings.WatermarkText = "HH";
        settings.WatermarkFont.Color = 0xFFFFFF;
        settings.WatermarkFont.Size = 30;
        settings.TextHorzPercent = 5;
        settings.TextVertPercent = 5;
        settings.ImageFile = white;
        settings.ImageAlpha = 255;
        settings.ImageHorzPercent = 60;
        settings.ImageVertPercent = 60;
        settings.ProcessText = c.ProcessText;
        settings.ProcessImage = c.ProcessImage;
        settings.PreviewHeight = 150;
        TBitmap frame;
        FillFrame(frame, 200, 150, 100);
        renderer_.Render(frame, settings);
        EXPECT_EQ(LitArea(frame, 60, QRect(0, 0, 110, 80)).Brightest, c.TextBrightest);
        EXPECT_EQ(PixelAt(frame, 125, 95), (TPixel{c.ImageLevel, c.ImageLevel, c.ImageLevel}));
        EXPECT_EQ(PixelAt(frame, 190, 10), (TPixel{50, 50, 50}));
    }
}

TEST_F(EffectRendererTest, AdjustmentsAtTheirOffValuesLeaveTheFrameAlone) {
    // The colour kernel would turn 200 into 199 at 255/0/255; the renderer skips it.
    TBitmap frame;
    FillFrame(frame, 16, 8, 200);
    renderer_.Render(frame, TEffectSettings());
    EXPECT_EQ(PixelAt(frame, 7, 3), (TPixel{200, 200, 200}));
    TEffectSettings neutral;
    neutral.Brightness = 256;
    neutral.Saturation = 256;
    renderer_.Render(frame, neutral);
    EXPECT_EQ(PixelAt(frame, 7, 3), (TPixel{200, 200, 200}));
    neutral.Brightness = 255;
    neutral.Exposure = 255;
    renderer_.Render(frame, neutral);
    EXPECT_EQ(PixelAt(frame, 7, 3), (TPixel{252, 252, 252})); // exposure alone runs
}

TEST_F(EffectRendererTest, TextLandsAtItsPercentagesAndScalesWithTheFrameHeight) {
    TEffectSettings settings;
    settings.WatermarkText = "HHHH";
    settings.WatermarkFont.Color = 0xFFFFFF;
    settings.WatermarkFont.Size = 12;
    settings.TextHorzPercent = 25;
    settings.TextVertPercent = 40;
    double previewTextHeight = 0;
    for (const auto& [width, height] : {std::pair{384, 239}, {720, 480}, {1920, 1080}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        TBitmap frame;
        FillFrame(frame, width, height, 0);
        const TEffectPlacement placed = renderer_.Render(frame, settings);
        EXPECT_TRUE(placed.TextPlaced);
        EXPECT_EQ(placed.TextX, width / 4);
        EXPECT_EQ(placed.TextY, height * 40 / 100);

        const double scale = double(height) / WatermarkPreviewHeight;
        const QFont font = renderer_.TextFont(settings.WatermarkFont, scale);
        EXPECT_EQ(font.pixelSize(), std::lround(16 * scale)); // 12 points are 16 pixels
        const QFontMetrics metrics(font);
        const QRect glyphs =
            metrics.tightBoundingRect(QString::fromStdString(settings.WatermarkText))
                .translated(placed.TextX, placed.TextY + metrics.ascent());
        const TLitArea lit = LitArea(frame, 127, QRect(0, 0, width, height));
        EXPECT_NEAR(lit.Box.left(), glyphs.left(), 2);
        EXPECT_NEAR(lit.Box.top(), glyphs.top(), 2);
        EXPECT_NEAR(lit.Box.right(), glyphs.right(), 2);
        EXPECT_NEAR(lit.Box.bottom(), glyphs.bottom(), 2);
        if (previewTextHeight == 0) {
            previewTextHeight = lit.Box.height();
        }
        // The same share of the picture's height as on the preview.
        EXPECT_NEAR(lit.Box.height() / previewTextHeight, scale, 0.1 * scale);
    }
}

TEST_F(EffectRendererTest, MissingFontFamilyFallsBackToTheSystemSansFont) {
    TWatermarkFont font;
    if (QFontDatabase::hasFamily(QString::fromStdString(font.Name))) {
        GTEST_SKIP() << font.Name << " is installed here";
    }
    const QString system = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    EXPECT_EQ(renderer_.TextFont(font, 1.0).family(), system);
    font.Bold = true;
    font.Italic = true;
    const QFont styled = renderer_.TextFont(font, 2.0);
    EXPECT_EQ(styled.family(), system);
    EXPECT_TRUE(styled.bold());
    EXPECT_TRUE(styled.italic());
    EXPECT_EQ(styled.pixelSize(), 22);

    const QStringList installed = QFontDatabase::families();
    ASSERT_FALSE(installed.isEmpty());
    font.Name = installed.front().toStdString();
    EXPECT_EQ(QFontInfo(renderer_.TextFont(font, 1.0)).family(), installed.front());
}

TEST_F(EffectRendererTest, ImageFilesOfEachFormatBlendAtTheirScaledSize) {
    // Alpha 128 mixes half and half: (100 + 200) / 2 = 150 where the image is opaque.
    struct TCase {
        const char* Name;
        QRgb Color;
        int Level;     // of the covered pixels
        int Tolerance; // JPEG's colours are not exact
    };
    const TCase cases[] = {
        {"image.bmp", qRgb(200, 200, 200), 150, 0},
        {"image.png", qRgb(200, 200, 200), 150, 0},
        {"transparent.png", qRgba(200, 200, 200, 0), 100, 0},
        {"half.png", qRgba(200, 200, 200, 128), 125, 0}, // opacity 128 x 128 / 255 = 64
        {"image.jpg", qRgb(200, 200, 200), 150, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEffectSettings settings;
        settings.ImageFile = SaveImage(dir_, c.Name, 10, 5, c.Color);
        settings.ImageAlpha = 128;
        settings.ImageHorzPercent = 50;
        settings.ImageVertPercent = 10;
        settings.PreviewHeight = 50; // the frame is twice as high: the image is 20 x 10
        TBitmap frame;
        FillFrame(frame, 60, 100, 100);
        const TEffectPlacement placed = renderer_.Render(frame, settings);
        EXPECT_EQ(placed.ImageX, 30);
        EXPECT_EQ(placed.ImageY, 10);
        for (const auto& [x, y] : {std::pair{30, 10}, {49, 19}, {40, 15}}) {
            for (int level : PixelAt(frame, x, y)) {
                EXPECT_NEAR(level, c.Level, c.Tolerance) << x << "," << y;
            }
        }
        for (const auto& [x, y] : {std::pair{29, 10}, {50, 10}, {30, 9}, {30, 20}}) {
            EXPECT_EQ(PixelAt(frame, x, y), (TPixel{100, 100, 100})) << x << "," << y;
        }
    }
}

TEST_F(EffectRendererTest, ImageIsDecodedAgainOnlyWhenItsFileChanges) {
    const std::string path = SaveImage(dir_, "logo.bmp", 4, 4, qRgb(10, 20, 30));
    TWatermarkImageFile file;
    EXPECT_EQ(file.Pixels(path, 1.0).Bgr[0], 30);
    const std::uint64_t first = file.Generation();
    EXPECT_EQ(file.Pixels(path, 2.0).Width, 8); // another size: scaled, not decoded again
    EXPECT_EQ(file.Pixels(path, 1.0).Width, 4);
    EXPECT_EQ(file.Generation(), first);

    SaveImage(dir_, "logo.bmp", 4, 4, qRgb(40, 50, 60));
    // A rewrite within the file system's time resolution still shows in the time stamp set here.
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) +
                                               std::chrono::seconds(1));
    EXPECT_EQ(file.Pixels(path, 1.0).Bgr[0], 60);
    EXPECT_GT(file.Generation(), first);

    // The renderer follows the change on its next frame.
    TEffectSettings settings;
    settings.ImageFile = path;
    settings.ImageAlpha = 256;
    settings.PreviewHeight = 8;
    TBitmap frame;
    FillFrame(frame, 8, 8, 0);
    renderer_.Render(frame, settings);
    EXPECT_EQ(PixelAt(frame, 0, 0), (TPixel{60, 50, 40}));
    SaveImage(dir_, "logo.bmp", 4, 4, qRgb(70, 80, 90));
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) +
                                               std::chrono::seconds(2));
    renderer_.Render(frame, settings);
    EXPECT_EQ(PixelAt(frame, 0, 0), (TPixel{90, 80, 70}));
}

TEST_F(EffectRendererTest, UnreadableImageRaisesAnErrorNamingTheFile) {
    const std::string garbage = (dir_.Path() / "garbage.png").string();
    std::ofstream(garbage) << "not an image";
    for (const std::string& path : {garbage, (dir_.Path() / "missing.bmp").string()}) {
        TEffectSettings settings;
        settings.ImageFile = path;
        settings.Exposure = 100;
        TBitmap frame;
        FillFrame(frame, 8, 8, 100);
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                renderer_.Render(frame, settings);
                ADD_FAILURE() << "no error for " << path;
            } catch (const EngineException& e) {
                EXPECT_NE(std::string(e.what()).find("Cannot load the image \"" + path + "\""),
                          std::string::npos)
                    << e.what();
            }
        }
    }
}

TEST_F(EffectRendererTest, ConversionHookPaintsTheFramesOfTasksWithEffects) {
    TConversionEffects effects;
    TEffectSettings darker;
    darker.Brightness = 128;
    effects.SetTask(2, darker);
    TBitmap frame;
    FillFrame(frame, 8, 8, 100);
    THookInfo info;
    info.Bitmap = &frame;
    info.TaskIndex = 1;
    effects.Hook(info);
    EXPECT_EQ(PixelAt(frame, 3, 3), (TPixel{100, 100, 100}));
    info.TaskIndex = 2;
    effects.Hook(info);
    EXPECT_EQ(PixelAt(frame, 3, 3), (TPixel{50, 50, 50}));
    EXPECT_TRUE(info.Update);
    EXPECT_FALSE(info.StopHook);
    effects.Clear();
    effects.Hook(info);
    EXPECT_EQ(PixelAt(frame, 3, 3), (TPixel{50, 50, 50}));
}

TEST_F(EffectRendererTest, PreviewHookPaintsPublishedValuesAndTheCropFrame) {
    TPreviewEffects preview;
    TEffectSettings settings;
    settings.WatermarkText = "T";
    settings.TextHorzPercent = 50;
    settings.TextVertPercent = 20;
    settings.ImageHorzPercent = 10;
    settings.ImageVertPercent = 30;
    settings.PreviewHeight = 120; // the frame's height: the crop frame is 2 pixels wide
    preview.Publish(settings);
    preview.SetCrop({10, 20, 30, 40}); // top, left, bottom, right
    TBitmap frame;
    FillFrame(frame, 200, 120, 0);
    preview.Hook(frame);
    const TEffectPlacement placed = preview.Placement();
    EXPECT_EQ(placed.TextX, 100);
    EXPECT_EQ(placed.TextY, 24);
    EXPECT_EQ(placed.ImageX, 20);
    EXPECT_EQ(placed.ImageY, 36);
    // The frame runs from (left + 1, top + 1) to (width - right - 2, height - bottom - 2).
    const TPixel green{0, 0x80, 0};
    for (const auto& [x, y] : {std::pair{21, 60}, {158, 60}, {90, 11}, {90, 88}}) {
        EXPECT_EQ(PixelAt(frame, x, y), green) << x << "," << y;
    }
    for (const auto& [x, y] : {std::pair{18, 60}, {161, 60}, {90, 8}, {90, 91}, {90, 60}}) {
        EXPECT_EQ(PixelAt(frame, x, y), (TPixel{0, 0, 0})) << x << "," << y;
    }

    // Without a text its last position is kept; the image's follows every frame.
    settings.WatermarkText.clear();
    settings.ImageHorzPercent = 50;
    preview.Publish(settings);
    preview.Hook(frame);
    EXPECT_EQ(preview.Placement().TextX, 100);
    EXPECT_EQ(preview.Placement().ImageX, 100);
    preview.ForgetTextPosition();
    preview.ForgetImagePosition();
    EXPECT_EQ(preview.Placement().TextX, 0);
    EXPECT_EQ(preview.Placement().ImageX, 0);
}

} // namespace
} // namespace tessaro::test
