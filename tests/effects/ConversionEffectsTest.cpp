// The conversion hook in a real run of the converter: each task's frames get that task's
// effects, painted on the worker thread, and reach the encoded output.
#include "ConverterTestSupport.h"
#include "EffectHooks.h"
#include "EngineTestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

namespace tessaro::test {
namespace {

class ConversionEffectsTest : public TConverterLibrariesTest {
protected:
    std::string Out(const std::string& name) const { return (temp_.Path() / name).string(); }
    TTempDir temp_;
};

TEST_F(ConversionEffectsTest, EachTaskIsPaintedWithItsOwnValues) {
    const std::string logo = Out("logo.png");
    QImage white(40, 30, QImage::Format_RGB32);
    white.fill(qRgb(255, 255, 255));
    ASSERT_TRUE(white.save(QString::fromStdString(logo)));
    TEffectSettings darker;
    darker.Brightness = 128; // halves every level
    darker.ImageFile = logo;
    darker.ImageAlpha = 255;
    darker.WatermarkText = "Tessaro";
    darker.WatermarkFont.Color = 0xFFFFFF;
    darker.TextHorzPercent = 50;
    darker.TextVertPercent = 75;
    darker.PreviewHeight = 240; // the clip's height: the image keeps its size

    TConversionEffects effects;
    TConverter converter;
    converter.SetOnCustomHook([&](TConverter&, PHookInfo info) { effects.Hook(*info); });
    TNoticeLog log;
    log.Attach(converter);
    const std::string outputs[2] = {Out("plain.mkv"), Out("painted.mkv")};
    for (int i = 0; i < 2; ++i) {
        TOutputOptions output = Mpeg4Output(1000000);
        output.CustomHook = true;
        const int task = converter.AddTask(Fixture("h264_aac.mp4"));
        ASSERT_EQ(task, i) << converter.LastError();
        ASSERT_TRUE(converter.SetOutputFile(task, outputs[i], &output)) << converter.LastError();
    }
    effects.SetTask(1, darker); // task 0 has no values: its frames pass unchanged
    converter.StartTask(1);
    ServeMainThreadUntil([&] { return log.FinalSeen(); });

    // Luma of limited range: halving the levels halves the distance from 16.
    std::vector<double> plain;
    DecodeFrames(outputs[0], AVMEDIA_TYPE_VIDEO,
                 [&](const AVFrame* f) { plain.push_back(MeanLuma(f, 160, 10, 150, 90)); });
    std::size_t frame = 0;
    const int painted = DecodeFrames(outputs[1], AVMEDIA_TYPE_VIDEO, [&](const AVFrame* f) {
        ASSERT_LT(frame, plain.size());
        EXPECT_NEAR(MeanLuma(f, 160, 10, 150, 90) - 16, (plain[frame] - 16) / 2, 3.0) << frame;
        EXPECT_GT(MeanLuma(f, 4, 4, 32, 22), 225.0) << frame; // the white image
        EXPECT_GT(MeanLuma(f, 160, 180, 40, 12), MeanLuma(f, 160, 205, 40, 12) + 10) << frame;
        ++frame;
    });
    EXPECT_EQ(std::size_t(painted), plain.size());
    EXPECT_GT(painted, 20);
}

} // namespace
} // namespace tessaro::test
