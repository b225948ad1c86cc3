#include "player/PlaybackCore.h"

#include "base/MainThread.h"
#include "runtime/SDLBindings.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;

// Waits on the caller's thread; on the main thread the wait keeps running main-thread calls
// so that events marshalled to it cannot deadlock the wait.
void WaitRound(std::chrono::milliseconds duration) {
    if (IsMainThread()) {
        WaitAndProcessPendingMessages(duration);
    } else {
        SleepFor(duration);
    }
}

bool WaitForEvent(TManualEvent& event, std::chrono::milliseconds round,
                  const std::atomic<bool>& abort) {
    for (;;) {
        if (event.Wait(IsMainThread() ? 0ms : round)) {
            return true;
        }
        if (abort) {
            return false;
        }
        if (IsMainThread()) {
            WaitAndProcessPendingMessages(round);
        }
    }
}

} // namespace

void SleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

void PostPlayerEvent(Uint32 type) {
    SDL_Event event{};
    event.type = type;
    sdl::SDL_PushEvent(&event);
}

void IdleWhilePaused(const TPlaybackControl& control, const TPlaybackClock& clock) {
    const auto seekPerformedWhilePaused = [&] {
        return control.PausedAtSeek && !control.SeekRequest;
    };
    while (clock.Paused() && !control.AbortRequest && !seekPerformedWhilePaused() &&
           control.OpenPaused == 0) {
        SleepFor(10ms);
    }
}

void RequestQuit() {
    PostPlayerEvent(QuitPlaybackEventType);
}

void RequestRelayout() {
    PostPlayerEvent(RelayoutEventType);
}

TPlaybackCore::TPlaybackCore(TPlaybackHost& host, const std::string& fileName, TTimeSource time)
    : host_(host), clock_(std::move(time)), audio_(host, control_, audioPackets_, clock_),
      video_(host, control_, facts_, videoPackets_, pictures_, clock_,
             [this] { host_.UpdatePosition(*this); }),
      subtitles_(host, control_, subtitlePackets_, clock_),
      display_(host, control_, facts_, clock_, pictures_, video_, subtitles_, audio_,
               [this] { host_.UpdatePosition(*this); }),
      reader_(host, control_, facts_, clock_, {audioPackets_, videoPackets_, subtitlePackets_},
              audio_, video_, subtitles_) {
    facts_.FileName = fileName;
}

TPlaybackCore::~TPlaybackCore() {
    Close();
}

std::shared_ptr<TPlaybackCore> TPlaybackCore::Open(TPlaybackHost& host, const std::string& fileName,
                                                   bool paused, TTimeSource time) {
    std::shared_ptr<TPlaybackCore> core(new TPlaybackCore(host, fileName, std::move(time)));
    if (paused) {
        core->control_.OpenPaused = 1;
    }
    core->clock_.Start(paused);
    TPlaybackCore& opened = *core;
    opened.readThread_ = std::thread([&opened] { opened.reader_.Run(); });
    while (opened.control_.OpenResult == 0) {
        WaitRound(10ms);
    }
    if (opened.control_.OpenResult == 1) {
        if (opened.video_.Stream() == nullptr && !host.DisableDisplay()) {
            opened.control_.ShowMode = 1;
        }
        opened.refreshThread_ = std::thread([&opened] { opened.display_.RunRefreshTimer(); });
        return core;
    }
    while (opened.control_.OpenResult == -1) {
        WaitRound(10ms);
    }
    opened.readThread_.join();
    return nullptr;
}

void TPlaybackCore::Close() {
    control_.AbortRequest = true;
    if (readThread_.joinable()) {
        readThread_.join();
    }
    if (refreshThread_.joinable()) {
        refreshThread_.join();
    }
    pictures_.Release();
    display_.ReleasePicture();
}

void TPlaybackCore::TogglePause() {
    if (!control_.SeekDone.Wait(250ms)) {
        control_.SeekDone.Set();
    }
    if (control_.AbortRequest) {
        return;
    }
    if (clock_.Paused()) {
        clock_.Resume(control_.ReadPauseReturn != AVERROR(ENOSYS));
        return;
    }
    if (video_.Stream() != nullptr && !control_.FrameDecoded.Wait(250ms)) {
        control_.FrameDecoded.Set();
    }
    if (control_.AbortRequest) {
        return;
    }
    clock_.Pause();
}

void TPlaybackCore::RequestSeek(int flags, bool wait, std::int64_t target, std::int64_t relative) {
    if (control_.SeekRequest) {
        return;
    }
    control_.PausedAtSeek = clock_.Paused();
    control_.SeekTarget = target;
    control_.SeekRelative = relative;
    control_.SeekFlags = flags & SeekFlagsMask;
    control_.SeekDone.Reset();
    control_.SeekRequest = true;
    if (wait) {
        WaitForEvent(control_.SeekDone, 100ms, control_.AbortRequest);
        if (video_.Stream() != nullptr) {
            WaitForEvent(control_.FrameDecoded, 100ms, control_.AbortRequest);
        }
    }
}

} // namespace tessaro
