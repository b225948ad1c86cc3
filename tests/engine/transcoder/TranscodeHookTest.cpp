// The custom frame hook: what the handler sees, and what reaches the encoder.
#include "TranscodeTestSupport.h"

#include "base/Bitmap.h"
#include "base/MainThread.h"
#include "converter/Previewer.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace tessaro::test {
namespace {

class TranscodeHookTest : public TTranscodeTestBase {
protected:
    // One second of the clip as MPEG-4 in AVI at a fixed quantiser (a deterministic
    // encoder and a muxer without time stamps: equal pictures give equal files).
    std::string Run(const std::string& name, const TTranscoderCallbacks::TCustomHook& hook) {
        TCustomTranscoder task;
        const std::string output = Out(name);
        Configure(task, {Fixture("h264_aac.mp4")}, {}, output,
                  {{"t", "1"}, {"an", ""}, {"vcodec", "mpeg4"}, {"qscale", "3"}});
        if (HasFatalFailure()) {
            return output;
        }
        task.Callbacks().customHook = hook;
        task.Transcode();
        EXPECT_TRUE(task.Finished());
        return output;
    }

    static std::string Content(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static void PaintWhiteSquare(TBitmap& bitmap, int x, int y, int size) {
        for (int row = y; row < y + size; ++row) {
            std::fill_n(bitmap.ScanLine(row) + x * TBitmap::BytesPerPixel,
                        size * TBitmap::BytesPerPixel, std::uint8_t(255));
        }
    }
};

TEST_F(TranscodeHookTest, HandlerSeesEveryDecodedPictureInOrder) {
    std::vector<int> frameNumbers;
    std::vector<std::int64_t> times;
    Run("seen.avi", [&](TBitmap& bitmap, int frameNumber, std::int64_t pts, bool&, bool&) {
        EXPECT_EQ(bitmap.Width(), 320);
        EXPECT_EQ(bitmap.Height(), 240);
        frameNumbers.push_back(frameNumber);
        times.push_back(pts);
    });
    ASSERT_EQ(frameNumbers.size(), 25u);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(frameNumbers[i], i + 1);
        EXPECT_EQ(times[i], i * 40000);
    }
}

TEST_F(TranscodeHookTest, RaisingHandlerIsLoggedAndLeavesPicturesUnchanged) {
    const std::string plain = Run("plain.avi", nullptr);
    const std::string hooked =
        Run("raising.avi", [](TBitmap& bitmap, int, std::int64_t, bool&, bool&) {
            PaintWhiteSquare(bitmap, 0, 0, 100);
            throw std::runtime_error("effect failed");
        });
    int logged = 0;
    for (const auto& line : Log()) {
        logged += line == "Error occurs OnCustomHook: effect failed";
    }
    EXPECT_EQ(logged, 25);
    EXPECT_EQ(Content(hooked), Content(plain));
}

TEST_F(TranscodeHookTest, UpdateFalseKeepsThePictureAsDecoded) {
    const std::string plain = Run("plain.avi", nullptr);
    const std::string hooked =
        Run("kept.avi", [](TBitmap& bitmap, int, std::int64_t, bool& update, bool&) {
            PaintWhiteSquare(bitmap, 0, 0, 100);
            update = false;
        });
    EXPECT_EQ(Content(hooked), Content(plain));
}

TEST_F(TranscodeHookTest, StopHookOnFrameTenEndsHooking) {
    std::vector<int> frameNumbers;
    const std::string output = Run(
        "stopped.avi", [&](TBitmap& bitmap, int frameNumber, std::int64_t, bool&, bool& stopHook) {
            frameNumbers.push_back(frameNumber);
            PaintWhiteSquare(bitmap, 0, 0, 64);
            stopHook = frameNumber == 10;
        });
    EXPECT_EQ(frameNumbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    std::vector<double> corner;
    DecodeFrames(output, AVMEDIA_TYPE_VIDEO,
                 [&](const AVFrame* f) { corner.push_back(MeanLuma(f, 8, 8, 48, 48)); });
    ASSERT_EQ(corner.size(), 25u);
    EXPECT_GT(corner[9], 225.0);  // frame 10 still painted
    EXPECT_LT(corner[10], 225.0); // frame 11 as decoded
}

TEST_F(TranscodeHookTest, PaintedSquareShowsInTheOutput) {
    const std::string output =
        Run("square.avi", [](TBitmap& bitmap, int, std::int64_t, bool&, bool&) {
            PaintWhiteSquare(bitmap, 200, 40, 80);
        });
    int frames = DecodeFrames(output, AVMEDIA_TYPE_VIDEO, [](const AVFrame* f) {
        EXPECT_GT(MeanLuma(f, 208, 48, 64, 64), 230.0);
        EXPECT_LT(MeanLuma(f, 20, 140, 64, 64), 200.0);
    });
    EXPECT_EQ(frames, 25);
}

TEST_F(TranscodeHookTest, PreviewBitmapsComeAtMostEveryHundredMilliseconds) {
    TCustomTranscoder task;
    // "re" reads at the native rate, so one second of input lasts about a second.
    Configure(task, {Fixture("h264_aac.mp4")}, {{"re", ""}}, Out("preview.avi"),
              {{"t", "1"}, {"an", ""}, {"vcodec", "mpeg4"}, {"s", "160x120"}});
    ASSERT_FALSE(HasFatalFailure());
    std::vector<std::chrono::steady_clock::time_point> shown;
    std::vector<int> frameNumbers;
    task.SetFlags(TaskFlagPreviewBitmap);
    task.Callbacks().previewBitmap = [&](TBitmap& bitmap, int frameNumber, std::int64_t) {
        EXPECT_EQ(bitmap.Width(), 160);
        EXPECT_EQ(bitmap.Height(), 120);
        shown.push_back(std::chrono::steady_clock::now());
        frameNumbers.push_back(frameNumber);
    };
    task.Transcode();
    ASSERT_GE(shown.size(), 3u);
    EXPECT_LE(shown.size(), 11u);
    EXPECT_EQ(frameNumbers.front(), 1);
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_GE(shown[i] - shown[i - 1], std::chrono::milliseconds(100));
        EXPECT_GT(frameNumbers[i], frameNumbers[i - 1]);
    }
}

// A preview window that switches the task's preview off from the main thread after its
// second picture, as the converter component does when the user turns previews off.
class TSwitchingOffPreviewer final : public TPreviewer {
public:
    TSwitchingOffPreviewer(TCustomTranscoder& task, std::atomic<bool>& taskDone, int& shown,
                           bool& closedWhileRunning)
        : task_(task), taskDone_(taskDone), shown_(shown), closedWhileRunning_(closedWhileRunning) {
    }
    ~TSwitchingOffPreviewer() override { closedWhileRunning_ = IsMainThread() && !taskDone_; }

protected:
    bool ShowInMainThread(const TBitmap&, int, std::int64_t) override {
        if (++shown_ == 2) {
            std::lock_guard lock(PreviewLock());
            task_.SetFlags(task_.Flags() & ~TaskFlagPreviewWindow);
        }
        return true;
    }

private:
    TCustomTranscoder& task_;
    std::atomic<bool>& taskDone_;
    int& shown_;
    bool& closedWhileRunning_;
};

TEST_F(TranscodeHookTest, SwitchingThePreviewOffClosesItsWindowWhileTheTaskRuns) {
    TCustomTranscoder task;
    Configure(task, {Fixture("mpeg2_ac3.mpg")}, {{"re", ""}}, Out("preview_off.avi"),
              {{"t", "1.5"}, {"an", ""}, {"vcodec", "mpeg4"}, {"s", "176x120"}});
    ASSERT_FALSE(HasFatalFailure());
    std::atomic<bool> taskDone{false};
    int shown = 0;
    bool closedWhileRunning = false;
    SetPreviewerFactory([&] {
        return MakePreviewer<TSwitchingOffPreviewer>(task, taskDone, shown, closedWhileRunning);
    });
    task.SetFlags(TaskFlagPreviewWindow);
    std::thread worker([&] {
        task.Transcode();
        taskDone = true;
    });
    while (!taskDone) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(20));
    }
    worker.join();
    SetPreviewerFactory(nullptr);
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(closedWhileRunning) << "the window stayed open until the task ended";
}

} // namespace
} // namespace tessaro::test
