#include "player/MediaPlayer.h"
#include "TestPaths.h"
#include "base/EngineLogger.h"
#include "base/MainThread.h"
#include "runtime/Bindings.h"
#include "runtime/LibraryLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <dirent.h>
#include <iostream>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using tessaro::test::FixtureDir;

using namespace tessaro;
using namespace std::chrono_literals;

namespace {

std::string Fixture(const std::string& name) {
    return FixtureDir() + "/" + name;
}

double Now() {
    return double(ff::av_gettime_relative()) / 1e6;
}

// Runs main-thread calls (the player's events) for a while.
void PumpFor(double seconds) {
    const double end = Now() + seconds;
    while (Now() < end) {
        WaitAndProcessPendingMessages(5ms);
    }
}

// Runs main-thread calls until done() holds or the given time has passed.
template <typename Done> bool PumpUntil(Done done, double seconds) {
    const double end = Now() + seconds;
    while (!done()) {
        if (Now() > end) {
            return false;
        }
        WaitAndProcessPendingMessages(5ms);
    }
    return true;
}

int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count;
}

// A drawing area that records every picture it is given.
class TRecordingSurface : public TVideoSurface {
public:
    struct TShown {
        double Time;       // wall clock when shown
        std::int64_t PTS;  // picture time from the file start
        double MeanLuma;   // whole picture
        double CornerLuma; // the top-left 16 x 16 pixels
        int Width;
        int Height;
        TDisplayRect Rect;
    };

    void GetClientSize(int& Width, int& Height) override {
        Width = width_;
        Height = height_;
    }
    void SetClientSize(int width, int height) {
        width_ = width;
        height_ = height;
    }
    bool SetVideoMode(int, int) override { return true; }
    void ShowPicture(const TVideoPicture& Picture, const TDisplayRect& Rect) override {
        double sum = 0;
        for (int y = 0; y < Picture.Height; ++y) {
            for (int x = 0; x < Picture.Width; ++x) {
                sum += Picture.Planes[0][y * Picture.Pitches[0] + x];
            }
        }
        double corner = 0;
        for (int y = 0; y < 16 && y < Picture.Height; ++y) {
            for (int x = 0; x < 16 && x < Picture.Width; ++x) {
                corner += Picture.Planes[0][y * Picture.Pitches[0] + x];
            }
        }
        std::lock_guard lock(mutex_);
        shown_.push_back({Now(), Picture.PTS, sum / (Picture.Width * Picture.Height), corner / 256,
                          Picture.Width, Picture.Height, Rect});
    }
    std::vector<TShown> Shown() {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return shown_.size();
    }

private:
    std::atomic<int> width_{400};
    std::atomic<int> height_{300};
    std::mutex mutex_;
    std::vector<TShown> shown_;
};

struct TPositionRecord {
    double Time;
    std::int64_t Position;
};

class MediaPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(PlayerLibraries))
            << TLibraryLoader::Instance().LastErrorText();
    }
    void SetUp() override {
        TEngineLogger::GetLogger().SetTriggerEventInMainThread(false);
        TEngineLogger::GetLogger().SetOnLog(
            [this](const void*, std::uint32_t, TLogLevel level, const std::string& message) {
                std::lock_guard lock(logMutex);
                log.emplace_back(level, message);
            });
        player.SetOnPosition([this](TCustomPlayer*, std::int64_t pts) {
            positions.push_back({Now(), pts});
        });
        player.SetOnState([this](TCustomPlayer*, TPlayState state) { states.push_back(state); });
    }
    void TearDown() override {
        player.Stop(true);
        TEngineLogger::GetLogger().SetOnLog(nullptr);
    }
    bool Logged(TLogLevel level, const std::string& text) {
        std::lock_guard lock(logMutex);
        for (const auto& entry : log) {
            if (entry.first == level && entry.second.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    int StateCount(TPlayState state) const {
        return int(std::count(states.begin(), states.end(), state));
    }

    TMediaPlayer player;
    TRecordingSurface surface;
    std::vector<TPositionRecord> positions;
    std::vector<TPlayState> states;
    std::mutex logMutex;
    std::vector<std::pair<TLogLevel, std::string>> log;
};

// Least-squares slope of position (seconds) over wall time in [from, to].
double PositionSpeed(const std::vector<TPositionRecord>& records, double from, double to) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const TPositionRecord& r : records) {
        if (r.Time < from || r.Time > to) {
            continue;
        }
        const double x = r.Time - from;
        const double y = double(r.Position) / 1e6;
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    return n < 2 ? 0 : (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

TEST_F(MediaPlayerTest, OpenRaisesFileOpenBeforeItReturns) {
    bool raised = false;
    player.SetOnFileOpen([&](TCustomPlayer* sender, std::int64_t duration, int width, int height,
                             int& screenWidth, int& screenHeight) {
        EXPECT_EQ(sender, &player);
        EXPECT_NEAR(double(duration), 12e6, 0.1e6);
        EXPECT_EQ(width, 720);
        EXPECT_EQ(height, 480);
        EXPECT_EQ(screenWidth, 0);
        screenWidth = 360;
        screenHeight = 240;
        raised = true;
    });
    ASSERT_TRUE(player.Open(Fixture("mpeg2_ac3.mpg"), &surface)) << player.LastError();
    EXPECT_TRUE(raised);
    EXPECT_EQ(player.ScreenWidth(), 360);
    EXPECT_EQ(player.Probe().VideoStreamCount(), 1);
    EXPECT_EQ(player.Probe().AudioStreamCount(), 1);

    // Audio only: no frame size.
    player.SetOnFileOpen(
        [&](TCustomPlayer*, std::int64_t duration, int width, int height, int&, int&) {
            EXPECT_GT(duration, 4900000);
            EXPECT_EQ(width, -1);
            EXPECT_EQ(height, -1);
            raised = true;
        });
    raised = false;
    ASSERT_TRUE(player.Open(Fixture("audio.mp3"), &surface)) << player.LastError();
    EXPECT_TRUE(raised);
    EXPECT_TRUE(PumpUntil([&] { return surface.Count() > 3; }, 5)) << "no waveform drawn";
    EXPECT_TRUE(PumpUntil([&] { return positions.size() > 3; }, 5)) << "no position from audio";
    player.Stop(true);
    EXPECT_EQ(states.back(), psStop);

    // No display at all: the sound plays and reports its position, nothing is drawn.
    player.SetDisableDisplay(true);
    const std::size_t drawn = surface.Count();
    const std::size_t reported = positions.size();
    ASSERT_TRUE(player.Open(Fixture("h264_aac.mp4"), &surface)) << player.LastError();
    EXPECT_TRUE(player.DisableVideo());
    EXPECT_TRUE(PumpUntil([&] { return positions.size() > reported + 3; }, 5));
    EXPECT_EQ(surface.Count(), drawn);
    EXPECT_FALSE(Logged(llError, "could not set video mode"));
}

TEST_F(MediaPlayerTest, OpenFailuresKeepTheirText) {
    player.Stop(true); // nothing open: returns at once
    EXPECT_TRUE(states.empty());
    const std::string missing = Fixture("missing.mp4");
    EXPECT_FALSE(player.Open(missing, &surface));
    EXPECT_EQ(player.LastError().rfind(missing + ": ", 0), 0u) << player.LastError();
    EXPECT_TRUE(player.Paused());

    TLibraryLoader::Instance().UnloadLib(TLibraryKind::libSDL);
    EXPECT_FALSE(player.Open(Fixture("h264_aac.mp4"), &surface));
    EXPECT_EQ(player.LastError(), "libav or libsdl not loaded.");
    EXPECT_TRUE(Logged(llError, "libav or libsdl not loaded."));
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(PlayerLibraries));
}

TEST_F(MediaPlayerTest, PlaysPausesResumesSeeksAndEnds) {
    ASSERT_TRUE(player.Open(Fixture("h264_aac.mp4"), &surface)) << player.LastError();
    PumpFor(0.5);
    const double from = Now();
    const std::size_t shownBefore = surface.Count();
    PumpFor(2.0);
    const double to = Now();
    const double speed = PositionSpeed(positions, from, to);
    EXPECT_NEAR(speed, 1.0, 0.1) << "positions do not advance at real speed";
    const auto shown = surface.Shown();
    const double rate = double(shown.size() - shownBefore) / (to - from);
    EXPECT_NEAR(rate, 25.0, 2.5) << "pictures do not arrive at the clip's frame rate";
    EXPECT_EQ(shown.back().Width, 320);

    player.Pause();
    PumpFor(0.3); // pictures already due may still be shown
    const std::size_t pausedCount = surface.Count();
    const std::size_t pausedPositions = positions.size();
    PumpFor(1.0);
    EXPECT_EQ(surface.Count(), pausedCount) << "pictures while paused";
    for (std::size_t i = pausedPositions; i < positions.size(); ++i) {
        EXPECT_NEAR(double(positions[i].Position), double(positions[pausedPositions - 1].Position),
                    1e4);
    }
    EXPECT_TRUE(player.Paused());

    player.Resume();
    const double resumed = Now();
    PumpFor(1.0);
    EXPECT_NEAR(PositionSpeed(positions, resumed + 0.2, Now()), 1.0, 0.15);
    EXPECT_GT(surface.Count(), pausedCount + 15);

    const std::int64_t beforeSeek = positions.back().Position;
    player.Seek(0, true, 10000000);
    const std::size_t afterSeek = positions.size();
    // Position events already queued before the seek was applied may still arrive;
    // the first report past them must be at the seek target.
    std::size_t firstJumped = 0;
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (std::size_t i = afterSeek; i < positions.size(); ++i) {
                if (positions[i].Position > beforeSeek + 2000000) {
                    firstJumped = i;
                    return true;
                }
            }
            return false;
        },
        5));
    EXPECT_NEAR(double(positions[firstJumped].Position), 10e6, 0.5e6);

    ASSERT_TRUE(PumpUntil([&] { return StateCount(psEnd) > 0; }, 10)) << "no end reported";
    PumpFor(0.5);
    EXPECT_EQ(StateCount(psEnd), 1);
    EXPECT_EQ(positions.back().Position, 12000000);
    EXPECT_EQ(StateCount(psPause), 1);
    EXPECT_EQ(StateCount(psResume), 1);
    EXPECT_EQ(states.front(), psPlay);
}

