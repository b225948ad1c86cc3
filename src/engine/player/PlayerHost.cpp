#include "player/PlayerHost.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/MainThread.h"
#include "player/PlaybackCore.h"
#include "player/PlayerNotices.h"
#include "player/SDLWindowSurface.h"
#include "probe/DisplayRotation.h"
#include "runtime/LibraryLoader.h"
#include "runtime/SDLBindings.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <utility>

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

// Takes lock if it comes free within timeout. It polls instead of a timed mutex's timed
// lock, which ThreadSanitizer cannot follow (it reports the later unlock as a fault).
bool TryLockWithin(std::mutex& lock, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

} // namespace

TPlayerHost::TPlayerHost(TCustomPlayer& owner)
    : owner_(owner), lastReportedPosition_(NoPosition),
      hookConverter_(std::make_unique<TRGBConverter>()),
      snapshotConverter_(std::make_unique<TRGBConverter>()) {}

TPlayerHost::~TPlayerHost() {
    ClearEventHandlers();
    Stop(true);
    JoinFinishedThreads(true);
}

void TPlayerHost::ClearEventHandlers() {
    std::lock_guard lock(handlersMutex_);
    onPosition_ = nullptr;
    onState_ = nullptr;
    onHook_ = nullptr;
}

bool TPlayerHost::LoadLibraries(const std::string& libraryDir) {
    TLibraryLoader& loader = TLibraryLoader::Instance();
    loader.SetLibraryDir(libraryDir);
    if (!loader.LoadLibSet(PlayerLibraries)) {
        lastError_ = loader.LastErrorText();
        return false;
    }
    return true;
}

void TPlayerHost::SetOnFileOpen(TCustomPlayer::TFileOpenEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onFileOpen_ = std::move(handler);
}
void TPlayerHost::SetOnHook(TCustomPlayer::THookEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onHook_ = std::move(handler);
}
void TPlayerHost::SetOnPosition(TCustomPlayer::TPositionEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onPosition_ = std::move(handler);
}
void TPlayerHost::SetOnState(TCustomPlayer::TPlayStateEvent handler) {
    std::lock_guard lock(handlersMutex_);
    onState_ = std::move(handler);
}
void TPlayerHost::SetAudioTap(TCustomPlayer::TAudioTap tap) {
    std::lock_guard lock(handlersMutex_);
    audioTap_ = std::move(tap);
}

void TPlayerHost::Relayout() {
    if (CurrentCore()) {
        RequestRelayout();
    }
}

std::shared_ptr<TPlaybackCore> TPlayerHost::CurrentCore() const {
    std::lock_guard lock(coreMutex_);
    return core_;
}

std::shared_ptr<TPlayerEventSession> TPlayerHost::CurrentSession() const {
    std::lock_guard lock(coreMutex_);
    return session_;
}

void TPlayerHost::Log(int level, const std::string& text) {
    TEngineLogger::GetLogger().Log(&owner_, level, text);
}

void TPlayerHost::ReportError(const std::string& text, bool keep) {
    Log(llError, text);
    if (keep) {
        lastError_ = text;
    }
}

TVideoSurface* TPlayerHost::Surface() {
    if (owner_.DisableDisplay()) {
        return nullptr;
    }
    return screenHandle_ != nullptr ? screenHandle_ : sdlSurface_.get();
}

// ---- Opening ---------------------------------------------------------------------------

