#include "player/MediaPlayer.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/MainThread.h"
#include "player/SDLWindowSurface.h"
#include "runtime/LibraryLoader.h"
#include "runtime/SDLBindings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>

namespace tessaro {

using namespace std::chrono_literals;

namespace {

constexpr std::int64_t NoPosition = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t PositionStep = 10000; // microseconds between two position notices
constexpr int StopRoundsWhileReading = 10;
constexpr int StopRoundsAtMost = 20;

// Set while this thread delivers a player event, so that a handler that stops or
// reopens the player does not wait for the thread it is running on.
thread_local bool DeliveringEvent = false;

} // namespace

// The notices of one opened file, for the thread that delivers them.
class TPlayerEventSession {
public:
    void Queue(const TNotice& notice) {
        {
            std::lock_guard lock(mutex_);
            ring_.Queue(notice);
        }
        notEmpty_.Set();
    }

    bool Take(TNotice& notice) {
        std::lock_guard lock(mutex_);
        const bool taken = ring_.Take(notice);
        if (ring_.Count() == 0) {
            notEmpty_.Reset();
        }
        return taken;
    }

    void WaitForNotice() { notEmpty_.Wait(100ms); }

    // Hands state to report in the order the session's states must be seen: psPlay from the
    // play thread first. A player opened paused may decode its two pictures and report
    // psPause before the play thread has started; such a state waits for psPlay (the latest
    // one only, as the ring would keep it) instead of being replaced by it.
    template <typename Report> void ReportStateInOrder(TPlayState state, Report&& report) {
        std::lock_guard lock(stateOrderMutex_);
        if (state == psPlay) {
            playReported_ = true;
            report(psPlay);
            if (heldState_) {
                report(*heldState_);
                heldState_.reset();
            }
        } else if (!playReported_ && state != psStop) {
            heldState_ = state;
        } else {
            report(state);
        }
    }