TEST_F(MediaPlayerTest, HookSeesAndEditsEveryShownPicture) {
    std::mutex hookedMutex;
    std::set<std::int64_t> hooked;
    player.SetHook(true);
    player.SetOnHook([&](TCustomPlayer*, TBitmap& bitmap, std::int64_t pts) {
        for (int y = 0; y < 16; ++y) {
            std::fill_n(bitmap.ScanLine(y), 16 * 3, std::uint8_t(255));
        }
        std::lock_guard lock(hookedMutex);
        hooked.insert(pts);
    });
    ASSERT_TRUE(player.Open(Fixture("h264_aac.mp4"), &surface)) << player.LastError();
    PumpFor(1.5);
    player.Stop(true);
    const auto shown = surface.Shown();
    ASSERT_GT(shown.size(), 10u);
    std::lock_guard lock(hookedMutex);
    for (const auto& picture : shown) {
        EXPECT_EQ(hooked.count(picture.PTS), 1u) << "picture at " << picture.PTS << " not hooked";
        EXPECT_GT(picture.CornerLuma, 230) << "square missing at " << picture.PTS;
    }
}

TEST_F(MediaPlayerTest, HookThatThrowsIsLoggedAndPlaybackGoesOn) {
    player.SetHook(true);
    player.SetOnHook([](TCustomPlayer*, TBitmap&, std::int64_t) -> void {
        throw std::runtime_error("paint failed");
    });
    ASSERT_TRUE(player.Open(Fixture("h264_aac.mp4"), &surface)) << player.LastError();
    PumpFor(1.0);
    EXPECT_TRUE(Logged(llError, "Error occurs OnHook: paint failed"));
    EXPECT_GT(surface.Count(), 15u);
    EXPECT_GT(positions.back().Position, 500000);
}

TEST_F(MediaPlayerTest, CurrentFrameIsBlackBeforeTheFirstPictureThenThePicture) {
    std::int64_t pts = 0;
    EXPECT_EQ(player.GetCurrentFrame(pts).Width(), 0);
    EXPECT_EQ(pts, -1);

    ASSERT_TRUE(player.Open(Fixture("h264_aac.mp4"), &surface, true)) << player.LastError();
    TBitmap& early = player.GetCurrentFrame(pts);
    EXPECT_EQ(early.Width(), 320);
    EXPECT_EQ(early.Height(), 240);
    ASSERT_TRUE(PumpUntil([&] { return StateCount(psPause) > 0; }, 5));
    EXPECT_TRUE(player.Paused());
    PumpFor(0.3);
    // psPlay may be replaced by psPause in the notice ring, but never come after it.
    EXPECT_EQ(states.back(), psPause);
    EXPECT_EQ(player.State(), psPause);
    TBitmap& frame = player.GetCurrentFrame(pts);
    ASSERT_EQ(frame.Width(), 320);
    long sum = 0;
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width() * 3; ++x) {
            sum += frame.ScanLine(y)[x];
        }
    }
    EXPECT_GT(sum, 320L * 240 * 3 * 20) << "the test picture is not dark";
    EXPECT_GE(pts, 0);
    EXPECT_LT(pts, 200000);
}