bool TPlayerHost::StartSDL(TVideoSurface* screenHandle) {
    // The host draws the pictures itself; SDL's video part is needed only for its own window.
    Uint32 flags = SDL_INIT_AUDIO | SDL_INIT_TIMER | SDL_INIT_EVENTS;
    if (screenHandle == nullptr && !owner_.DisableDisplay()) {
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

void TPlayerHost::QuitSDL() {
    if (sdl::SDL_Quit != nullptr) {
        sdl::SDL_Quit();
    }
}

void TPlayerHost::RaiseFileOpen(TPlaybackCore& core) {
    TCustomPlayer::TFileOpenEvent handler;
    {
        std::lock_guard lock(handlersMutex_);
        handler = onFileOpen_;
    }
    if (handler) {
        const std::int64_t duration = core.Facts().ImageSequence ? 0 : core.Facts().Duration;
        int frameWidth = -1;
        int frameHeight = -1;
        const AVStream* video = core.VideoStream();
        if (video != nullptr && video->codecpar->width > 0) {
            frameWidth = video->codecpar->width;
            frameHeight = video->codecpar->height;
            if (RotationSwapsSides(StreamRotation(video))) {
                std::swap(frameWidth, frameHeight); // the size the pictures are shown at
            }
        }
        int screenWidth = owner_.ScreenWidth();
        int screenHeight = owner_.ScreenHeight();
        const auto call = [&] {
            handler(&owner_, duration, frameWidth, frameHeight, screenWidth, screenHeight);
        };
        if (owner_.TriggerEventInMainThread()) {
            CallInMainThread(call);
        } else {
            call();
        }
        owner_.SetScreenWidth(screenWidth);
        owner_.SetScreenHeight(screenHeight);
    }
    if (screenHandle_ != nullptr && (owner_.ScreenWidth() == 0 || owner_.ScreenHeight() == 0)) {
        int width = 0;
        int height = 0;
        screenHandle_->GetClientSize(width, height);
        owner_.SetScreenWidth(width);
        owner_.SetScreenHeight(height);
    }
}

bool TPlayerHost::Open(const std::string& FileName, TVideoSurface* ScreenHandle, bool StartPaused) {
    if (!TLibraryLoader::Instance().IsLibSetLoaded(PlayerLibraries)) {
        ReportError("libav or libsdl not loaded.", true);
        return false;
    }
    Stop(true);
    JoinFinishedThreads(false);

    if (const char* audio = AudioDriverName(owner_.AudioDriver()); *audio != '\0') {
        setenv("SDL_AUDIODRIVER", audio, 1);
    }
    if (const char* video = VideoDriverName(owner_.VideoDriver()); *video != '\0') {
        setenv("SDL_VIDEODRIVER", video, 1);
    }
    if (!StartSDL(ScreenHandle)) {
        ReportError(FormatText("Could not initialize SDL with ScreenHandle(%u): %s",
                               unsigned(reinterpret_cast<std::uintptr_t>(ScreenHandle)),
                               sdl::SDL_GetError()),
                    true);
        return false;
    }
    if (owner_.DisableDisplay()) {
        owner_.SetDisableVideo(true);
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
    if (ScreenHandle == nullptr && !owner_.DisableDisplay()) {
        sdlSurface_ = std::make_unique<TSDLWindowSurface>();
    }
    auto session = std::make_shared<TPlayerEventSession>();
    {
        std::lock_guard lock(coreMutex_);
        session_ = session;
    }
    lastReportedPosition_ = NoPosition;
    currentPosition_ = 0;
    // Fresh converters: the video thread starts using the hook's one while opening.
    hookConverter_ = std::make_unique<TRGBConverter>();
    snapshotConverter_ = std::make_unique<TRGBConverter>();
    auto core = TPlaybackCore::Open(*this, FileName, StartPaused);
    if (!core) {
        sdlSurface_.reset();
        QuitSDL();
        return false;
    }
    fileName_ = FileName;
    {
        std::lock_guard lock(coreMutex_);
        core_ = core;
    }
    probe_.AttachContext(core->Format());

    std::exception_ptr handlerError;
    try {
        RaiseFileOpen(*core);
    } catch (...) {
        handlerError = std::current_exception();
    }
    playThreadRunning_.Reset();
    StartEventThread(session);
    playThread_ = std::thread([this, session] { PlayThread(session); });
    if (handlerError) {
        std::rethrow_exception(handlerError);
    }
    return true;
}

// ---- Event delivery --------------------------------------------------------------------

void TPlayerHost::StartEventThread(std::shared_ptr<TPlayerEventSession> session) {
    eventThreads_.push_back({std::thread([this, session] { DeliverNotices(*session); }), session});
}

// The event thread: delivers the session's notices until the stop notice or the end of
// delivery; through the main thread when the player asks for it.
void TPlayerHost::DeliverNotices(TPlayerEventSession& session) {
    TNotice notice;
    for (bool running = true; running;) {
        while (running && session.Take(notice)) {
            TCustomPlayer::TPositionEvent onPosition;
            TCustomPlayer::TPlayStateEvent onState;
            {
                std::lock_guard lock(handlersMutex_);
                onPosition = onPosition_;
                onState = onState_;
            }
            const auto deliver = [&] {
                DeliveringEvent = true;
                try {
                    if (notice.Kind == nkPosition && onPosition) {
                        onPosition(&owner_, notice.Position);
                    } else if (notice.Kind == nkState && onState) {
                        onState(&owner_, notice.State);
                    }
                } catch (const std::exception& e) {
                    Log(llError, std::string("Error occurs in player event: ") + e.what());
                }
                DeliveringEvent = false;
            };
            if (notice.Kind != nkEnd) {
                if (owner_.TriggerEventInMainThread()) {
                    CallInMainThread(deliver);
                } else {
                    deliver();
                }
            }
            running = notice.Kind != nkEnd && !(notice.Kind == nkState && notice.State == psStop);
        }
        if (running) {
            session.WaitForNotice();
        }
    }
    session.Finished = true;
}

// ---- Event loop ------------------------------------------------------------------------

bool TPlayerHost::HandleEvent(TPlaybackCore& core, const SDL_Event& event) {
    TVideoDisplay& display = core.Display();
    switch (event.type) {
    case SDL_QUIT:
    case QuitPlaybackEventType:
        return false;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            owner_.SetScreenWidth(event.window.data1);
            owner_.SetScreenHeight(event.window.data2);
            display.Resized(event.window.data1, event.window.data2);
            if (core.Paused()) {
                display.Display();
            }
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
            if (core.Paused()) {
                display.Display();
            } else {
                display.Refresh(false);
            }
        }
        return true;
    case RefreshEventType:
        display.Refresh(true);
        display.RefreshDone();
        return true;
    case RelayoutEventType:
        display.OpenWindow(true);
        display.Display();
        return true;
    default:
        return true;
    }
}

void TPlayerHost::PlayThread(std::shared_ptr<TPlayerEventSession> session) {
    ReportState(psPlay);
    for (;;) {
        SDL_Event event{};
        const bool got = sdl::SDL_WaitEventTimeout(&event, 100) != 0;
        std::lock_guard lock(playerLock_);
        auto core = CurrentCore();
        if (!core) {
            break;
        }
        if (!got) {
            continue;
        }
        try {
            if (!HandleEvent(*core, event)) {
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
    TCustomPlayer::TPlayStateEvent onState;
    {
        std::lock_guard lock(handlersMutex_);
        onState = onState_;
    }
    session->Queue(onState ? TNotice{nkState, psStop, 0} : TNotice{nkEnd, psStop, 0});
    playThreadRunning_.Set();
}

void TPlayerHost::ClosePlayback() {
    std::shared_ptr<TPlaybackCore> core;
    {
        std::lock_guard lock(coreMutex_);
        core = std::move(core_);
    }
    if (core) {
        core->Close();
        lastReportedPosition_ = NoPosition;
    }
    sdlSurface_.reset();
    QuitSDL();
}

// ---- Operations ------------------------------------------------------------------------

void TPlayerHost::Stop(bool WaitForEnd) {
    if (auto core = CurrentCore()) {
        if (core->Paused()) {
            core->TogglePause();
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
            auto core = CurrentCore();
            if (!core) {
                break;
            }
            if (!TryLockWithin(playerLock_, 100ms)) {
                continue;
            }
            ++rounds;
            if ((rounds > StopRoundsWhileReading && core->InsideRead()) ||
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

void TPlayerHost::JoinFinishedThreads(bool waitForEventThread) {
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

void TPlayerHost::Pause() {
    auto core = CurrentCore();
    if (core && !core->Paused()) {
        core->TogglePause();
        ReportState(psPause);
    }
}

void TPlayerHost::Resume() {
    auto core = CurrentCore();
    if (core && core->Paused()) {
        core->TogglePause();
        ReportState(psResume);
    }
}

bool TPlayerHost::Paused() const {
    auto core = CurrentCore();
    return !core || core->Paused();
}

void TPlayerHost::Seek(std::uint8_t Flags, bool Wait, std::int64_t Position) {
    auto core = CurrentCore();
    if (!core) {
        return;
    }
    if ((Flags & AVSEEK_FLAG_BYTE) != 0) {
        core->RequestSeek(Flags, Wait, Position, 0);
        return;
    }
    const TMediaFacts& facts = core->Facts();
    std::int64_t target = Position;
    if (facts.Duration >= 0) {
        target = std::min(target, facts.Duration);
    }
    target += facts.StartTime;
    core->RequestSeek(Flags, Wait, target, Position <= 0 ? 1 : 0);
}

void TPlayerHost::SeekRelative(std::uint8_t Flags, bool Wait, double Seconds) {
    auto core = CurrentCore();
    if (!core) {
        return;
    }
    if ((Flags & AVSEEK_FLAG_BYTE) != 0) {
        const std::int64_t position = std::max<std::int64_t>(core->ShownPosition(), 0);
        const AVFormatContext* format = core->Format();
        const std::int64_t bitRate = format != nullptr ? format->bit_rate : 0;
        const std::int64_t increment =
            std::llround(bitRate > 0 ? Seconds * double(bitRate) / 8.0 : Seconds * 180000.0);
        core->RequestSeek(Flags, Wait, position + increment, increment);
        return;
    }
    const std::int64_t relative = std::llround(Seconds * 1e6);
    const std::int64_t target = std::llround((core->MasterClock() + Seconds) * 1e6);
    core->RequestSeek(Flags, Wait, target, relative);
}

TBitmap& TPlayerHost::GetCurrentFrame(std::int64_t& PTS) {
    auto core = CurrentCore();
    const AVStream* video = core ? core->VideoStream() : nullptr;
    if (video != nullptr) {
        snapshot_.SetSize(video->codecpar->width, video->codecpar->height);
        snapshot_.Clear();
    } else {
        snapshot_.SetSize(0, 0);
    }
    if (!core || video == nullptr) {
        PTS = -1;
        return snapshot_;
    }
    double pts = 0;
    AVFramePtr picture = core->CurrentPicture(pts);
    PTS = std::llround(pts * 1e6) - core->Facts().StartTime;
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

// ---- Reporting -------------------------------------------------------------------------

void TPlayerHost::QueueNotice(int kind, TPlayState state, std::int64_t position) {
    if (auto session = CurrentSession()) {
        session->Queue(TNotice{kind, state, position});
    }
}

void TPlayerHost::ReportState(TPlayState state) {
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

bool TPlayerHost::HasPositionHandler() const {
    std::lock_guard lock(handlersMutex_);
    return bool(onPosition_);
}

void TPlayerHost::UpdatePosition(TPlaybackCore& core) {
    const TMediaFacts& facts = core.Facts();
    if (facts.ImageSequence) {
        return;
    }
    std::int64_t position;
    if (core.VideoStream() != nullptr) {
        position = std::llround(core.VideoClock() * 1e6) - facts.StartTime;
    } else if (core.AudioStream() != nullptr) {
        position = std::llround(core.AudioClock() * 1e6) - facts.StartTime;
        const std::int64_t audioDuration = core.AudioDuration();
        if (audioDuration > 0 && position >= audioDuration && facts.Duration > audioDuration) {
            position = facts.Duration;
        }
    } else {
        return;
    }
    // Pictures still queued when the end was reported do not move the position back.
    if (facts.Duration > 0 && (position >= facts.Duration || core.EndReported())) {
        position = facts.Duration;
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
    if (!facts.Capture && !core.EndReported() && core.Drained()) {
        if (core.VideoStream() != nullptr) {
            core.MarkEndReported();
        }
        // Everything is read and decoded: the end notice follows the final position.
        if (facts.Duration > 0 && lastReportedPosition_ != facts.Duration) {
            currentPosition_ = facts.Duration;
            lastReportedPosition_ = facts.Duration;
            if (HasPositionHandler()) {
                QueueNotice(nkPosition, psPlay, facts.Duration);
            }
        }
        ReportState(psEnd);
    }
}

void TPlayerHost::HookPicture(AVFrame* picture, std::int64_t pts) {
    if (!owner_.Hook()) {
        return;
    }
    TCustomPlayer::THookEvent handler;
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
        handler(&owner_, bitmap, pts);
    } catch (const std::exception& e) {
        Log(llError, std::string("Error occurs OnHook: ") + e.what());
        return;
    }
    if (!hookConverter_->FromRGB(picture)) {
        Log(llError, "Cannot initialize the fromRGB conversion context");
    }
}

void TPlayerHost::AudioConsumed(const std::int16_t* samples, int frames, int channels, double pts,
                                double playTime) {
    std::lock_guard lock(handlersMutex_);
    if (audioTap_) {
        audioTap_(samples, frames, channels, pts, playTime);
    }
}

} // namespace tessaro