    std::atomic<bool> Finished{false};

private:
    std::mutex mutex_;
    TNoticeRing ring_;
    TManualEvent notEmpty_;
    std::mutex stateOrderMutex_;
    bool playReported_ = false;
    std::optional<TPlayState> heldState_;
};

void TNoticeRing::Queue(const TNotice& notice) {
    const int newest = (write_ + Size - 1) % Size;
    if (read_ != write_ && ring_[newest].Kind == notice.Kind) {
        ring_[newest] = notice;
        return;
    }
    ring_[write_] = notice;
    write_ = (write_ + 1) % Size;
    if (write_ == read_) {
        read_ = (read_ + 1) % Size;
    }
}

bool TNoticeRing::Take(TNotice& notice) {
    if (read_ == write_) {
        return false;
    }
    notice = ring_[read_];
    read_ = (read_ + 1) % Size;
    return true;
}

int TNoticeRing::Count() const {
    return (write_ + Size - read_) % Size;
}

const char* AudioDriverName(TAudioDriver driver) {
    switch (driver) {
    case adDirectSound:
        return "pulseaudio";
    case adWaveOut:
        return "alsa";
    default:
        return "";
    }
}

const char* VideoDriverName(TVideoDriver driver) {
    switch (driver) {
    case vdDirectDraw:
        return "x11";
    case vdGDI:
        return "wayland";
    default:
        return "";
    }
}

TCustomPlayer::TCustomPlayer()
    : lastReportedPosition_(NoPosition), hookConverter_(std::make_unique<TRGBConverter>()),
      snapshotConverter_(std::make_unique<TRGBConverter>()) {}

TCustomPlayer::~TCustomPlayer() {
    {
        std::lock_guard lock(handlersMutex_);
        onPosition_ = nullptr;
        onState_ = nullptr;
        onHook_ = nullptr;
    }
    Stop(true);
    JoinFinishedThreads(true);
}

bool TCustomPlayer::LoadLibraries(const std::string& LibraryDir) {
    TLibraryLoader& loader = TLibraryLoader::Instance();
    loader.SetLibraryDir(LibraryDir);
    if (!loader.LoadLibSet(PlayerLibraries)) {
        lastError_ = loader.LastErrorText();
        return false;
    }
    return true;
}

bool TCustomPlayer::LibrariesLoaded() const {
    return TLibraryLoader::Instance().IsLibSetLoaded(PlayerLibraries);
}

void TCustomPlayer::SetOnFileOpen(TFileOpenEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onFileOpen_ = std::move(handler);
}
void TCustomPlayer::SetOnHook(THookEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onHook_ = std::move(handler);
}
void TCustomPlayer::SetOnPosition(TPositionEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onPosition_ = std::move(handler);
}
void TCustomPlayer::SetOnState(TPlayStateEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onState_ = std::move(handler);
}
void TCustomPlayer::SetAudioTap(TAudioTap tap) {
    std::lock_guard lock(handlersMutex_);
    audioTap_ = std::move(tap);
}

void TCustomPlayer::SetAspectRatio(float value) {
    if (value == aspectRatio_) {
        return;
    }
    aspectRatio_ = value;
    if (CurrentState()) {
        RequestRelayout();
    }
}

void TCustomPlayer::Relayout() {
    if (CurrentState()) {
        RequestRelayout();
    }
}

std::shared_ptr<TPlaybackState> TCustomPlayer::CurrentState() const {
    std::lock_guard lock(stateMutex_);
    return state_;
}

std::shared_ptr<TPlayerEventSession> TCustomPlayer::CurrentSession() const {
    std::lock_guard lock(stateMutex_);
    return session_;
}

void TCustomPlayer::Log(int level, const std::string& text) {
    TEngineLogger::GetLogger().Log(this, level, text);
}

void TCustomPlayer::ReportError(const std::string& text, bool keep) {
    Log(llError, text);
    if (keep) {
        lastError_ = text;
    }
}

TVideoSurface* TCustomPlayer::Surface() {
    if (disableDisplay_) {
        return nullptr;
    }
    return screenHandle_ != nullptr ? screenHandle_ : sdlSurface_.get();
}

// ---- Opening ---------------------------------------------------------------------------

bool TCustomPlayer::StartSDL(TVideoSurface* screenHandle) {
    // The host draws the pictures itself; SDL's video part is needed only for its own window.
    Uint32 flags = SDL_INIT_AUDIO | SDL_INIT_TIMER | SDL_INIT_EVENTS;
    if (screenHandle == nullptr && !disableDisplay_) {
        flags |= SDL_INIT_VIDEO;
    }
    if (sdl::SDL_Init(flags) != 0) {
        return false;
    }
    if (const char* audio = sdl::SDL_GetCurrentAudioDriver()) {
        Log(llDebug, FormatText("using audio driver: %s\n", audio));
    }
    if (const char* video = sdl::SDL_GetCurrentVideoDriver()) {
        Log(llDebug, FormatText("using video driver: %s\n", video));
    }
    return true;
}

void TCustomPlayer::QuitSDL() {
    if (sdl::SDL_Quit != nullptr) {
        sdl::SDL_Quit();
    }
}

void TCustomPlayer::RaiseFileOpen(TPlaybackState& state) {
    TFileOpenEvent handler;
    {
        std::lock_guard lock(handlersMutex_);
        handler = onFileOpen_;
    }
    if (handler) {
        const std::int64_t duration = state.ImageSequence ? 0 : state.Duration;
        int frameWidth = -1;
        int frameHeight = -1;
        const AVStream* video = state.VideoStream;
        if (video != nullptr && video->codecpar->width > 0) {
            frameWidth = video->codecpar->width;
            frameHeight = video->codecpar->height;
        }
        int screenWidth = screenWidth_;
        int screenHeight = screenHeight_;
        const auto call = [&] {
            handler(this, duration, frameWidth, frameHeight, screenWidth, screenHeight);
        };
        if (triggerEventInMainThread_) {
            CallInMainThread(call);
        } else {
            call();
        }
        screenWidth_ = screenWidth;
        screenHeight_ = screenHeight;
    }
    if (screenHandle_ != nullptr && (screenWidth_ == 0 || screenHeight_ == 0)) {
        int width = 0;
        int height = 0;
        screenHandle_->GetClientSize(width, height);
        screenWidth_ = width;
        screenHeight_ = height;
    }
}

bool TCustomPlayer::Open(const std::string& FileName, TVideoSurface* ScreenHandle,
                         bool StartPaused) {
    if (!LibrariesLoaded()) {
        ReportError("libav or libsdl not loaded.", true);
        return false;
    }
    Stop(true);
    JoinFinishedThreads(false);

    if (const char* audio = AudioDriverName(audioDriver_); *audio != '\0') {
        setenv("SDL_AUDIODRIVER", audio, 1);
    }
    if (const char* video = VideoDriverName(videoDriver_); *video != '\0') {
        setenv("SDL_VIDEODRIVER", video, 1);
    }
    if (!StartSDL(ScreenHandle)) {
        ReportError(FormatText("Could not initialize SDL with ScreenHandle(%u): %s",
                               unsigned(reinterpret_cast<std::uintptr_t>(ScreenHandle)),
                               sdl::SDL_GetError()),
                    true);
        return false;
    }
    if (disableDisplay_) {
        disableVideo_ = true;
    } else if (ScreenHandle == nullptr) {
        SDL_DisplayMode mode{};
        if (sdl::SDL_GetCurrentDisplayMode(0, &mode) != 0) {
            ReportError("SDL_GetVideoInfo() failed", true);
            QuitSDL();
            return false;
        }
        displayWidth_ = mode.w;
        displayHeight_ = mode.h;
    }
    sdl::SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    sdl::SDL_EventState(SDL_SYSWMEVENT, SDL_IGNORE);

    screenHandle_ = ScreenHandle;
    if (ScreenHandle == nullptr && !disableDisplay_) {
        sdlSurface_ = std::make_unique<TSDLWindowSurface>();
    }
    auto session = std::make_shared<TPlayerEventSession>();
    {
        std::lock_guard lock(stateMutex_);
        session_ = session;
    }
    lastReportedPosition_ = NoPosition;
    // Fresh converters: the video thread starts using the hook's one while opening.
    hookConverter_ = std::make_unique<TRGBConverter>();
    snapshotConverter_ = std::make_unique<TRGBConverter>();
    auto state = OpenStream(*this, FileName, StartPaused);
    if (!state) {
        sdlSurface_.reset();
        QuitSDL();
        return false;
    }
    fileName_ = FileName;
    {
        std::lock_guard lock(stateMutex_);
        state_ = state;
    }
    probe_.AttachContext(state->Format.get());

    std::exception_ptr handlerError;
    try {
        RaiseFileOpen(*state);
    } catch (...) {
        handlerError = std::current_exception();
    }
    playThreadRunning_.Reset();
    eventThreads_.push_back(
        {std::thread([this, session] {
             TNotice notice;
             for (bool running = true; running;) {
                 while (running && session->Take(notice)) {
                     TPositionEvent onPosition;
                     TPlayStateEvent onState;
                     {
                         std::lock_guard lock(handlersMutex_);
                         onPosition = onPosition_;
                         onState = onState_;
                     }
                     const auto deliver = [&] {
                         DeliveringEvent = true;
                         try {
                             if (notice.Kind == nkPosition && onPosition) {
                                 onPosition(this, notice.Position);
                             } else if (notice.Kind == nkState && onState) {
                                 onState(this, notice.State);
                             }
                         } catch (const std::exception& e) {
                             Log(llError, std::string("Error occurs in player event: ") + e.what());
                         }
                         DeliveringEvent = false;
                     };
                     if (notice.Kind != nkEnd) {
                         if (triggerEventInMainThread_) {
                             CallInMainThread(deliver);
                         } else {
                             deliver();
                         }
                     }
                     running = notice.Kind != nkEnd &&
                               !(notice.Kind == nkState && notice.State == psStop);
                 }
                 if (running) {
                     session->WaitForNotice();
                 }
             }
             session->Finished = true;
         }),
         session});
    playThread_ = std::thread([this, session] { PlayThread(session); });
    if (handlerError) {
        std::rethrow_exception(handlerError);
    }
    return true;
}

// ---- Event loop ------------------------------------------------------------------------

bool TCustomPlayer::HandleEvent(TPlaybackState& state, const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
    case QuitPlaybackEventType:
        return false;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            screenWidth_ = event.window.data1;
            screenHeight_ = event.window.data2;
            state.Width = event.window.data1;
            state.Height = event.window.data2;
            if (state.Paused) {
                DisplayPicture(state);
            }
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
            if (state.Paused) {
                DisplayPicture(state);
            } else {
                RefreshDisplay(state, false);
            }
        }
        return true;
    case RefreshEventType:
        RefreshDisplay(state, true);
        state.RefreshPending = false;
        return true;
    case RelayoutEventType:
        OpenWindow(state, true);
        DisplayPicture(state);
        return true;
    default:
        return true;
    }
}

