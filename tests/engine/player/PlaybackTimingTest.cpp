// Picture timing and audio/video sync of the playback core, on a clock whose time the test
// sets: the arithmetic runs as in playback, and no real time passes.
#include "EngineTestSupport.h"
#include "player/PictureQueue.h"
#include "player/PlaybackClock.h"
#include "runtime/FFmpegPtr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace tessaro;

namespace {

constexpr double Tolerance = 1e-9;

// The wall clock of a test: it stands still until the test moves it.
struct TManualTime {
    double now = 100.0;
    TTimeSource Source() {
        return [this] { return now; };
    }
};

TEST(PlaybackClock, AudioClockFollowsTheSamplesTheDeviceIsPlaying) {
    TManualTime time;
    TPlaybackClock clock(time.Source());
    clock.Start(false);
    clock.AudioDecoded(10.0, 0.0213);
    EXPECT_NEAR(clock.AudioClock(), 10.0213, Tolerance) << "before the first callback";

    clock.AudioHandedOver(10.0, 0.0213, 100.0);
    const struct {
        double now;
        double audioClock;
    } played[] = {
        {99.9, 10.0},    // a clock read just before the callback's own time
        {100.0, 10.0},   // the device starts the block
        {100.01, 10.01}, // and plays it at its rate
        {100.0213, 10.0213},
        {100.5, 10.0213}, // it has nothing more: the clock waits at the block's end
    };
    for (const auto& row : played) {
        time.now = row.now;
        EXPECT_NEAR(clock.AudioClock(), row.audioClock, Tolerance) << "at " << row.now;
    }

    // Silence handed over does not move the clock; the next real block takes it on.
    clock.SilenceHandedOver();
    time.now = 100.6;
    EXPECT_NEAR(clock.AudioClock(), 10.0213, Tolerance);
    clock.AudioHandedOver(10.0213, 0.02, 101.0);
    time.now = 101.01;
    EXPECT_NEAR(clock.AudioClock(), 10.0313, Tolerance);
}

TEST(PlaybackClock, VideoClockStartsAtTheFileStartAndMovesWithTheShownPicture) {
    TManualTime time;
    TPlaybackClock clock(time.Source());
    clock.Start(false);
    clock.SetStartTime(2.0);
    EXPECT_DOUBLE_EQ(clock.VideoClock(), 2.0);
    EXPECT_DOUBLE_EQ(clock.MasterClock(), 2.0) << "no audio: the video clock is the master";
    EXPECT_EQ(clock.ShownPosition(), -1);

    clock.PictureShown(5.0, 4096, 100.0);
    time.now = 100.5;
    EXPECT_NEAR(clock.VideoClock(), 5.5, Tolerance);
    EXPECT_EQ(clock.ShownPosition(), 4096);

    clock.Pause();
    time.now = 103.0;
    EXPECT_DOUBLE_EQ(clock.VideoClock(), 5.0) << "paused: the shown picture's time";
    // A demuxer that could not pause its reading: the time goes on from the shown picture.
    clock.Resume(false);
    time.now = 103.5;
    EXPECT_NEAR(clock.VideoClock(), 5.5, Tolerance);

    clock.SetAudioPresent(true);
    clock.AudioHandedOver(7.0, 0.02, 103.5);
    EXPECT_DOUBLE_EQ(clock.MasterClock(), 7.0) << "with audio, audio is the master";
}

TEST(PlaybackClock, PredictedPictureTimesFillInMissingStamps) {
    TManualTime time;
    TPlaybackClock clock(time.Source());
    EXPECT_DOUBLE_EQ(clock.StampPicture(1.0, 0.04, 0), 1.0);
    EXPECT_NEAR(clock.PredictedPictureTime(), 1.04, Tolerance);
    EXPECT_NEAR(clock.StampPicture(0, 0.04, 0), 1.04, Tolerance) << "no stamp: the prediction";
    EXPECT_NEAR(clock.StampPicture(0, 0.04, 1), 1.08, Tolerance);
    EXPECT_NEAR(clock.PredictedPictureTime(), 1.14, Tolerance) << "a repeat adds half a picture";
}

TEST(PictureTiming, WithoutAudioPicturesAreDueAtTheirSpacing) {
    TManualTime time;
    TPlaybackClock clock(time.Source());
    clock.Start(false);
    const struct {
        double pts;
        double due;
    } pictures[] = {
        {0.0, 100.0},                   // the first picture: at once
        {0.04, 100.04},                 // then one spacing after the other
        {0.08, 100.08}, {20.0, 100.12}, // a jump of ten seconds or more keeps the last spacing
        {20.0, 100.16},                 // and so does a repeated stamp
        {20.1, 100.26},
    };
    for (const auto& row : pictures) {
        EXPECT_NEAR(clock.PictureDue(row.pts), row.due, Tolerance) << "picture at " << row.pts;
    }
}

TEST(PictureTiming, WithAudioPlayingAPictureIsDueWhenTheAudioClockReachesIt) {
    TManualTime time;
    TPlaybackClock clock(time.Source());
    clock.Start(false);
    clock.SetAudioPresent(true);
    clock.AudioHandedOver(10.0, 1.0, 100.0);
    const struct {
        double now;
        double pts;
        double due;
    } pictures[] = {
        {100.0, 10.04, 100.04},
        {100.01, 10.08, 100.08},
        {100.5, 10.52, 100.52},
        {100.5, 10.48, 100.48}, // a picture the sound has passed is due at once (late)
    };
    for (const auto& row : pictures) {
        time.now = row.now;
        EXPECT_NEAR(clock.PictureDue(row.pts), row.due, Tolerance) << "picture at " << row.pts;
    }
}

TEST(PictureTiming, FarFromTheSoundPicturesCatchUpOrWait) {
    const struct {
        const char* name;
        double shownPts; // the picture on screen at 100.0 s
        double due[3];   // of the pictures at shownPts, +0.04 and +0.08
    } cases[] = {
        // The sound is at 10 s: pictures behind it are all due at once.
        {"video 5 s behind", 5.0, {100.0, 100.0, 100.0}},
        // Pictures ahead of it wait twice their spacing.
        {"video 2 s ahead", 12.0, {100.0, 100.08, 100.16}},
        // Ten seconds or more apart, no correction: the plain spacing.
        {"video 15 s ahead", 25.0, {100.0, 100.04, 100.08}},
    };
    for (const auto& row : cases) {
        TManualTime time;
        TPlaybackClock clock(time.Source());
        clock.Start(false);
        clock.SetAudioPresent(true);
        clock.AudioHandedOver(10.0, 0.0213, 100.0);
        clock.PictureShown(row.shownPts, 0, 100.0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(clock.PictureDue(row.shownPts + 0.04 * i), row.due[i], Tolerance)
                << row.name << ", picture " << i;
        }
    }
}

TEST(PictureTiming, ResumingMovesTheFrameTimerOnByTheTimeSinceTheShownPicture) {
    TManualTime time;
    TPlaybackClock clock(time.Source());
    clock.Start(false);
    EXPECT_DOUBLE_EQ(clock.PictureDue(0.0), 100.0);
    clock.PictureShown(0.0, 0, 100.0);
    EXPECT_NEAR(clock.PictureDue(0.04), 100.04, Tolerance);
    time.now = 100.02;
    clock.Pause();
    EXPECT_TRUE(clock.Paused());
    time.now = 103.02;
    clock.Resume(true);
    EXPECT_FALSE(clock.Paused());
    EXPECT_NEAR(clock.PictureDue(0.08), 103.10, Tolerance);
}

// A queue of small real pictures, each with its time and due time.
class PictureQueueTest : public tessaro::test::TConverterLibrariesTest {
protected:
    void SetUp() override {
        picture_.reset(ff::av_frame_alloc());
        picture_->width = 16;
        picture_->height = 16;
        picture_->format = AV_PIX_FMT_YUV420P;
        ASSERT_GE(ff::av_frame_get_buffer(picture_.get(), 0), 0);
        shown_.reset(ff::av_frame_alloc());
    }