TEST_F(MediaPlayerTest, SeekWhilePausedShowsThePictureThereAndStaysPaused) {
    ASSERT_TRUE(player.Open(Fixture("mpeg2_ac3.mpg"), &surface, true)) << player.LastError();
    ASSERT_TRUE(PumpUntil([&] { return StateCount(psPause) > 0; }, 5));
    PumpFor(0.3);
    const std::size_t before = surface.Count();
    player.Seek(0, true, 5000000);
    ASSERT_TRUE(PumpUntil([&] { return surface.Count() > before; }, 5)) << "nothing shown";
    PumpFor(0.5);
    const auto shown = surface.Shown();
    EXPECT_NEAR(double(shown.back().PTS), 5e6, 0.5e6);
    std::string times;
    for (std::size_t i = before; i < shown.size(); ++i) {
        times += " " + std::to_string(shown[i].PTS);
    }
    // Pictures from before the seek must not be shown as the new position.
    EXPECT_LE(shown.size(), before + 2) << "shown after the seek:" << times;
    EXPECT_TRUE(player.Paused());
}

TEST_F(MediaPlayerTest, PicturesKeepTheirShapeUnlessTheWindowIsToBeFilled) {
    surface.SetClientSize(400, 200);
    ASSERT_TRUE(player.Open(Fixture("h264_aac.mp4"), &surface)) << player.LastError();
    PumpFor(0.5);
    const TDisplayRect kept = surface.Shown().back().Rect;
    EXPECT_EQ(kept.Width, 266); // 4:3 at the area's height, rounded down to even
    EXPECT_EQ(kept.Height, 200);
    EXPECT_EQ(kept.Left, 67);
    player.SetAspectRatio(-1);
    PumpFor(0.5);
    const TDisplayRect filled = surface.Shown().back().Rect;
    EXPECT_EQ(filled.Width, 400);
    EXPECT_EQ(filled.Height, 200);
    EXPECT_EQ(filled.Left, 0);
}

TEST_F(MediaPlayerTest, OpenPlayStopFiftyTimesLeavesNoThreads) {
    ASSERT_TRUE(player.Open(Fixture("h264_aac.mp4"), &surface));
    PumpFor(0.2);
    player.Stop(true);
    const int baseline = ThreadCount();
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(
            player.Open(Fixture(round % 3 == 0 ? "mpeg2_ac3.mpg" : "h264_aac.mp4"), &surface))
            << player.LastError();
        PumpFor(0.05 + 0.01 * (round % 5));
        player.Stop(round % 2 == 0);
    }
    player.Stop(true);
    EXPECT_EQ(ThreadCount(), baseline);
    EXPECT_EQ(StateCount(psStop), 51);
}

TEST_F(MediaPlayerTest, AudioAndVideoStayInSync) {
    struct TOnset {
        double Time;
        double Pts;
    };
    std::mutex audioMutex;
    std::vector<TOnset> beeps;
    double quietSince = -1;
    bool inBeep = false;
    player.SetAudioTap(
        [&](const std::int16_t* samples, int frames, int channels, double pts, double playTime) {
            if (std::isnan(pts)) {
                return;
            }
            std::lock_guard lock(audioMutex);
            for (int i = 0; i < frames; ++i) {
                const bool loud = std::abs(samples[i * channels]) > 8000;
                const double time = playTime + double(i) / 48000;
                if (loud && !inBeep && quietSince >= 0 && time - quietSince > 0.5) {
                    beeps.push_back({time, pts + double(i) / 48000});
                }
                if (loud) {
                    inBeep = true;
                    quietSince = -1;
                } else if (quietSince < 0) {
                    quietSince = time;
                    inBeep = false;
                }
            }
        });
    ASSERT_TRUE(player.Open(Fixture("sync_beep.mp4"), &surface)) << player.LastError();
    PumpFor(15.5);
    player.Stop(true);

    std::vector<double> flashes;
    bool bright = false;
    for (const auto& picture : surface.Shown()) {
        if (picture.MeanLuma > 128 && !bright) {
            flashes.push_back(picture.Time);
        }
        bright = picture.MeanLuma > 128;
    }
    std::lock_guard lock(audioMutex);
    ASSERT_GE(beeps.size(), 13u);
    // A flash is a single picture, which a starved machine may drop as late; every beep
    // whose flash was shown is compared with it.
    std::vector<double> offsets;
    for (const TOnset& beep : beeps) {
        double nearest = 1e9;
        for (double flash : flashes) {
            if (std::fabs(flash - beep.Time) < std::fabs(nearest)) {
                nearest = flash - beep.Time;
            }
        }
        if (std::fabs(nearest) < 0.5) {
            offsets.push_back(nearest);
            EXPECT_LT(std::fabs(nearest), 0.045) << "flash and beep at " << beep.Pts << " s";
        }
    }
    EXPECT_GE(offsets.size(), 10u);
    double largest = 0;
    for (double offset : offsets) {
        largest = std::max(largest, std::fabs(offset));
    }
    std::cout << offsets.size() << " flashes with their beeps, largest offset " << largest * 1000
              << " ms\n";
}

} // namespace
