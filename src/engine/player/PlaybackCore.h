// The playback core: plays one opened file for the player. A reading thread fills
// three packet queues, a video thread decodes pictures into a two-entry picture
// queue, a subtitle thread decodes subpictures, SDL's audio thread pulls decoded
// audio through the audio callback, and a refresh thread paces the display, which
// the player's event loop performs. Audio is the master clock.
#pragma once

#include "base/ManualEvent.h"
#include "io/CustomIO.h"
#include "player/MediaPlayer.h"
#include "player/VideoSurface.h"
#include "runtime/Bindings.h"
#include "runtime/FFmpegPtr.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <SDL2/SDL.h>

namespace tessaro {

class TMediaProbe;
struct TPlaybackState;

// The event loop's own SDL events.
inline constexpr Uint32 RefreshEventType = SDL_USEREVENT + 1;
inline constexpr Uint32 QuitPlaybackEventType = SDL_USEREVENT + 2;
inline constexpr Uint32 RelayoutEventType = SDL_USEREVENT + 3;

// Seek flags (the library's values): backward 1, byte 2, any frame 4, frame number 8.
inline constexpr int SeekFlagsMask = 0x0F;

// One queued entry: a packet, the flush marker (the decoder must flush) or the end
// marker (an empty packet: drain the decoder).
struct TQueuedPacket {
    AVPacketPtr Packet;
    bool Flush = false;
};

class TPacketQueue {
public:
    TPacketQueue() = default;
    TPacketQueue(const TPacketQueue&) = delete;
    TPacketQueue& operator=(const TPacketQueue&) = delete;
    ~TPacketQueue() { Clear(); }

    // Makes the queue usable again and puts the flush marker first.
    void Start();
    // Takes a reference to packet's data (the caller keeps its packet).
    void Put(AVPacket* packet);
    void PutFlush();
    void PutEnd();
    // -1 when aborted, 0 when empty and not blocking, 1 with an entry.
    int Get(TQueuedPacket& entry, bool block);
    void Clear();
    void Abort();
    bool Aborted() const;
    std::int64_t Bytes() const;
    int Count() const;

private:
    void Append(TQueuedPacket entry, int size);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TQueuedPacket> entries_;
    std::int64_t bytes_ = 0;
    bool abort_ = false;
};

// What the core needs from the player: its settings, its drawing area, the frame
// hook, position and state reporting, error reporting and its shared events.
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

    virtual TVideoSurface* Surface() = 0;
    // Runs the frame hook on a YUV 4:2:0 picture (on the video thread); pts is in
    // microseconds from the file start.
    virtual void HookPicture(AVFrame* picture, std::int64_t pts) = 0;
    virtual void UpdatePosition(TPlaybackState& state) = 0;
    virtual void ReportState(TPlayState state) = 0;
    // Logs at Level with the player as sender.
    virtual void Log(int level, const std::string& text) = 0;
    virtual void SetLastError(const std::string& text) = 0;
    virtual TMediaProbe& Probe() = 0;
    // Sees every block of samples the audio callback hands to the device.
    // pts is the time of the first sample (NaN for silence the player made up), playTime
    // the wall clock (seconds, av_gettime_relative) at which the device starts playing it.
    virtual void AudioConsumed(const std::int16_t* samples, int frames, int channels, double pts,
                               double playTime) = 0;

    TManualEvent SeekDone{true};
    TManualEvent FrameDecoded{true};
    std::atomic<bool> Seeking{false};
    std::atomic<bool> Step{false};
};

struct TPictureSlot {
    double Pts = 0;
    double Target = 0;
    std::int64_t Pos = -1;
    AVFramePtr Frame; // YUV 4:2:0, owned by the slot while queued
    int Width = 0;
    int Height = 0;
    bool Allocated = false;
};

struct TSubPicture {
    double Pts = 0;
    AVSubtitle Subtitle{};
    bool Filled = false;
};

struct TPlaybackState {
    TPlaybackState() = default;
    TPlaybackState(const TPlaybackState&) = delete;
    TPlaybackState& operator=(const TPlaybackState&) = delete;
    ~TPlaybackState();

    TPlaybackHost* Host = nullptr;
    std::string FileName;
    CustomAVIOContextPtr FormatIO; // set for "unicode:" names; outlives Format
    AVInputFormatContextPtr Format;
    std::string SubpicturePalette; // DVD titles: the subpicture decoder's colours

    int AudioIndex = -1;
    int VideoIndex = -1;
    int SubtitleIndex = -1;
    // Set by the reading thread when a component opens and cleared when it closes, while the
    // display, decoding and audio threads look at them.
    std::atomic<AVStream*> AudioStream{nullptr};
    std::atomic<AVStream*> VideoStream{nullptr};
    std::atomic<AVStream*> SubtitleStream{nullptr};
    AVCodecContextPtr AudioDecoder;
    AVCodecContextPtr VideoDecoder;
    AVCodecContextPtr SubtitleDecoder;
    TPacketQueue AudioQueue;
    TPacketQueue VideoQueue;
    TPacketQueue SubtitleQueue;