    // Queues the picture stamped pts, due at target, as the decoding thread does.
    void Push(double pts, double target) {
        ASSERT_LT(queue_.Count(), TPictureQueue::Size) << "the queue is full";
        ASSERT_TRUE(queue_.WaitForRoom(true, [] { return false; }));
        clock_.StampPicture(pts, 0.04, 0);
        TPictureSlot& slot = queue_.WriteSlot();
        if (!slot.Frame) {
            slot.Frame.reset(ff::av_frame_alloc());
        }
        ff::av_frame_unref(slot.Frame.get());
        ff::av_frame_ref(slot.Frame.get(), picture_.get());
        slot.Allocated = true;
        slot.Pts = pts;
        slot.Target = target;
        queue_.Publish();
    }

    TRefreshOutcome RefreshAt(double now, bool fromRefreshEvent = true) {
        time_.now = now;
        return queue_.Refresh(clock_, stale_, capture_, fromRefreshEvent, shown_.get());
    }

    TManualTime time_;
    TPlaybackClock clock_{time_.Source()};
    TPictureQueue queue_;
    std::atomic<bool> stale_{false};
    bool capture_ = false;
    AVFramePtr picture_;
    AVFramePtr shown_;
};

TEST_F(PictureQueueTest, ShowsEachPictureWhenDueAndDropsLateOnes) {
    Push(1.00, 100.04);
    TRefreshOutcome outcome = RefreshAt(100.0);
    EXPECT_TRUE(outcome.NotDue);
    EXPECT_FALSE(outcome.Shown);

    outcome = RefreshAt(100.04);
    ASSERT_TRUE(outcome.Shown);
    EXPECT_DOUBLE_EQ(outcome.ShownPts, 1.00);
    EXPECT_EQ(shown_->width, 16) << "the shown picture is handed over";
    EXPECT_DOUBLE_EQ(clock_.ShownPts(), 1.00);
    EXPECT_EQ(queue_.Count(), 0) << "a refresh event takes the shown picture out";

    // An expose shows the head again without taking it out.
    Push(1.04, 100.08);
    outcome = RefreshAt(100.08, false);
    EXPECT_TRUE(outcome.Shown);
    EXPECT_EQ(queue_.Count(), 1);

    // Late with another one queued: the head is dropped and the next one shown.
    Push(1.08, 100.12);
    outcome = RefreshAt(100.13);
    EXPECT_TRUE(outcome.Dropped);
    ASSERT_TRUE(outcome.Shown);
    EXPECT_DOUBLE_EQ(outcome.ShownPts, 1.08);
    EXPECT_NEAR(queue_.SkipFactor(), 1.05, Tolerance);

    // The last picture, late by less than half a second, is still shown.
    Push(1.12, 100.16);
    outcome = RefreshAt(100.3);
    EXPECT_FALSE(outcome.Dropped);
    EXPECT_TRUE(outcome.Shown);
    EXPECT_NEAR(queue_.SkipFactor(), 1.05 * 1.05, Tolerance) << "5 % more per late refresh";

    // Later than that it is dropped.
    Push(1.16, 100.20);
    outcome = RefreshAt(100.8);
    EXPECT_TRUE(outcome.Dropped);
    EXPECT_FALSE(outcome.Shown);
    EXPECT_TRUE(outcome.Empty);
    EXPECT_NEAR(queue_.SkipFactor(), 1.05 * 1.05 * 1.05, Tolerance);
}

TEST_F(PictureQueueTest, PicturesFromBeforeASeekAreDroppedAndCaptureIsNeverLate) {
    // A seek flushes the queue (every picture in it becomes due) and marks its pictures stale.
    Push(1.00, 100.5);
    Push(1.04, 100.54);
    queue_.Flush([] { return true; });
    stale_ = true;
    const TRefreshOutcome stale = RefreshAt(100.0);
    EXPECT_TRUE(stale.Dropped);
    EXPECT_FALSE(stale.Shown);
    EXPECT_EQ(queue_.Count(), 0);

    stale_ = false;
    capture_ = true;
    Push(2.00, 100.0);
    Push(2.04, 100.04);
    const TRefreshOutcome capture = RefreshAt(105.0);
    EXPECT_FALSE(capture.Dropped);
    EXPECT_TRUE(capture.Shown);
    EXPECT_DOUBLE_EQ(capture.ShownPts, 2.00);
}

TEST_F(PictureQueueTest, SkipFactorThinsOutDecodedPicturesAndFlushRestoresIt) {
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(queue_.CountDecoded()) << "at factor 1 every picture is shown";
    }
    // Three late refreshes raise the factor to 1.05^3: 86 of the next 100 pictures are shown.
    for (int late = 0; late < 3; ++late) {
        Push(1.0, 100.0);
        RefreshAt(101.0);
    }
    int shown = 0;
    for (int i = 0; i < 100; ++i) {
        shown += queue_.CountDecoded() ? 1 : 0;
    }
    EXPECT_EQ(shown, 86);

