// The reading thread of one playback: it opens the file and the decoders of the streams it
// chooses, then reads packets into the three packet queues, performs seeks, follows pauses and
// notices the end; when playback closes it closes the decoders and the file.
#pragma once

#include "io/CustomIO.h"
#include "player/PlaybackControl.h"
#include "player/PlaybackHost.h"
#include "runtime/FFmpegPtr.h"

#include <atomic>
#include <string>

namespace tessaro {

class TAudioOutput;
class TPacketQueue;
class TPlaybackClock;
class TSubtitleDecoder;
class TVideoDecoder;

// The packet queues the reader fills, one per stream kind.
struct TPacketQueues {
    TPacketQueue& Audio;
    TPacketQueue& Video;
    TPacketQueue& Subtitle;
};

class TMediaReader {
public:
    TMediaReader(TPlaybackHost& host, TPlaybackControl& control, TMediaFacts& facts,
                 TPlaybackClock& clock, TPacketQueues packets, TAudioOutput& audio,
                 TVideoDecoder& video, TSubtitleDecoder& subtitles);
    TMediaReader(const TMediaReader&) = delete;
    TMediaReader& operator=(const TMediaReader&) = delete;

    // The reading thread's body; it returns once abort is requested (or opening failed).
    void Run();
    // The opened demuxer context; null before the file is open and after it is closed.
    AVFormatContext* Format() const { return format_; }

private:
    // The reading thread's state: no lock, only the reading thread touches it.
    struct TReadingState {
        CustomAVIOContextPtr FormatIO; // set for "unicode:" names; outlives Format
        AVInputFormatContextPtr Format;
        std::string SubpicturePalette; // DVD titles: the subpicture decoder's colours
        int AudioIndex = -1;
        int VideoIndex = -1;
        int SubtitleIndex = -1;
        bool LastPaused = false;
        bool EofLogged = false;
    };

    static int DecodeInterrupt(void* opaque);
    bool OpenInput();
    bool OpenComponent(int index);
    void CloseComponents();
    void PerformSeek(bool& endOfFile);
    bool QueuesHaveEnough() const;
    std::int64_t QueuedBytes() const;
    void ReadLoop();

    TPlaybackHost& host_;
    TPlaybackControl& control_;
    TMediaFacts& facts_;
    TPlaybackClock& clock_;
    TPacketQueues packets_;
    TAudioOutput& audio_;
    TVideoDecoder& video_;
    TSubtitleDecoder& subtitles_;
    TReadingState reading_;
    std::atomic<AVFormatContext*> format_{nullptr}; // reading_.Format, for the other threads
};

} // namespace tessaro
