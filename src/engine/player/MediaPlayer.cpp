#include "player/MediaPlayer.h"

#include "player/PlayerHost.h"
#include "runtime/LibraryLoader.h"

namespace tessaro {

static_assert(TCustomPlayer::SeekAnyFrame == AVSEEK_FLAG_ANY);

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

TCustomPlayer::TCustomPlayer() : host_(std::make_unique<TPlayerHost>(*this)) {}

TCustomPlayer::~TCustomPlayer() {
    // The host stops playback and ends its threads while the settings they read still exist.
    host_.reset();
}

bool TCustomPlayer::LoadLibraries(const std::string& LibraryDir) {
    return host_->LoadLibraries(LibraryDir);
}

bool TCustomPlayer::LibrariesLoaded() const {
    return TLibraryLoader::Instance().IsLibSetLoaded(PlayerLibraries);
}

bool TCustomPlayer::Open(const std::string& FileName, TVideoSurface* ScreenHandle,
                         bool StartPaused) {
    return host_->Open(FileName, ScreenHandle, StartPaused);
}

void TCustomPlayer::Stop(bool WaitForEnd) {
    host_->Stop(WaitForEnd);
}

void TCustomPlayer::Pause() {
    host_->Pause();
}

void TCustomPlayer::Resume() {
    host_->Resume();
}

void TCustomPlayer::Seek(std::uint8_t Flags, bool Wait, std::int64_t Position) {
    host_->Seek(Flags, Wait, Position);
}

void TCustomPlayer::SeekRelative(std::uint8_t Flags, bool Wait, double Seconds) {
    host_->SeekRelative(Flags, Wait, Seconds);
}

TBitmap& TCustomPlayer::GetCurrentFrame(std::int64_t& PTS) {
    return host_->GetCurrentFrame(PTS);
}

TBitmap& TCustomPlayer::CurrentFrame() {
    std::int64_t pts = 0;
    return GetCurrentFrame(pts);
}

bool TCustomPlayer::Paused() const {
    return host_->Paused();
}

std::int64_t TCustomPlayer::CurrentPosition() const {
    return host_->CurrentPosition();
}

void TCustomPlayer::Relayout() {
    host_->Relayout();
}

const std::string& TCustomPlayer::LastError() const {
    return host_->LastError();
}

TMediaProbe& TCustomPlayer::Probe() {
    return host_->Probe();
}

TPlayState TCustomPlayer::State() const {
    return host_->State();
}

std::string TCustomPlayer::FileName() const {
    return host_->FileName();
}

void TCustomPlayer::SetAspectRatio(float value) {
    if (value == aspectRatio_) {
        return;
    }
    aspectRatio_ = value;
    host_->Relayout();
}

void TCustomPlayer::SetOnFileOpen(TFileOpenEvent handler) {
    host_->SetOnFileOpen(std::move(handler));
}

void TCustomPlayer::SetOnHook(THookEvent handler) {
    host_->SetOnHook(std::move(handler));
}

void TCustomPlayer::SetOnPosition(TPositionEvent handler) {
    host_->SetOnPosition(std::move(handler));
}

void TCustomPlayer::SetOnState(TPlayStateEvent handler) {
    host_->SetOnState(std::move(handler));
}

void TCustomPlayer::SetAudioTap(TAudioTap tap) {
    host_->SetAudioTap(std::move(tap));
}

} // namespace tessaro
