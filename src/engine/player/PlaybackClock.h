// The clocks of one playback: the audio clock (how far the sound the device plays has got),
// the video clock (the time of the picture on screen, moving on with the wall clock), the master
// clock the pictures are timed against (audio while there is audio), and the time at which each
// picture is due. The wall clock comes from a time source handed in, so the arithmetic can be
// driven without waiting for real time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace tessaro {

// Seconds on a monotonic clock.
using TTimeSource = std::function<double()>;

// The system's monotonic clock (the media libraries' av_gettime_relative), in seconds.
TTimeSource SystemTimeSource();

class TPlaybackClock {
public:
    explicit TPlaybackClock(TTimeSource now);
    TPlaybackClock(const TPlaybackClock&) = delete;
    TPlaybackClock& operator=(const TPlaybackClock&) = delete;

    double Now() const { return now_(); }

    // Opening: pictures are timed from now on; before the first picture the video clock stands
    // at the file's start time (set once the file is open).
    void Start(bool paused);
    void SetStartTime(double seconds);
    // Audio is the master clock while an audio stream plays.
    void SetAudioPresent(bool present) { audioPresent_ = present; }
    bool AudioPresent() const { return audioPresent_; }
    bool Paused() const { return paused_; }

    // ---- Audio: the audio callback's thread ----

    // A block of decoded samples, seconds long: pts is its time stamp, NaN when it has none (it
    // follows the previous block).
    void AudioDecoded(double pts, double seconds);
    // The time at the end of the decoded samples.
    double DecodedAudioEnd() const;
    // A callback handed realSeconds of samples, the first at firstPts, to the device at
    // callbackTime; the device plays them from then on.
    void AudioHandedOver(double firstPts, double realSeconds, double callbackTime);
    // A callback handed over silence only: the clock stays where the last real sample ended.
    void SilenceHandedOver();
    // The time of the sample the device plays now; before the first callback, the end of the
    // decoded samples.
    double AudioClock() const;

    // ---- Video: the decoding thread ----

    // The time of a decoded picture: its own stamp, or (stamp 0) the time predicted from the
    // pictures before it. The prediction then moves on by the picture's duration (a repeat
    // count adds half durations).
    double StampPicture(double pts, double frameDuration, int repeat);
    // The predicted time of the next decoded picture.
    double PredictedPictureTime() const { return predictedPts_; }
    // The wall-clock time at which the picture stamped pts is due.
    double PictureDue(double pts);
    // A seek flushed the decoder: the next picture starts the timing afresh.
    void VideoFlushed();

    // ---- Display: the event loop ----

    // The picture stamped pts (byte position pos) is shown at wall-clock time now.
    void PictureShown(double pts, std::int64_t pos, double now);
    double ShownPts() const;
    // The byte position of the shown picture; -1 before the first one after a seek.
    std::int64_t ShownPosition() const;
    // The shown picture's time moving on with the wall clock (frozen while paused).
    double VideoClock() const;
    double MasterClock() const;

    // ---- Pause: the caller's thread ----

    void Pause() { paused_ = true; }
    // Resumes timing from now. When the demuxer paused its reading (readingPaused), the
    // shown picture's time moves on by the paused time, as if playing had gone on, until the
    // next picture is shown.
    void Resume(bool readingPaused);

private:
    bool AudioClockRunning() const;

    TTimeSource now_;
    std::atomic<bool> paused_{false};
    std::atomic<bool> audioPresent_{false};
    std::atomic<double> startTime_{0};
    // The decoding thread's prediction; the event loop reads it.
    std::atomic<double> predictedPts_{0};

    // Audio; written by the audio callback, read from every thread.
    mutable std::mutex audioMutex_; // guards the fields below
    double decodedEnd_ = 0;
    double callbackPts_ = 0;    // time of the first sample handed over by the last callback
    double callbackPlayed_ = 0; // seconds of real samples it handed over
    double callbackTime_ = 0;   // when it was called
    bool callbackValid_ = false;

    // Video; the decoding thread times pictures, the event loop shows them, pausing shifts them.
    mutable std::mutex videoMutex_; // guards the fields below
    double frameTimer_ = 0;         // when the last timed picture is due
    double frameLastPts_ = 0;
    double frameLastDelay_ = 0;
    double shownPts_ = 0;
    double shownDrift_ = 0; // shownPts_ minus the wall-clock time it was shown at
    std::int64_t shownPos_ = -1;
};

} // namespace tessaro
