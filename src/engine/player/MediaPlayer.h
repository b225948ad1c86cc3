// The player component: plays one file into a drawing area the host supplies (or SDL's
// own window), reports duration, frame size, position and state changes as events, and
// offers pause, resume, seek, stop, volume, mute, a frame hook and the current picture.
#pragma once

#include "base/Bitmap.h"
#include "base/RGBConverter.h"
#include "player/PlaybackCore.h"
#include "player/VideoSurface.h"
#include "probe/MediaProbe.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaro {

enum TAudioDriver : int { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver : int { vdDefault, vdDirectDraw, vdGDI };

// The SDL driver a driver choice selects ("" leaves SDL's own choice, or the
// environment's, in place): the sound-server and the plain device driver for audio,
// the X11 and the Wayland driver for video.
const char* AudioDriverName(TAudioDriver driver);
const char* VideoDriverName(TVideoDriver driver);

class TSDLWindowSurface;
class TPlayerEventSession;

enum TNoticeKind : int { nkPosition = 1, nkState = 2, nkEnd = 3 };

// A notice for the player's event thread: a position, a state, or the end of delivery.
struct TNotice {
    int Kind = 0;
    TPlayState State = psPlay;
    std::int64_t Position = 0;
};

// The player's notices waiting for delivery (no lock of its own). It holds at most nine:
// a notice of the same kind as the newest waiting one replaces it, and when the ring is
// full the oldest is dropped, so a slow receiver sees the latest of everything.
class TNoticeRing {
public:
    static constexpr int Size = 10;
    void Queue(const TNotice& notice);
    // Takes the oldest waiting notice; false when none waits.
    bool Take(TNotice& notice);
    int Count() const;

private:
    TNotice ring_[Size];
    int read_ = 0;
    int write_ = 0;
};

class TCustomPlayer : public TPlaybackHost {
public:
    using TFileOpenEvent =
        std::function<void(TCustomPlayer* Sender, std::int64_t ADuration, int AFrameWidth,
                           int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
    using THookEvent =
        std::function<void(TCustomPlayer* Sender, TBitmap& ABitmap, std::int64_t APTS)>;
    using TPositionEvent = std::function<void(TCustomPlayer* Sender, std::int64_t APTS)>;
    using TPlayStateEvent = std::function<void(TCustomPlayer* Sender, TPlayState AState)>;
    // Sees every block of samples handed to the audio device (see TPlaybackHost).
    using TAudioTap = std::function<void(const std::int16_t* samples, int frames, int channels,
                                         double pts, double playTime)>;

    TCustomPlayer();
    TCustomPlayer(const TCustomPlayer&) = delete;
    TCustomPlayer& operator=(const TCustomPlayer&) = delete;
    ~TCustomPlayer() override;

    bool LoadLibraries(const std::string& LibraryDir);
    bool LibrariesLoaded() const;

    // Plays FileName in ScreenHandle (null: SDL's own window). OnFileOpen is raised
    // before it returns.
    bool Open(const std::string& FileName, TVideoSurface* ScreenHandle = nullptr,
              bool StartPaused = false);
    void Stop(bool WaitForEnd);
    void Pause();
    void Resume();
    // Position in microseconds from the file start; Flags are the library's seek flags.
    void Seek(std::uint8_t Flags, bool Wait, std::int64_t Position);
    void SeekRelative(std::uint8_t Flags, bool Wait, double Seconds);
    // The picture due next as a 24-bit bitmap owned by the player (black at the coded
    // size before the first picture, 0 x 0 without video).
    TBitmap& GetCurrentFrame(std::int64_t& PTS);
    TBitmap& CurrentFrame();
    bool Paused() const;
    // Asks the event loop to lay the picture out again (after the drawing area changed).
    void Relayout();

    const std::string& LastError() const { return lastError_; }
    TMediaProbe& Probe() override { return probe_; }
    TPlayState State() const { return currentState_; }
    std::string FileName() const { return fileName_; }

    // Settings (safe to change from the main thread while playing).
    float AspectRatio() const override { return aspectRatio_; }
    void SetAspectRatio(float value);
    TAudioDriver AudioDriver() const { return audioDriver_; }
    void SetAudioDriver(TAudioDriver value) { audioDriver_ = value; }
    int AudioVolume() const override { return audioVolume_; }
    void SetAudioVolume(int value) { audioVolume_ = std::clamp(value, 0, 128); }
    bool DisableAudio() const override { return disableAudio_; }
    void SetDisableAudio(bool value) { disableAudio_ = value; }
    bool DisableVideo() const override { return disableVideo_; }
    void SetDisableVideo(bool value) { disableVideo_ = value; }
    bool DisableDisplay() const override { return disableDisplay_; }
    void SetDisableDisplay(bool value) { disableDisplay_ = value; }
    bool Mute() const override { return mute_; }
    void SetMute(bool value) { mute_ = value; }
    int FrameWidth() const override { return frameWidth_; }
    void SetFrameWidth(int value) { frameWidth_ = value; }
    int FrameHeight() const override { return frameHeight_; }
    void SetFrameHeight(int value) { frameHeight_ = value; }
    bool Hook() const { return hook_; }
    void SetHook(bool value) { hook_ = value; }
    int ScreenWidth() const override { return screenWidth_; }
    void SetScreenWidth(int value) { screenWidth_ = value; }
    int ScreenHeight() const override { return screenHeight_; }
    void SetScreenHeight(int value) { screenHeight_ = value; }
    bool TriggerEventInMainThread() const { return triggerEventInMainThread_; }
    void SetTriggerEventInMainThread(bool value) { triggerEventInMainThread_ = value; }
    TVideoDriver VideoDriver() const { return videoDriver_; }
    void SetVideoDriver(TVideoDriver value) { videoDriver_ = value; }
    std::string About;
    static const char* Version() { return "2.3"; }

    void SetOnFileOpen(TFileOpenEvent handler);
    void SetOnHook(THookEvent handler);
    void SetOnPosition(TPositionEvent handler);
    void SetOnState(TPlayStateEvent handler);
    void SetAudioTap(TAudioTap tap);

    // TPlaybackHost, called by the playback core.
    TVideoSurface* Surface() override;
    void HookPicture(AVFrame* picture, std::int64_t pts) override;
    void UpdatePosition(TPlaybackState& state) override;
    void ReportState(TPlayState state) override;
    void Log(int level, const std::string& text) override;
    void SetLastError(const std::string& text) override { lastError_ = text; }
    void AudioConsumed(const std::int16_t* samples, int frames, int channels, double pts,
                       double playTime) override;

private:
    void ReportError(const std::string& text, bool keep);
    bool StartSDL(TVideoSurface* screenHandle);
    void RaiseFileOpen(TPlaybackState& state);
    void PlayThread(std::shared_ptr<TPlayerEventSession> session);
    bool HandleEvent(TPlaybackState& state, const SDL_Event& event);
    // Ends the playback of the open file; the player lock is held.
    void ClosePlayback();
    void QuitSDL();
    std::shared_ptr<TPlaybackState> CurrentState() const;
    std::shared_ptr<TPlayerEventSession> CurrentSession() const;
    void QueueNotice(int kind, TPlayState state, std::int64_t position);
    bool HasPositionHandler() const;
    void JoinFinishedThreads(bool waitForEventThread);

    // Settings.
    std::atomic<float> aspectRatio_{0.0f};
    std::atomic<TAudioDriver> audioDriver_{adDefault};
    std::atomic<int> audioVolume_{128};
    std::atomic<bool> disableAudio_{false};
    std::atomic<bool> disableVideo_{false};
    std::atomic<bool> disableDisplay_{false};
    std::atomic<bool> mute_{false};
    std::atomic<int> frameWidth_{0};
    std::atomic<int> frameHeight_{0};
    std::atomic<bool> hook_{false};
    std::atomic<int> screenWidth_{0};
    std::atomic<int> screenHeight_{0};
    std::atomic<bool> triggerEventInMainThread_{true};
    std::atomic<TVideoDriver> videoDriver_{vdDefault};

    // Handlers, copied under their lock before each call.
    mutable std::mutex handlersMutex_;
    TFileOpenEvent onFileOpen_;
    THookEvent onHook_;
    TPositionEvent onPosition_;
    TPlayStateEvent onState_;
    TAudioTap audioTap_;

    // The open file.
    mutable std::mutex stateMutex_;
    std::shared_ptr<TPlaybackState> state_;
    std::shared_ptr<TPlayerEventSession> session_;
    std::timed_mutex playerLock_;
    TManualEvent playThreadRunning_{true};
    std::thread playThread_;
    struct TEventThread {
        std::thread Thread;
        std::shared_ptr<TPlayerEventSession> Session;
    };
    std::vector<TEventThread> eventThreads_;
    TVideoSurface* screenHandle_ = nullptr;
    std::unique_ptr<TSDLWindowSurface> sdlSurface_;
    std::string fileName_;
    std::string lastError_;
    std::atomic<std::int64_t> lastReportedPosition_;
    std::atomic<std::int64_t> currentPosition_{0};
    std::atomic<TPlayState> currentState_{psStop};
    int displayWidth_ = 0;
    int displayHeight_ = 0;

    TMediaProbe probe_;
    std::unique_ptr<TRGBConverter> hookConverter_;
    std::unique_ptr<TRGBConverter> snapshotConverter_;
    TBitmap snapshot_;
};

class TMediaPlayer : public TCustomPlayer {
public:
    using TCustomPlayer::TCustomPlayer;
};

} // namespace tessaro
