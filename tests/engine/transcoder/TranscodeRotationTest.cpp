// Sources whose video carries a display rotation (as phones record upright video): the probe
// reports the rotation, and the conversion turns the pictures first, so that the hook, the
// crop and the output see the picture as it is displayed and nothing turns it again; a stream
// copy keeps the rotation instead.
#include "EngineTestSupport.h"
#include "TranscodeTestSupport.h"
#include "base/Bitmap.h"
#include "probe/MediaProbe.h"

#include <memory>

namespace tessaro::test {
namespace {

constexpr int StoredWidth = 160, StoredHeight = 96;

class TranscodeRotationTest : public TTranscodeTestBase {
protected:
    static void SetUpTestSuite() {
        TTranscodeTestBase::SetUpTestSuite();
        sources_ = std::make_unique<TTempDir>();
        // Grey pictures with a white block in their stored top-left corner.
        MakeClip("-f lavfi -i color=gray:size=" + std::to_string(StoredWidth) + "x" +
                 std::to_string(StoredHeight) +
                 ":rate=25:duration=0.2 -vf drawbox=x=0:y=0:w=iw/4:h=ih/4:color=white:t=fill "
                 "-c:v mpeg4 -q:v 2 '" +
                 Source("stored.mp4") + "'");
    }
    static void TearDownTestSuite() { sources_.reset(); }
    static std::string Source(const std::string& name) { return sources_->Str() + "/" + name; }

    static std::unique_ptr<TTempDir> sources_;
};

std::unique_ptr<TTempDir> TranscodeRotationTest::sources_;

int ProbedRotation(const std::string& path) {
    TMediaProbe probe;
    EXPECT_TRUE(probe.LoadFile(path)) << probe.LastError();
    TVideoStreamInfo info;
    probe.GetVideoStreamInfo(-1, info);
    return info.Rotation;
}

// The centre of the white block in the first picture of a file, and its size.
struct TBlockSeen {
    int width = 0, height = 0;
    AVRational sampleAspect{0, 1};
    double x = -1, y = -1;
};

TBlockSeen WhiteBlock(const std::string& path) {
    TBlockSeen seen;
    DecodeFrames(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
        if (seen.width != 0) {
            return;
        }
        seen.width = frame->width;
        seen.height = frame->height;
        seen.sampleAspect = frame->sample_aspect_ratio;
        double sumX = 0, sumY = 0, count = 0;
        for (int y = 0; y < frame->height; ++y) {
            for (int x = 0; x < frame->width; ++x) {
                if (frame->data[0][y * frame->linesize[0] + x] > 200) {
                    sumX += x, sumY += y, ++count;
                }
            }
        }
        if (count > 0) {
            seen.x = sumX / count;
            seen.y = sumY / count;
        }
    });
    return seen;
}

TEST_F(TranscodeRotationTest, PicturesAreTurnedBeforeTheHookTheCropAndTheEncoder) {
    const struct {
        int degrees;
        int shownWidth, shownHeight;
        bool right, bottom; // the corner the stored top-left corner is shown in
    } cases[] = {
        {90, StoredHeight, StoredWidth, true, false},
        {180, StoredWidth, StoredHeight, true, true},
        {270, StoredHeight, StoredWidth, false, true},
    };
    constexpr int CropTop = 8;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.degrees);
        const std::string source = Source("turned" + std::to_string(c.degrees) + ".mp4");
        WriteTurned(Source("stored.mp4"), source, c.degrees);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(ProbedRotation(source), c.degrees);

        TCustomTranscoder task;
        const std::string output = Out("upright.mp4");
        Configure(task, {source}, {}, output,
                  {{"vcodec", "mpeg4"}, {"qscale", "2"}, {"croptop", std::to_string(CropTop)}});
        ASSERT_FALSE(HasFatalFailure());
        int hookWidth = 0, hookHeight = 0;
        task.Callbacks().customHook = [&](TBitmap& bitmap, int, std::int64_t, bool&, bool&) {
            hookWidth = bitmap.Width();
            hookHeight = bitmap.Height();
        };
        task.Transcode();
        EXPECT_TRUE(task.Finished());
        task.FreeFiles();

        EXPECT_EQ(hookWidth, c.shownWidth);
        EXPECT_EQ(hookHeight, c.shownHeight);
        const TBlockSeen block = WhiteBlock(output);
        EXPECT_EQ(block.width, c.shownWidth);
        EXPECT_EQ(block.height, c.shownHeight - CropTop);
        EXPECT_EQ(block.x > block.width / 2.0, c.right) << block.x;
        EXPECT_EQ(block.y > block.height / 2.0, c.bottom) << block.y;
        // The shape shown is the turned source's (the crop keeps it, as crops do).
        EXPECT_NEAR(av_q2d(block.sampleAspect) * block.width / block.height,
                    double(c.shownWidth) / c.shownHeight, 0.01);
        EXPECT_EQ(ProbedRotation(output), 0) << "the output would be turned again";

        // Copied pictures stay as stored, with the instruction to turn them.
        const std::string copied = Out("copied.mp4");
        Convert({source}, {}, copied, {{"vcodec", "copy"}});
        EXPECT_EQ(ProbedRotation(copied), c.degrees);
    }
}

} // namespace
} // namespace tessaro::test
