#include "player/PlaybackClock.h"

#include "runtime/Bindings.h"

#include <algorithm>
#include <cmath>

namespace tessaro {
namespace {

constexpr double SyncThreshold = 0.01;
constexpr double NoSyncThreshold = 10.0;
// Pictures further than this from the audio clock (just after a seek, before the new
// audio has started) are timed by the frame timer instead.
constexpr double DirectSyncRange = 1.0;
// "No value" for the last picture's time: far enough away that the first delay is ignored.
constexpr double NoFrameTime = -1e18;

} // namespace

TTimeSource SystemTimeSource() {
    return [] { return double(ff::av_gettime_relative()) / 1e6; };
}

TPlaybackClock::TPlaybackClock(TTimeSource now) : now_(std::move(now)) {}

void TPlaybackClock::Start(bool paused) {
    paused_ = paused;
    std::lock_guard lock(videoMutex_);
    frameTimer_ = Now();
    frameLastPts_ = NoFrameTime;
}

void TPlaybackClock::SetStartTime(double seconds) {
    startTime_ = seconds;
}

// ---- Audio ----------------------------------------------------------------------------------

void TPlaybackClock::AudioDecoded(double pts, double seconds) {
    std::lock_guard lock(audioMutex_);
    if (!std::isnan(pts)) {
        decodedEnd_ = pts;
    }
    decodedEnd_ += seconds;
}

double TPlaybackClock::DecodedAudioEnd() const {
    std::lock_guard lock(audioMutex_);
    return decodedEnd_;
}

void TPlaybackClock::AudioHandedOver(double firstPts, double realSeconds, double callbackTime) {
    std::lock_guard lock(audioMutex_);
    callbackPts_ = firstPts;
    callbackPlayed_ = realSeconds;
    callbackTime_ = callbackTime;
    callbackValid_ = true;
}

void TPlaybackClock::SilenceHandedOver() {
    std::lock_guard lock(audioMutex_);
    if (callbackValid_) {
        callbackPts_ += callbackPlayed_;
        callbackPlayed_ = 0;
    }
}

double TPlaybackClock::AudioClock() const {
    std::lock_guard lock(audioMutex_);
    if (!callbackValid_) {
        return decodedEnd_;
    }
    // The device plays the samples of the last callback from the moment it was called.
    const double elapsed = Now() - callbackTime_;
    return callbackPts_ + std::clamp(elapsed, 0.0, callbackPlayed_);
}

bool TPlaybackClock::AudioClockRunning() const {
    std::lock_guard lock(audioMutex_);
    return callbackValid_ && !paused_;
}

// ---- Video ----------------------------------------------------------------------------------

double TPlaybackClock::StampPicture(double pts, double frameDuration, int repeat) {
    if (pts != 0) {
        predictedPts_ = pts;
    } else {
        pts = predictedPts_;
    }
    predictedPts_ = predictedPts_ + frameDuration + repeat * frameDuration * 0.5;
    return pts;
}

double TPlaybackClock::PictureDue(double pts) {
    double delay;
    {
        std::lock_guard lock(videoMutex_);
        delay = pts - frameLastPts_;
        if (delay <= 0 || delay >= NoSyncThreshold) {
            delay = frameLastDelay_;
        } else {
            frameLastDelay_ = delay;
        }
        frameLastPts_ = pts;
    }
    if (audioPresent_) {
        // While the audio plays, a picture is due when the audio clock reaches its time.
        // Stepping the frame timer by whole frame delays alone would let the picture drift
        // up to a frame away from the sound before anything corrects it.
        const double ahead = pts - MasterClock();
        if (AudioClockRunning() && std::fabs(ahead) < DirectSyncRange) {
            std::lock_guard lock(videoMutex_);
            frameTimer_ = Now() + ahead;
            return frameTimer_;
        }
        const double diff = VideoClock() - MasterClock();
        const double threshold = std::max(SyncThreshold, delay);
        if (std::fabs(diff) < NoSyncThreshold) {
            if (diff <= -threshold) {
                delay = 0;
            } else if (diff >= threshold) {
                delay = 2 * delay;
            }
        }
    }
    std::lock_guard lock(videoMutex_);
    frameTimer_ += delay;
    return frameTimer_;
}

void TPlaybackClock::VideoFlushed() {
    std::lock_guard lock(videoMutex_);
    shownPos_ = -1;
    frameLastPts_ = NoFrameTime;
    frameLastDelay_ = 0;
    frameTimer_ = Now();
}

// ---- Display --------------------------------------------------------------------------------

void TPlaybackClock::PictureShown(double pts, std::int64_t pos, double now) {
    std::lock_guard lock(videoMutex_);
    shownPts_ = pts;
    shownDrift_ = pts - now;
    shownPos_ = pos;
}

double TPlaybackClock::ShownPts() const {
    std::lock_guard lock(videoMutex_);
    return shownPts_;
}

std::int64_t TPlaybackClock::ShownPosition() const {
    std::lock_guard lock(videoMutex_);
    return shownPos_;
}

double TPlaybackClock::VideoClock() const {
    std::lock_guard lock(videoMutex_);
    if (paused_) {
        return shownPts_;
    }
    if (shownDrift_ != 0) {
        return Now() + shownDrift_;
    }
    return startTime_;
}

double TPlaybackClock::MasterClock() const {
    return audioPresent_ ? AudioClock() : VideoClock();
}

// ---- Pause ----------------------------------------------------------------------------------

void TPlaybackClock::Resume(bool readingPaused) {
    std::lock_guard lock(videoMutex_);
    const double now = Now();
    frameTimer_ += now + shownDrift_ - shownPts_;
    if (readingPaused) {
        shownPts_ = shownDrift_ + now;
    }
    shownDrift_ = shownPts_ - now;
    paused_ = false;
}

} // namespace tessaro
