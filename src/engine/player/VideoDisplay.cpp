#include "player/VideoDisplay.h"

#include "player/AudioOutput.h"
#include "player/PictureQueue.h"
#include "player/PlaybackClock.h"
#include "player/SubtitleDecoder.h"
#include "player/VideoDecoder.h"
#include "probe/DisplayRotation.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace tessaro {
namespace {

using namespace std::chrono_literals;

constexpr int DefaultWindowWidth = 640;
constexpr int DefaultWindowHeight = 480;

TVideoPicture PictureOf(const AVFrame* frame, std::int64_t pts) {
    TVideoPicture picture;
    picture.Width = frame->width;
    picture.Height = frame->height;
    for (int plane = 0; plane < 3; ++plane) {
        picture.Planes[plane] = frame->data[plane];
        picture.Pitches[plane] = frame->linesize[plane];
    }
    picture.PTS = pts;
    return picture;
}

} // namespace

TVideoDisplay::TVideoDisplay(TPlaybackHost& host, TPlaybackControl& control,
                             const TMediaFacts& facts, TPlaybackClock& clock,
                             TPictureQueue& pictures, const TVideoDecoder& video,
                             TSubtitleDecoder& subtitles, const TAudioOutput& audio,
                             std::function<void()> positionChanged)
    : host_(host), control_(control), facts_(facts), clock_(clock), pictures_(pictures),
      video_(video), subtitles_(subtitles), audio_(audio),
      positionChanged_(std::move(positionChanged)) {}

int TVideoDisplay::OpenWindow(bool force) {
    int width = host_.ScreenWidth();
    int height = host_.ScreenHeight();
    if (width <= 0 || height <= 0) {
        const AVStream* video = video_.Stream();
        if (video_.PictureWidth() > 0 && video_.PictureHeight() > 0) {
            width = video_.PictureWidth() & ~1;
            height = video_.PictureHeight() & ~1;
        } else if (video != nullptr && video->codecpar->width > 0) {
            width = video->codecpar->width & ~1;
            height = video->codecpar->height & ~1;
        } else {
            width = DefaultWindowWidth;
            height = DefaultWindowHeight;
        }
        if (video != nullptr && RotationSwapsSides(StreamRotation(video))) {
            std::swap(width, height); // the window holds the picture as it is shown
        }
    }
    if (!force && display_.SurfaceOpened && display_.Width == width && display_.Height == height) {
        return 0;
    }
    TVideoSurface* surface = host_.Surface();
    if (surface == nullptr || !surface->SetVideoMode(width, height)) {
        host_.Log(llError, "SDL: could not set video mode.");
        return -1;
    }
    int areaWidth = 0;
    int areaHeight = 0;
    surface->GetClientSize(areaWidth, areaHeight);
    display_.Width = areaWidth > 0 ? areaWidth : width;
    display_.Height = areaHeight > 0 ? areaHeight : height;
    display_.SurfaceOpened = true;
    return 0;
}

void TVideoDisplay::Resized(int width, int height) {
    display_.Width = width;
    display_.Height = height;
}

TDisplayRect TVideoDisplay::PictureRect(const AVFrame* picture) const {
    const float forced = host_.AspectRatio();
    double ratio;
    if (forced < 0 && display_.Width > 0 && display_.Height > 0) {
        ratio = double(display_.Width) / display_.Height;
    } else if (forced > 0) {
        ratio = forced;
    } else {
        double pixelAspect = av_q2d(picture->sample_aspect_ratio);
        if (pixelAspect <= 0) {
            pixelAspect = 1.0;
        }
        ratio = pixelAspect * picture->width / std::max(picture->height, 1);
    }
    int height = display_.Height;
    int width = int(std::lround(height * ratio)) & ~1;
    if (width > display_.Width) {
        width = display_.Width;
        height = int(std::lround(width / ratio)) & ~1;
    }
    TDisplayRect rect;
    rect.Left = display_.XLeft + (display_.Width - width) / 2;
    rect.Top = display_.YTop + (display_.Height - height) / 2;
    rect.Width = std::max(width, 1);
    rect.Height = std::max(height, 1);
    return rect;
}

