// The video decoding thread of one playback: it decodes the video packets, runs each picture
// through a filter graph that makes it YUV 4:2:0, hands it to the frame hook, times it and
// queues it for the event loop.
#pragma once

#include "player/PlaybackControl.h"
#include "player/PlaybackHost.h"
#include "player/StreamDecoder.h"
#include "runtime/FFmpegPtr.h"

#include <atomic>
#include <functional>

namespace tessaro {

class TPacketQueue;
class TPictureQueue;
class TPlaybackClock;

class TVideoDecoder {
public:
    // endReached runs on the decoding thread when the end of the input has been decoded.
    TVideoDecoder(TPlaybackHost& host, TPlaybackControl& control, const TMediaFacts& facts,
                  TPacketQueue& packets, TPictureQueue& pictures, TPlaybackClock& clock,
                  std::function<void()> endReached);
    TVideoDecoder(const TVideoDecoder&) = delete;
    TVideoDecoder& operator=(const TVideoDecoder&) = delete;
    ~TVideoDecoder();

    // The reading thread starts decoding the stream of format, and stops it again.
    void Start(AVFormatContext* format, AVStream* stream, AVCodecContextPtr decoder);
    void Stop();

    // The stream decoded; null before Start and after Stop.
    AVStream* Stream() const { return component_.Stream(); }
    // The size of the filtered pictures; 0 before the first one.
    int PictureWidth() const { return pictureWidth_; }
    int PictureHeight() const { return pictureHeight_; }

private:
    // The decoding thread's state: no lock, only the decoding thread touches it (the size of
    // its pictures is published through the atomics below).
    struct TDecodingState {
        AVFormatContext* Format = nullptr;
        AVFilterGraphPtr FilterGraph;
        AVFilterContext* FilterSource = nullptr;
        AVFilterContext* FilterSink = nullptr;
        int FilterFormat = -1;
    };

    void Run();
    bool BuildFilterGraph(const AVFrame* frame);
    int ReceivePictures(AVFrame* frame, AVFrame* filtered);
    int FilterAndQueue(AVFrame* frame, AVFrame* filtered);
    int QueuePicture(AVFrame* picture, double pts, int repeat);
    double FrameDuration() const;
    void AfterPictureDecoded();
    void Flush();

    TPlaybackHost& host_;
    TPlaybackControl& control_;
    const TMediaFacts& facts_;
    TPacketQueue& packets_;
    TPictureQueue& pictures_;
    TPlaybackClock& clock_;
    std::function<void()> endReached_;
    TStreamDecoder component_;
    std::atomic<int> pictureWidth_{0};
    std::atomic<int> pictureHeight_{0};
    TDecodingState decoding_;
};

} // namespace tessaro
