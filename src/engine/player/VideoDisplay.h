// The event loop's side of one playback: the drawing area, showing each picture when it is
// due (with its subtitles), the waveform of a file without video, and the refresh timer that
// asks the event loop to look at the picture queue every few milliseconds.
#pragma once

#include "player/PlaybackControl.h"
#include "player/PlaybackHost.h"
#include "runtime/FFmpegPtr.h"

#include <functional>

namespace tessaro {

class TAudioOutput;
class TPictureQueue;
class TPlaybackClock;
class TSubtitleDecoder;
class TVideoDecoder;

class TVideoDisplay {
public:
    // positionChanged runs after each display the position may have moved with.
    TVideoDisplay(TPlaybackHost& host, TPlaybackControl& control, const TMediaFacts& facts,
                  TPlaybackClock& clock, TPictureQueue& pictures, const TVideoDecoder& video,
                  TSubtitleDecoder& subtitles, const TAudioOutput& audio,
                  std::function<void()> positionChanged);
    TVideoDisplay(const TVideoDisplay&) = delete;
    TVideoDisplay& operator=(const TVideoDisplay&) = delete;

    // ---- The event loop ----

    // Sets the drawing area up at the player's screen size, else the pictures' size, else
    // 640 x 480; unless forced, nothing happens when it already has that size. 0 or -1.
    int OpenWindow(bool force);
    // Draws the shown picture (or the waveform) again.
    void Display();
    // Shows the picture due, dropping late ones; fromRefreshEvent takes the shown picture out
    // of the queue (an expose or resize shows it again without).
    void Refresh(bool fromRefreshEvent);
    // The drawing area was resized.
    void Resized(int width, int height);
    // Marks the refresh event handled, so the timer posts the next one.
    void RefreshDone() { control_.RefreshPending = false; }
    void ReleasePicture() { display_.ShownPicture.reset(); }

    // ---- The refresh timer's thread ----

    // Posts a refresh event whenever none is pending, until abort is requested.
    void RunRefreshTimer();

private:
    // The event loop's state: no lock, only the event loop touches it.
    struct TDisplayState {
        int Width = 0;
        int Height = 0;
        int XLeft = 0;
        int YTop = 0;
        bool SurfaceOpened = false;
        AVFramePtr ShownPicture; // the picture on screen, kept for redrawing and subtitles
    };

    TDisplayRect PictureRect(const AVFrame* picture) const;
    void DrawWaveform();

    TPlaybackHost& host_;
    TPlaybackControl& control_;
    const TMediaFacts& facts_;
    TPlaybackClock& clock_;
    TPictureQueue& pictures_;
    const TVideoDecoder& video_;
    TSubtitleDecoder& subtitles_;
    const TAudioOutput& audio_;
    std::function<void()> positionChanged_;
    TDisplayState display_;
};

} // namespace tessaro
