// The working part of the player component: it opens and closes the playback core, runs the
// event loop (the play thread) and the event threads that deliver notices, answers what the
// core asks of the player (settings, drawing area, frame hook, position and state reports) and
// takes the snapshots. The component's public class only keeps the settings and forwards.
#pragma once

#include "base/ManualEvent.h"
#include "player/MediaPlayer.h"
#include "player/PlaybackHost.h"
#include "runtime/RGBConverter.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

union SDL_Event;

namespace tessaro {

class TPlaybackCore;
class TPlayerEventSession;
class TSDLWindowSurface;

class TPlayerHost final : public TPlaybackHost {
public:
    explicit TPlayerHost(TCustomPlayer& owner);
    TPlayerHost(const TPlayerHost&) = delete;
    TPlayerHost& operator=(const TPlayerHost&) = delete;
    ~TPlayerHost() override;

    bool LoadLibraries(const std::string& libraryDir);
    bool Open(const std::string& fileName, TVideoSurface* screenHandle, bool startPaused);
    void Stop(bool waitForEnd);
    void Pause();
    void Resume();
    void Seek(std::uint8_t flags, bool wait, std::int64_t position);
    void SeekRelative(std::uint8_t flags, bool wait, double seconds);
    TBitmap& GetCurrentFrame(std::int64_t& pts);
    bool Paused() const;
    std::int64_t CurrentPosition() const { return currentPosition_; }
    // Asks the event loop to lay the picture out again when a file is open.
    void Relayout();

    const std::string& LastError() const { return lastError_; }
    TPlayState State() const { return currentState_; }
    std::string FileName() const { return fileName_; }

    void SetOnFileOpen(TCustomPlayer::TFileOpenEvent handler);
    void SetOnHook(TCustomPlayer::THookEvent handler);
    void SetOnPosition(TCustomPlayer::TPositionEvent handler);
    void SetOnState(TCustomPlayer::TPlayStateEvent handler);
    void SetAudioTap(TCustomPlayer::TAudioTap tap);
    // No more events: the handlers' owners may be going.
    void ClearEventHandlers();

    // TPlaybackHost, called by the playback core.
    bool DisableAudio() const override { return owner_.DisableAudio(); }
    bool DisableVideo() const override { return owner_.DisableVideo(); }
    bool DisableDisplay() const override { return owner_.DisableDisplay(); }
    int ScreenWidth() const override { return owner_.ScreenWidth(); }
    int ScreenHeight() const override { return owner_.ScreenHeight(); }
    float AspectRatio() const override { return owner_.AspectRatio(); }
    int AudioVolume() const override { return owner_.AudioVolume(); }
    bool Mute() const override { return owner_.Mute(); }
    int FrameWidth() const override { return owner_.FrameWidth(); }
    int FrameHeight() const override { return owner_.FrameHeight(); }
    TVideoSurface* Surface() override;
    void HookPicture(AVFrame* picture, std::int64_t pts) override;
    void UpdatePosition(TPlaybackCore& core) override;
    void ReportState(TPlayState state) override;
    void Log(int level, const std::string& text) override;
    void SetLastError(const std::string& text) override { lastError_ = text; }
    TMediaProbe& Probe() override { return probe_; }
    void AudioConsumed(const std::int16_t* samples, int frames, int channels, double pts,
                       double playTime) override;

private:
    void ReportError(const std::string& text, bool keep);
    bool StartSDL(TVideoSurface* screenHandle);
    void RaiseFileOpen(TPlaybackCore& core);
    void StartEventThread(std::shared_ptr<TPlayerEventSession> session);
    void DeliverNotices(TPlayerEventSession& session);
    void PlayThread(std::shared_ptr<TPlayerEventSession> session);
    bool HandleEvent(TPlaybackCore& core, const SDL_Event& event);
    // Ends the playback of the open file; the player lock is held.
    void ClosePlayback();
    void QuitSDL();
    std::shared_ptr<TPlaybackCore> CurrentCore() const;
    std::shared_ptr<TPlayerEventSession> CurrentSession() const;
    void QueueNotice(int kind, TPlayState state, std::int64_t position);
    bool HasPositionHandler() const;
    void JoinFinishedThreads(bool waitForEventThread);

    TCustomPlayer& owner_;

    // Handlers, copied under their lock before each call.
    mutable std::mutex handlersMutex_;
    TCustomPlayer::TFileOpenEvent onFileOpen_;
    TCustomPlayer::THookEvent onHook_;
    TCustomPlayer::TPositionEvent onPosition_;
    TCustomPlayer::TPlayStateEvent onState_;
    TCustomPlayer::TAudioTap audioTap_;

    // The open file.
    mutable std::mutex coreMutex_;
    std::shared_ptr<TPlaybackCore> core_;
    std::shared_ptr<TPlayerEventSession> session_;
    std::mutex playerLock_; // held by the event loop while it handles one event
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

} // namespace tessaro
