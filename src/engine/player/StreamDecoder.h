// The decoder of one chosen stream and, for video and subtitles, the thread that runs it. The
// reading thread hands it the opened decoder and takes it back when playback closes.
#pragma once

#include "player/PlaybackHost.h"
#include "runtime/FFmpegPtr.h"

#include <atomic>
#include <functional>
#include <thread>

namespace tessaro {

class TPacketQueue;

class TStreamDecoder {
public:
    TStreamDecoder() = default;
    TStreamDecoder(const TStreamDecoder&) = delete;
    TStreamDecoder& operator=(const TStreamDecoder&) = delete;
    ~TStreamDecoder();

    // Keeps the stream and its opened decoder; the demuxer reads the stream again.
    void Take(AVStream* stream, AVCodecContextPtr decoder);
    // Runs body on a thread of its own, logging what escapes it under name.
    void StartThread(TPlaybackHost& host, const char* name, std::function<void()> body);
    // Ends the thread: aborts its packet queue, wakes it wherever else it may wait (wake),
    // waits for it and empties the queue.
    void StopThread(TPacketQueue& packets, const std::function<void()>& wake);
    // The demuxer discards the stream again; the decoder is closed under the codec lock.
    void Release();

    // Null before Take and after Release.
    AVStream* Stream() const { return stream_; }
    AVCodecContext* Decoder() const { return decoder_.get(); }

private:
    std::atomic<AVStream*> stream_{nullptr};
    AVCodecContextPtr decoder_; // used by the decoding thread only while it runs
    std::thread thread_;
};

} // namespace tessaro