    // Audio (the callback runs on SDL's audio thread).
    SDL_AudioDeviceID AudioDevice = 0;
    int AudioChannels = 0;
    int AudioRate = 0;
    int AudioHardwareBufferSize = 0;
    std::vector<std::uint8_t> AudioBuffer; // signed 16-bit interleaved samples
    std::size_t AudioBufferIndex = 0;
    bool AudioBufferSilent = false;
    std::size_t AudioUnplayedBytes = 0; // left in AudioBuffer after a callback; AudioClockMutex
    double AudioClockValue = 0;         // time of the end of the decoded samples
    SwrContextPtr AudioConverter;
    int AudioSourceFormat = -1;
    int AudioSourceRate = 0;
    AVChannelLayout AudioSourceLayout{};
    bool AudioDecoderDraining = false;
    AVFramePtr AudioFrame;
    std::vector<std::int16_t> SampleArray; // recent samples for the waveform
    std::size_t SampleArrayIndex = 0;
    std::atomic<int> ShowMode{0}; // 0 none, 1 waveform, 2 spectrum
    std::mutex AudioClockMutex;
    double CallbackPts = 0;        // time of the first sample handed over by the last callback
    double CallbackPlayed = 0;     // seconds of real samples it handed over
    std::int64_t CallbackTime = 0; // wall clock of that callback, microseconds
    bool CallbackValid = false;

    // Video. ClockMutex guards the frame timer and the current picture's time.
    std::mutex ClockMutex;
    double FrameTimer = 0;
    double FrameLastPts = 0;
    double FrameLastDelay = 0;
    std::atomic<double> VideoClockValue{0};
    double VideoCurrentPts = 0;
    double VideoCurrentPtsDrift = 0;
    std::int64_t VideoCurrentPos = -1;
    TPictureSlot Pictures[2];
    int PictureSize = 0;
    int PictureRead = 0;
    int PictureWrite = 0;
    std::mutex PictureMutex;
    std::condition_variable PictureChanged;
    AVFilterGraphPtr FilterGraph;
    AVFilterContext* FilterSource = nullptr;
    AVFilterContext* FilterSink = nullptr;
    int FilterWidth = 0;
    int FilterHeight = 0;
    int FilterFormat = -1;
    double SkipFactor = 1.0; // guarded by PictureMutex
    double SkipCounter = 0;
    std::atomic<bool> RefreshPending{false};
    AVFramePtr ShownPicture; // the picture on screen, kept for redrawing and subtitles

    // Subtitles.
    TSubPicture SubPictures[4];
    int SubPictureSize = 0;
    int SubPictureRead = 0;
    int SubPictureWrite = 0;
    std::mutex SubPictureMutex;
    std::condition_variable SubPictureChanged;
    std::atomic<bool> SubtitleStreamChanged{false};

    // Drawing area.
    int Width = 0;
    int Height = 0;
    int XLeft = 0;
    int YTop = 0;
    bool SurfaceOpened = false;

    // Control, shared between the threads.
    std::atomic<bool> AbortRequest{false};
    std::atomic<bool> Paused{false};
    bool LastPaused = false;
    std::atomic<int> ReadPauseReturn{0};
    std::atomic<bool> SeekRequest{false};
    int SeekFlags = 0;
    std::int64_t SeekTarget = 0;
    std::int64_t SeekRelative = 0;

    // Bookkeeping.
    std::atomic<int> OpenResult{0}; // 0 pending, 1 opened, -1 failed, -2 failed and finished
    std::int64_t StartTime = 0;     // microseconds
    std::int64_t Duration = -1;     // microseconds
    std::int64_t AudioDuration = -1;
    bool ImageSequence = false;
    bool Capture = false;
    bool EofLogged = false;
    std::atomic<bool> EndReported{false};
    std::atomic<bool> Drained{false};
    std::atomic<bool> InsideRead{false};
    std::atomic<int> OpenPaused{0};
    std::atomic<bool> PausedAtSeek{false};
    std::atomic<bool> StalePictures{false};
    std::atomic<bool> FirstFrameAfterFlush{false};

    std::thread ReadThread;
    std::thread VideoThread;
    std::thread SubtitleThread;
    std::thread RefreshThread;
};

// Opens FileName and starts the threads; null on failure (the text is the host's last error).
std::shared_ptr<TPlaybackState> OpenStream(TPlaybackHost& host, const std::string& fileName,
                                           bool paused);
// Stops every thread of the state and releases everything it holds.
void CloseStream(TPlaybackState& state);
void TogglePause(TPlaybackState& state);
void RequestSeek(TPlaybackState& state, int flags, bool wait, std::int64_t target,
                 std::int64_t relative);
double AudioClock(TPlaybackState& state);
double VideoClock(TPlaybackState& state);
double MasterClock(TPlaybackState& state);

// Event-loop side (the player's play thread).
int OpenWindow(TPlaybackState& state, bool force);
void DisplayPicture(TPlaybackState& state);
void RefreshDisplay(TPlaybackState& state, bool fromRefreshEvent);
void RequestQuit();
void RequestRelayout();
// A new reference to the picture due next (null when there is none) and its time.
AVFramePtr CurrentPicture(TPlaybackState& state, double& pts);

// The wall clock in seconds.
double WallClock();

} // namespace tessaro