    // A full queue while no refresh is pending lowers the factor, to 0.95 at the least.
    Push(1.0, 200.0);
    Push(1.04, 200.04);
    EXPECT_FALSE(queue_.WaitForRoom(true, [] { return true; }));
    EXPECT_NEAR(queue_.SkipFactor(), 1.05 * 1.05 * 1.05, Tolerance) << "refresh pending";
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(queue_.WaitForRoom(false, [] { return true; }));
    }
    EXPECT_NEAR(queue_.SkipFactor(), 0.95, Tolerance);

    // A flush makes every queued picture due at once and starts the factor afresh.
    queue_.Flush([] { return true; });
    EXPECT_DOUBLE_EQ(queue_.SkipFactor(), 1.0);
    const TRefreshOutcome outcome = RefreshAt(100.0);
    EXPECT_FALSE(outcome.NotDue);
    EXPECT_EQ(queue_.Count(), 0);
}

// Playback of three seconds: the audio device asks for 1024 samples at 48 kHz whenever it has
// played the last ones (its own clock runs 1 % fast against the wall clock, as sound cards'
// clocks do drift), the decoder keeps the picture queue full with 25 pictures a second, and the
// event loop refreshes every 5 ms. Each picture is shown when the sound reaches it, not when
// the wall clock says, which would leave the last pictures 30 ms behind the sound.
TEST_F(PictureQueueTest, PicturesAreShownWhenTheSoundReachesThem) {
    constexpr double BlockSeconds = 1024.0 / 48000.0;
    constexpr double DeviceRate = 1.01;
    constexpr double RefreshPeriod = 0.005;
    // The sound jumps a little at each callback of the fast device; a picture is timed up to
    // two pictures ahead, a few callbacks before it is shown.
    constexpr double JumpsBeforeShown = 0.001;
    clock_.Start(false);
    clock_.SetAudioPresent(true);
    double nextCallback = 100.0;
    double nextAudioPts = 0.5; // the sound starts half a second into the file, as on a DVD
    double nextRefresh = 100.0;
    double nextPicture = 0.5;
    struct TShown {
        double pts;
        double audioClock;
    };
    std::vector<TShown> shown;
    int dropped = 0;
    // Time moves from one event (a callback, a refresh) to the next.
    for (time_.now = 100.0; time_.now < 103.0; time_.now = std::min(nextCallback, nextRefresh)) {
        if (time_.now >= nextCallback - Tolerance) {
            clock_.AudioHandedOver(nextAudioPts, BlockSeconds, time_.now);
            nextAudioPts += BlockSeconds;
            nextCallback += BlockSeconds / DeviceRate;
        }
        while (queue_.Count() < TPictureQueue::Size) {
            Push(nextPicture, clock_.PictureDue(nextPicture));
            nextPicture += 0.04;
        }
        if (time_.now >= nextRefresh - Tolerance) {
            const TRefreshOutcome outcome =
                queue_.Refresh(clock_, stale_, capture_, true, shown_.get());
            dropped += outcome.Dropped ? 1 : 0;
            if (outcome.Shown) {
                shown.push_back({outcome.ShownPts, clock_.AudioClock()});
            }
            nextRefresh += RefreshPeriod;
        }
    }
    EXPECT_EQ(dropped, 0);
    ASSERT_GE(shown.size(), 74u);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_NEAR(shown[i].pts, 0.5 + 0.04 * double(i), Tolerance) << "every picture in turn";
        const double late = shown[i].audioClock - shown[i].pts;
        EXPECT_GE(late, -Tolerance) << "shown before the sound at " << shown[i].pts;
        EXPECT_LE(late, RefreshPeriod + JumpsBeforeShown) << "shown late at " << shown[i].pts;
    }
}

} // namespace