void TCustomPlayer::PlayThread(std::shared_ptr<TPlayerEventSession> session) {
    ReportState(psPlay);
    for (;;) {
        SDL_Event event{};
        const bool got = sdl::SDL_WaitEventTimeout(&event, 100) != 0;
        std::lock_guard lock(playerLock_);
        auto state = CurrentState();
        if (!state) {
            break;
        }
        if (!got) {
            continue;
        }
        try {
            if (!HandleEvent(*state, event)) {
                ClosePlayback();
                break;
            }
        } catch (const std::exception& e) {
            Log(llFatal, std::string("PlayThread Exception: ") + e.what());
            ClosePlayback();
            break;
        }
    }
    // The notices of this file go to its own session, even when a new file is opening.
    currentState_ = psStop;
    TPlayStateEvent onState;
    {
        std::lock_guard lock(handlersMutex_);
        onState = onState_;
    }
    session->Queue(onState ? TNotice{nkState, psStop, 0} : TNotice{nkEnd, psStop, 0});
    playThreadRunning_.Set();
}

void TCustomPlayer::ClosePlayback() {
    std::shared_ptr<TPlaybackState> state;
    {
        std::lock_guard lock(stateMutex_);
        state = std::move(state_);
    }
    if (state) {
        CloseStream(*state);
        lastReportedPosition_ = NoPosition;
        Seeking = false;
        Step = false;
        SeekDone.Set();
        FrameDecoded.Set();
    }
    sdlSurface_.reset();
    QuitSDL();
}