// Draws each channel's recent samples as a white wave in its own band, on black.
void TVideoDisplay::DrawWaveform() {
    const int width = display_.Width & ~1;
    const int height = display_.Height & ~1;
    const int channels = std::max(audio_.Channels(), 1);
    if (width <= 0 || height <= 0) {
        return;
    }
    std::vector<std::uint8_t> luma(std::size_t(width) * height, 16);
    std::vector<std::uint8_t> chroma(std::size_t(width / 2) * (height / 2), 128);
    std::vector<std::int16_t> samples(std::size_t(width) * channels);
    audio_.CopyRecentSamples(samples);
    const int band = height / channels;
    for (int channel = 0; channel < channels; ++channel) {
        const int middle = channel * band + band / 2;
        for (int x = 0; x < width; ++x) {
            const int amplitude = samples[std::size_t(x) * channels + channel] * band / 65536;
            const int from = std::min(middle, middle - amplitude);
            const int to = std::max(middle, middle - amplitude);
            for (int y = std::max(from, 0); y <= to && y < height; ++y) {
                luma[std::size_t(y) * width + x] = 235;
            }
        }
        if (channel > 0) {
            std::fill_n(luma.begin() + std::ptrdiff_t(channel * band) * width, width, 235);
        }
    }
    TVideoPicture picture;
    picture.Width = width;
    picture.Height = height;
    picture.Planes[0] = luma.data();
    picture.Planes[1] = picture.Planes[2] = chroma.data();
    picture.Pitches[0] = width;
    picture.Pitches[1] = picture.Pitches[2] = width / 2;
    picture.PTS = std::llround(clock_.AudioClock() * 1e6) - facts_.StartTime;
    TDisplayRect rect{display_.XLeft, display_.YTop, width, height};
    host_.Surface()->ShowPicture(picture, rect);
}

void TVideoDisplay::Display() {
    // Without a drawing area (display disabled) there is nothing to show.
    TVideoSurface* surface = host_.Surface();
    if (surface == nullptr || (!display_.SurfaceOpened && OpenWindow(false) < 0)) {
        return;
    }
    if (audio_.Stream() != nullptr && control_.ShowMode != 0 && video_.Stream() == nullptr) {
        DrawWaveform();
        return;
    }
    AVFrame* shown = display_.ShownPicture.get();
    if (video_.Stream() == nullptr || shown == nullptr || shown->data[0] == nullptr) {
        return;
    }
    const double pts = clock_.ShownPts();
    if (subtitles_.Stream() != nullptr) {
        subtitles_.BlendDue(shown, pts);
    }
    surface->ShowPicture(PictureOf(shown, std::llround(pts * 1e6) - facts_.StartTime),
                         PictureRect(shown));
}

void TVideoDisplay::Refresh(bool fromRefreshEvent) {
    bool notDue = false;
    bool dropped = false;
    if (video_.Stream() != nullptr) {
        if (!display_.ShownPicture) {
            display_.ShownPicture.reset(ff::av_frame_alloc());
        }
        const TRefreshOutcome outcome =
            pictures_.Refresh(clock_, control_.StalePictures, facts_.Capture, fromRefreshEvent,
                              display_.ShownPicture.get());
        notDue = outcome.NotDue;
        dropped = outcome.Dropped;
        if (outcome.Shown && subtitles_.Stream() != nullptr) {
            subtitles_.Advance(outcome.ShownPts);
        }
        if (outcome.Shown || (outcome.Empty && !fromRefreshEvent)) {
            Display();
        }
    } else if (audio_.Stream() != nullptr) {
        Display();
    }
    if (!notDue && !dropped) {
        positionChanged_();
    }
}

void TVideoDisplay::RunRefreshTimer() {
    while (!control_.AbortRequest) {
        if (!control_.RefreshPending.exchange(true)) {
            PostPlayerEvent(RefreshEventType);
        }
        SleepFor(control_.ShowMode != 0 && video_.Stream() == nullptr ? 20ms : 5ms);
    }
}

} // namespace tessaro
