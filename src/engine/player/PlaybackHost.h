// What the playback core needs from the player: its settings, its drawing area, the frame
// hook, position and state reporting, logging and error texts, its probe.
#pragma once

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "player/MediaPlayer.h"
#include "player/VideoSurface.h"

#include <cstdint>
#include <exception>
#include <string>

struct AVFrame;

namespace tessaro {

class TPlaybackCore;

class TPlaybackHost {
public:
    virtual ~TPlaybackHost() = default;

    virtual bool DisableAudio() const = 0;
    virtual bool DisableVideo() const = 0;
    virtual bool DisableDisplay() const = 0;
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    virtual float AspectRatio() const = 0;
    virtual int AudioVolume() const = 0;
    virtual bool Mute() const = 0;
    virtual int FrameWidth() const = 0;
    virtual int FrameHeight() const = 0;

    // Null when display is disabled.
    virtual TVideoSurface* Surface() = 0;
    // Runs the frame hook on a YUV 4:2:0 picture (on the video thread); pts is in
    // microseconds from the file start.
    virtual void HookPicture(AVFrame* picture, std::int64_t pts) = 0;
    // After each timed display and when the video decoder meets the end.
    virtual void UpdatePosition(TPlaybackCore& core) = 0;
    virtual void ReportState(TPlayState state) = 0;
    // Logs at Level with the player as sender.
    virtual void Log(int level, const std::string& text) = 0;
    virtual void SetLastError(const std::string& text) = 0;
    virtual TMediaProbe& Probe() = 0;
    // Sees every block of samples the audio callback hands to the device.
    // pts is the time of the first sample (NaN for silence the player made up), playTime
    // the wall clock (seconds) at which the device starts playing it.
    virtual void AudioConsumed(const std::int16_t* samples, int frames, int channels, double pts,
                               double playTime) = 0;
};

// Runs a playback thread's body, logging what escapes it instead of ending the process.
template <typename Body> void RunGuarded(TPlaybackHost& host, const char* name, Body body) {
    try {
        body();
    } catch (const std::exception& e) {
        host.Log(llError, FormatText("%s: %s", name, e.what()));
    }
}

} // namespace tessaro