// ---- Operations ------------------------------------------------------------------------

void TCustomPlayer::Stop(bool WaitForEnd) {
    if (auto state = CurrentState()) {
        if (state->Paused) {
            TogglePause(*state);
        }
        RequestQuit();
    }
    if (WaitForEnd) {
        int rounds = 0;
        for (;;) {
            if (playThreadRunning_.Wait(IsMainThread() ? 0ms : 100ms)) {
                break;
            }
            if (IsMainThread()) {
                WaitAndProcessPendingMessages(100ms);
            }
            auto state = CurrentState();
            if (!state) {
                break;
            }
            if (!playerLock_.try_lock_for(100ms)) {
                continue;
            }
            ++rounds;
            if ((rounds > StopRoundsWhileReading && state->InsideRead) ||
                rounds > StopRoundsAtMost) {
                ClosePlayback();
                playerLock_.unlock();
                break;
            }
            RequestQuit();
            playerLock_.unlock();
        }
        if (playThread_.joinable()) {
            playThread_.join();
        }
        JoinFinishedThreads(!DeliveringEvent);
        QuitSDL();
    }
}

void TCustomPlayer::JoinFinishedThreads(bool waitForEventThread) {
    if (playThread_.joinable() && playThreadRunning_.IsSet()) {
        playThread_.join();
    }
    // An event thread ends once it has delivered the stop notice, which may need the
    // main thread: keep serving it while waiting.
    std::erase_if(eventThreads_, [&](TEventThread& entry) {
        while (waitForEventThread && !entry.Session->Finished) {
            if (IsMainThread()) {
                WaitAndProcessPendingMessages(10ms);
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        if (!entry.Session->Finished) {
            return false;
        }
        entry.Thread.join();
        return true;
    });
}

void TCustomPlayer::Pause() {
    auto state = CurrentState();
    if (state && !state->Paused) {
        TogglePause(*state);
        Step = false;
        ReportState(psPause);
    }
}

void TCustomPlayer::Resume() {
    auto state = CurrentState();
    if (state && state->Paused) {
        TogglePause(*state);
        Step = false;
        ReportState(psResume);
    }
}

bool TCustomPlayer::Paused() const {
    auto state = CurrentState();
    return !state || state->Paused;
}

void TCustomPlayer::Seek(std::uint8_t Flags, bool Wait, std::int64_t Position) {
    auto state = CurrentState();
    if (!state) {
        return;
    }
    if ((Flags & AVSEEK_FLAG_BYTE) != 0) {
        RequestSeek(*state, Flags, Wait, Position, 0);
        return;
    }
    std::int64_t target = Position;
    if (state->Duration >= 0) {
        target = std::min(target, state->Duration);
    }
    target += state->StartTime;
    RequestSeek(*state, Flags, Wait, target, Position <= 0 ? 1 : 0);
}

void TCustomPlayer::SeekRelative(std::uint8_t Flags, bool Wait, double Seconds) {
    auto state = CurrentState();
    if (!state) {
        return;
    }
    if ((Flags & AVSEEK_FLAG_BYTE) != 0) {
        std::int64_t position;
        {
            std::lock_guard lock(state->ClockMutex);
            position = std::max<std::int64_t>(state->VideoCurrentPos, 0);
        }
        const std::int64_t bitRate = state->Format ? state->Format->bit_rate : 0;
        const std::int64_t increment =
            std::llround(bitRate > 0 ? Seconds * double(bitRate) / 8.0 : Seconds * 180000.0);
        RequestSeek(*state, Flags, Wait, position + increment, increment);
        return;
    }
    const std::int64_t relative = std::llround(Seconds * 1e6);
    const std::int64_t target = std::llround((MasterClock(*state) + Seconds) * 1e6);
    RequestSeek(*state, Flags, Wait, target, relative);
}

TBitmap& TCustomPlayer::GetCurrentFrame(std::int64_t& PTS) {
    auto state = CurrentState();
    const AVStream* video = state ? state->VideoStream.load() : nullptr;
    if (video != nullptr) {
        snapshot_.SetSize(video->codecpar->width, video->codecpar->height);
        snapshot_.Clear();
    } else {
        snapshot_.SetSize(0, 0);
    }
    if (!state || video == nullptr) {
        PTS = -1;
        return snapshot_;
    }
    double pts = 0;
    AVFramePtr picture = CurrentPicture(*state, pts);
    PTS = std::llround(pts * 1e6) - state->StartTime;
    if (!picture) {
        return snapshot_;
    }
    if (!snapshotConverter_->ToRGB(picture.get())) {
        snapshot_.SetSize(0, 0);
        return snapshot_;
    }
    const TBitmap& converted = snapshotConverter_->Bitmap();
    snapshot_.SetSize(converted.Width(), converted.Height());
    for (int row = 0; row < converted.Height(); ++row) {
        std::memcpy(snapshot_.ScanLine(row), converted.ScanLine(row),
                    std::size_t(converted.Width()) * TBitmap::BytesPerPixel);
    }
    return snapshot_;
}

TBitmap& TCustomPlayer::CurrentFrame() {
    std::int64_t pts = 0;
    return GetCurrentFrame(pts);
}

// ---- Reporting -------------------------------------------------------------------------

void TCustomPlayer::QueueNotice(int kind, TPlayState state, std::int64_t position) {
    if (auto session = CurrentSession()) {
        session->Queue(TNotice{kind, state, position});
    }
}

void TCustomPlayer::ReportState(TPlayState state) {
    const auto session = CurrentSession();
    if (!session) {
        currentState_ = state;
        return;
    }
    session->ReportStateInOrder(state, [&](TPlayState reported) {
        currentState_ = reported;
        bool hasHandler;
        {
            std::lock_guard lock(handlersMutex_);
            hasHandler = bool(onState_);
        }
        if (hasHandler) {
            session->Queue(TNotice{nkState, reported, 0});
        } else if (reported == psStop) {
            session->Queue(TNotice{nkEnd, reported, 0});
        }
    });
}

bool TCustomPlayer::HasPositionHandler() const {
    std::lock_guard lock(handlersMutex_);
    return bool(onPosition_);
}

void TCustomPlayer::UpdatePosition(TPlaybackState& state) {
    if (state.ImageSequence) {
        return;
    }
    std::int64_t position;
    if (state.VideoStream != nullptr) {
        position = std::llround(VideoClock(state) * 1e6) - state.StartTime;
    } else if (state.AudioStream != nullptr) {
        position = std::llround(AudioClock(state) * 1e6) - state.StartTime;
        if (state.AudioDuration > 0 && position >= state.AudioDuration &&
            state.Duration > state.AudioDuration) {
            position = state.Duration;
        }
    } else {
        return;
    }
    // Pictures still queued when the end was reported do not move the position back.
    if (state.Duration > 0 && (position >= state.Duration || state.EndReported)) {
        position = state.Duration;
        if (position != lastReportedPosition_) {
            lastReportedPosition_ = 0;
        }
    }
    currentPosition_ = position;
    const std::int64_t last = lastReportedPosition_;
    if (last == NoPosition || std::llabs(position - last) > PositionStep) {
        if (HasPositionHandler()) {
            QueueNotice(nkPosition, psPlay, position);
        }
        lastReportedPosition_ = position;
    }
    if (!state.Capture && !state.EndReported && state.Drained) {
        if (state.VideoStream != nullptr) {
            state.EndReported = true;
        }
        // Everything is read and decoded: the end notice follows the final position.
        if (state.Duration > 0 && lastReportedPosition_ != state.Duration) {
            currentPosition_ = state.Duration;
            lastReportedPosition_ = state.Duration;
            if (HasPositionHandler()) {
                QueueNotice(nkPosition, psPlay, state.Duration);
            }
        }
        ReportState(psEnd);
    }
}

void TCustomPlayer::HookPicture(AVFrame* picture, std::int64_t pts) {
    if (!hook_) {
        return;
    }
    THookEvent handler;
    {
        std::lock_guard lock(handlersMutex_);
        handler = onHook_;
    }
    if (!handler || ff::av_frame_make_writable(picture) < 0) {
        return;
    }
    if (!hookConverter_->ToRGB(picture)) {
        Log(llError, "Cannot initialize the toRGB conversion context");
        return;
    }
    TBitmap& bitmap = hookConverter_->Bitmap();
    try {
        std::lock_guard canvas(bitmap);
        handler(this, bitmap, pts);
    } catch (const std::exception& e) {
        Log(llError, std::string("Error occurs OnHook: ") + e.what());
        return;
    }
    if (!hookConverter_->FromRGB(picture)) {
        Log(llError, "Cannot initialize the fromRGB conversion context");
    }
}

void TCustomPlayer::AudioConsumed(const std::int16_t* samples, int frames, int channels, double pts,
                                  double playTime) {
    std::lock_guard lock(handlersMutex_);
    if (audioTap_) {
        audioTap_(samples, frames, channels, pts, playTime);
    }
}

} // namespace tessaro
