// Sources whose video carries a display rotation (as phones record upright video): the probe
// reports the rotation, and the conversion turns the pictures first, so that the hook, the
// crop and the output see the picture as it is displayed and nothing turns it again; a stream
// copy keeps the rotation instead. The player shows such a source upright too.
#include "EngineTestSupport.h"
#include "TranscodeTestSupport.h"
#include "base/Bitmap.h"
#include "base/MainThread.h"
#include "player/MediaPlayer.h"
#include "probe/MediaProbe.h"

#include <chrono>
#include <memory>
#include <mutex>

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

// The turns tested, with the shape of the picture shown and the corner that the stored
// top-left corner is shown in.
struct TTurnCase {
    int degrees;
    int shownWidth, shownHeight;
    bool right, bottom;
};
constexpr TTurnCase TurnCases[] = {
    {90, StoredHeight, StoredWidth, true, false},
    {180, StoredWidth, StoredHeight, true, true},
    {270, StoredHeight, StoredWidth, false, true},
};

// A drawing area that takes every picture and shows none.
class TNullSurface : public TVideoSurface {
public:
    void GetClientSize(int& width, int& height) override { width = 320, height = 320; }
    bool SetVideoMode(int, int) override { return true; }
    void ShowPicture(const TVideoPicture&, const TDisplayRect&) override {}
};

// The first picture the player's hook is given for path: its size and the centre of its
// white block.
TBlockSeen FirstPlayedPicture(const std::string& path, int& reportedWidth, int& reportedHeight) {
    TMediaPlayer player;
    player.SetTriggerEventInMainThread(false);
    player.SetOnFileOpen([&](TCustomPlayer*, std::int64_t, int width, int height, int&, int&) {
        reportedWidth = width, reportedHeight = height;
    });
    std::mutex mutex;
    TBlockSeen seen;
    player.SetHook(true);
    player.SetOnHook([&](TCustomPlayer*, TBitmap& bitmap, std::int64_t) {
        std::lock_guard lock(mutex);
        if (seen.width != 0) {
            return;
        }
        double sumX = 0, sumY = 0, count = 0;
        for (int y = 0; y < bitmap.Height(); ++y) {
            const std::uint8_t* row = bitmap.ScanLine(y);
            for (int x = 0; x < bitmap.Width(); ++x) {
                if (row[x * 3] > 200 && row[x * 3 + 1] > 200 && row[x * 3 + 2] > 200) {
                    sumX += x, sumY += y, ++count;
                }
            }
        }
        seen.x = count > 0 ? sumX / count : -1;
        seen.y = count > 0 ? sumY / count : -1;
        seen.width = bitmap.Width(); // set last: it says the picture is measured
        seen.height = bitmap.Height();
    });
    TNullSurface surface;
    EXPECT_TRUE(player.Open(path, &surface)) << player.LastError();
    for (int i = 0; i < 1000; ++i) { // waits for the first picture, at most 10 s
        {
            std::lock_guard lock(mutex);
            if (seen.width != 0) {
                break;
            }
        }
        WaitAndProcessPendingMessages(std::chrono::milliseconds(10));
    }
    player.Stop(true);
    std::lock_guard lock(mutex);
    return seen;
}

TEST_F(TranscodeRotationTest, PicturesAreTurnedBeforeTheHookTheCropAndTheEncoder) {
    const auto& cases = TurnCases;
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

TEST_F(TranscodeRotationTest, ThePlayerShowsTheTurnedSourceUpright) {
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(PlayerLibraries))
        << TLibraryLoader::Instance().LastErrorText();
    for (const TTurnCase& c : TurnCases) {
        SCOPED_TRACE(c.degrees);
        const std::string source = Source("played" + std::to_string(c.degrees) + ".mp4");
        WriteTurned(Source("stored.mp4"), source, c.degrees);
        ASSERT_FALSE(HasFatalFailure());
        int reportedWidth = 0, reportedHeight = 0;
        const TBlockSeen picture = FirstPlayedPicture(source, reportedWidth, reportedHeight);
        ASSERT_GT(picture.width, 0) << "no picture played";
        EXPECT_EQ(picture.width, c.shownWidth);
        EXPECT_EQ(picture.height, c.shownHeight);
        EXPECT_EQ(reportedWidth, c.shownWidth) << "the size the file opens with";
        EXPECT_EQ(reportedHeight, c.shownHeight);
        EXPECT_EQ(picture.x > picture.width / 2.0, c.right) << picture.x;
        EXPECT_EQ(picture.y > picture.height / 2.0, c.bottom) << picture.y;
    }
}

} // namespace
} // namespace tessaro::test
