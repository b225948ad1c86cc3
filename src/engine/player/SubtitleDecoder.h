// The subtitle decoding thread of one playback and its queue of four decoded subpictures,
// which the event loop blends into the pictures it shows while they are due.
#pragma once

#include "player/PlaybackControl.h"
#include "player/PlaybackHost.h"
#include "player/StreamDecoder.h"
#include "runtime/FFmpegPtr.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tessaro {

class TPacketQueue;
class TPlaybackClock;

class TSubtitleDecoder {
public:
    static constexpr int QueueSize = 4;

    TSubtitleDecoder(TPlaybackHost& host, const TPlaybackControl& control, TPacketQueue& packets,
                     const TPlaybackClock& clock);
    TSubtitleDecoder(const TSubtitleDecoder&) = delete;
    TSubtitleDecoder& operator=(const TSubtitleDecoder&) = delete;
    ~TSubtitleDecoder();

    // The reading thread starts decoding the stream, and stops it again.
    void Start(AVStream* stream, AVCodecContextPtr decoder);
    void Stop();
    AVStream* Stream() const { return component_.Stream(); }

    // The event loop drops the subpictures that have ended or were replaced by the time of
    // the shown picture, and blends the one due into it.
    void Advance(double currentPts);
    void BlendDue(AVFrame* picture, double pts);

private:
    struct TSubPicture {
        double Pts = 0;
        AVSubtitle Subtitle{};
        bool Filled = false;
    };

    void Run();
    void DropHead();

    TPlaybackHost& host_;
    const TPlaybackControl& control_;
    TPacketQueue& packets_;
    const TPlaybackClock& clock_;
    TStreamDecoder component_;

    // The decoded subpictures: the decoding thread fills the write slot, the event loop takes
    // them; a changed stream empties the queue.
    std::mutex mutex_; // guards the queue's counts and indexes
    std::condition_variable changed_;
    TSubPicture queue_[QueueSize];
    int size_ = 0;
    int read_ = 0;
    int write_ = 0;
    std::atomic<bool> streamChanged_{false};
};

} // namespace tessaro
