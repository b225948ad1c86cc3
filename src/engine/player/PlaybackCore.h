// The playback core: plays one opened file for the player. A reading thread fills three
// packet queues, a video thread decodes pictures into a two-entry picture queue, a subtitle
// thread decodes subpictures, SDL's audio thread pulls decoded audio through the audio
// callback, and a refresh thread paces the display, which the player's event loop performs.
// Audio is the master clock. Each thread keeps its own state in its own part; what they share
// are the queues (each with its lock), the clock (with its locks) and the control flags.
#pragma once

#include "player/AudioOutput.h"
#include "player/MediaReader.h"
#include "player/PacketQueue.h"
#include "player/PictureQueue.h"
#include "player/PlaybackClock.h"
#include "player/PlaybackControl.h"
#include "player/PlaybackHost.h"
#include "player/SubtitleDecoder.h"
#include "player/VideoDecoder.h"
#include "player/VideoDisplay.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace tessaro {

class TPlaybackCore {
public:
    // Opens FileName and starts the threads; null on failure (the text is the host's last
    // error). Pictures are timed by the time source.
    static std::shared_ptr<TPlaybackCore> Open(TPlaybackHost& host, const std::string& fileName,
                                               bool paused, TTimeSource time = SystemTimeSource());
    TPlaybackCore(const TPlaybackCore&) = delete;
    TPlaybackCore& operator=(const TPlaybackCore&) = delete;
    ~TPlaybackCore();

    // Stops every thread and releases everything the playback holds.
    void Close();

    void TogglePause();
    bool Paused() const { return clock_.Paused(); }
    // Seeks to target (microseconds, or bytes with the byte flag); relative is the distance
    // asked for, which bounds the seek on the other side. Ignored while a seek is pending.
    // With wait, returns once the seek is done and, with video, its picture decoded.
    void RequestSeek(int flags, bool wait, std::int64_t target, std::int64_t relative);

    double AudioClock() const { return clock_.AudioClock(); }
    double VideoClock() const { return clock_.VideoClock(); }
    double MasterClock() const { return clock_.MasterClock(); }
    // The byte position of the shown picture; -1 when none was shown since the last seek.
    std::int64_t ShownPosition() const { return clock_.ShownPosition(); }

    const TMediaFacts& Facts() const { return facts_; }
    AVFormatContext* Format() const { return reader_.Format(); }
    AVStream* VideoStream() const { return video_.Stream(); }
    AVStream* AudioStream() const { return audio_.Stream(); }
    std::int64_t AudioDuration() const { return audio_.Duration(); }
    bool InsideRead() const { return control_.InsideRead; }
    bool Drained() const { return control_.Drained; }
    bool EndReported() const { return control_.EndReported; }
    void MarkEndReported() { control_.EndReported = true; }

    // The event loop's side.
    TVideoDisplay& Display() { return display_; }
    // A new reference to the picture due next (null when there is none) and its time.
    AVFramePtr CurrentPicture(double& pts) { return pictures_.Head(pts); }

private:
    TPlaybackCore(TPlaybackHost& host, const std::string& fileName, TTimeSource time);

    TPlaybackHost& host_;
    TPlaybackControl control_;
    TMediaFacts facts_;
    TPlaybackClock clock_;
    TPacketQueue audioPackets_;
    TPacketQueue videoPackets_;
    TPacketQueue subtitlePackets_;
    TPictureQueue pictures_;
    TAudioOutput audio_;
    TVideoDecoder video_;
    TSubtitleDecoder subtitles_;
    TVideoDisplay display_;
    TMediaReader reader_;
    std::thread readThread_;
    std::thread refreshThread_;
};

// Ask the player's event loop to end playback, or to lay the picture out again.
void RequestQuit();
void RequestRelayout();

} // namespace tessaro
