// The player component: plays one file into a drawing area the host supplies (or SDL's
// own window), reports duration, frame size, position and state changes as events, and
// offers pause, resume, seek, stop, volume, mute, a frame hook and the current picture.
#pragma once

#include "base/Bitmap.h"
#include "base/EngineComponent.h"
#include "player/VideoSurface.h"
#include "probe/MediaProbe.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tessaro {

enum TPlayState : int { psPlay, psPause, psResume, psStep, psStop, psEnd };

enum TAudioDriver : int { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver : int { vdDefault, vdDirectDraw, vdGDI };

// The SDL driver a driver choice selects ("" leaves SDL's own choice, or the
// environment's, in place): the sound-server and the plain device driver for audio,
// the X11 and the Wayland driver for video.
const char* AudioDriverName(TAudioDriver driver);
const char* VideoDriverName(TVideoDriver driver);

class TPlayerHost;

class TCustomPlayer : public TEngineComponent {
public:
    using TFileOpenEvent =
        std::function<void(TCustomPlayer* Sender, std::int64_t ADuration, int AFrameWidth,
                           int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
    using THookEvent =
        std::function<void(TCustomPlayer* Sender, TBitmap& ABitmap, std::int64_t APTS)>;
    using TPositionEvent = std::function<void(TCustomPlayer* Sender, std::int64_t APTS)>;
    using TPlayStateEvent = std::function<void(TCustomPlayer* Sender, TPlayState AState)>;
    // Sees every block of samples the audio callback hands to the audio device (on SDL's audio
    // thread): pts is the time of the first sample (NaN for silence the player made up),
    // playTime the wall clock (seconds) at which the device starts playing it.
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
    // Position in microseconds from the file start; Flags are the library's seek flags
    // (0: the key frame at or before Position; SeekAnyFrame: any frame).
    static constexpr std::uint8_t SeekAnyFrame = 4;
    void Seek(std::uint8_t Flags, bool Wait, std::int64_t Position);
    void SeekRelative(std::uint8_t Flags, bool Wait, double Seconds);
    // The picture due next as a 24-bit bitmap owned by the player (black at the coded
    // size before the first picture, 0 x 0 without video).
    TBitmap& GetCurrentFrame(std::int64_t& PTS);
    TBitmap& CurrentFrame();
    bool Paused() const;
    // The playing position the player last computed (microseconds from the file start; 0
    // before the first picture or sound has played).
    std::int64_t CurrentPosition() const;
    // Asks the event loop to lay the picture out again (after the drawing area changed).
    void Relayout();

    const std::string& LastError() const;
    TMediaProbe& Probe();
    TPlayState State() const;
    std::string FileName() const;

    // Settings (safe to change from the main thread while playing).
    float AspectRatio() const { return aspectRatio_; }
    void SetAspectRatio(float value);
    TAudioDriver AudioDriver() const { return audioDriver_; }
    void SetAudioDriver(TAudioDriver value) { audioDriver_ = value; }
    int AudioVolume() const { return audioVolume_; }
    void SetAudioVolume(int value) { audioVolume_ = std::clamp(value, 0, 128); }
    bool DisableAudio() const { return disableAudio_; }
    void SetDisableAudio(bool value) { disableAudio_ = value; }
    bool DisableVideo() const { return disableVideo_; }
    void SetDisableVideo(bool value) { disableVideo_ = value; }
    bool DisableDisplay() const { return disableDisplay_; }
    void SetDisableDisplay(bool value) { disableDisplay_ = value; }
    bool Mute() const { return mute_; }
    void SetMute(bool value) { mute_ = value; }
    int FrameWidth() const { return frameWidth_; }
    void SetFrameWidth(int value) { frameWidth_ = value; }
    int FrameHeight() const { return frameHeight_; }
    void SetFrameHeight(int value) { frameHeight_ = value; }
    bool Hook() const { return hook_; }
    void SetHook(bool value) { hook_ = value; }
    int ScreenWidth() const { return screenWidth_; }
    void SetScreenWidth(int value) { screenWidth_ = value; }
    int ScreenHeight() const { return screenHeight_; }
    void SetScreenHeight(int value) { screenHeight_ = value; }
    bool TriggerEventInMainThread() const { return triggerEventInMainThread_; }
    void SetTriggerEventInMainThread(bool value) { triggerEventInMainThread_ = value; }
    TVideoDriver VideoDriver() const { return videoDriver_; }
    void SetVideoDriver(TVideoDriver value) { videoDriver_ = value; }

    void SetOnFileOpen(TFileOpenEvent handler);
    void SetOnHook(THookEvent handler);
    void SetOnPosition(TPositionEvent handler);
    void SetOnState(TPlayStateEvent handler);
    void SetAudioTap(TAudioTap tap);

private:
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

    // Everything that plays: the playback core, the event loop and event threads, the hook
    // and the snapshot. Its threads read the settings above; it goes before them.
    std::unique_ptr<TPlayerHost> host_;
};

class TMediaPlayer : public TCustomPlayer {
public:
    using TCustomPlayer::TCustomPlayer;
};

} // namespace tessaro
