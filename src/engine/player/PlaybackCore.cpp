#include "player/PlaybackCore.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/MainThread.h"
#include "dvdinput/DvdAddress.h"
#include "io/MediaInput.h"
#include "probe/DisplayRotation.h"
#include "probe/MediaProbe.h"
#include "runtime/FilterChain.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"
#include "runtime/SDLBindings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace tessaro {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t MaxQueueBytes = 15 * 1024 * 1024;
constexpr std::int64_t EnoughAudioBytes = 5 * 16 * 1024 * 4;
constexpr int EnoughPackets = 5;
constexpr int PacketOverhead = 72;
constexpr int PictureQueueSize = 2;
constexpr int SubPictureQueueSize = 4;
constexpr int AudioBufferSamples = 1024;
constexpr int SilenceBytes = 1024;
constexpr double SyncThreshold = 0.01;
constexpr double NoSyncThreshold = 10.0;
// Pictures further than this from the audio clock (just after a seek, before the new
// audio has started) are timed by the frame timer instead.
constexpr double DirectSyncRange = 1.0;
constexpr double SkipFactorStep = 0.05;
constexpr double LateDropMargin = 0.5;
constexpr int ScalerFlags = 4; // bicubic
constexpr int DefaultWindowWidth = 640;
constexpr int DefaultWindowHeight = 480;
// "No value" for the last picture's time: far enough away that the first delay is ignored.
constexpr double NoFrameTime = -1e18;
constexpr std::size_t SampleArraySize = 128 * 1024;

void Sleep(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

// Waits on the caller's thread; on the main thread the wait keeps running main-thread calls
// so that events marshalled to it cannot deadlock the wait.
void WaitRound(std::chrono::milliseconds duration) {
    if (IsMainThread()) {
        WaitAndProcessPendingMessages(duration);
    } else {
        Sleep(duration);
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

void PostEvent(Uint32 type) {
    SDL_Event event{};
    event.type = type;
    sdl::SDL_PushEvent(&event);
}

// Runs a thread body, logging what escapes it instead of ending the process.
template <typename Body> void Guarded(TPlaybackState& state, const char* name, Body body) {
    try {
        body();
    } catch (const std::exception& e) {
        state.Host->Log(llError, FormatText("%s: %s", name, e.what()));
    }
}

// ---- Audio -----------------------------------------------------------------------------

int BytesPerSecond(const TPlaybackState& state) {
    return 2 * state.AudioChannels * state.AudioRate;
}

bool EnsureAudioConverter(TPlaybackState& state, AVFrame* frame) {
    if (state.AudioConverter && state.AudioSourceFormat == frame->format &&
        state.AudioSourceRate == frame->sample_rate &&
        ff::av_channel_layout_compare(&state.AudioSourceLayout, &frame->ch_layout) == 0) {
        return true;
    }
    state.AudioConverter.reset();
    AVChannelLayout outLayout{};
    ff::av_channel_layout_default(&outLayout, state.AudioChannels);
    SwrContext* converter = nullptr;
    const int made = ff::swr_alloc_set_opts2(
        &converter, &outLayout, AV_SAMPLE_FMT_S16, state.AudioRate, &frame->ch_layout,
        AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    state.AudioConverter.reset(converter);
    if (made < 0 || ff::swr_init(converter) < 0) {
        state.AudioConverter.reset();
        const char* name = ff::av_get_sample_fmt_name(AVSampleFormat(frame->format));
        state.Host->Log(llError, FormatText("Cannot convert %s sample format to %s sample format",
                                            name ? name : "?", "s16"));
        return false;
    }
    state.AudioSourceFormat = frame->format;
    state.AudioSourceRate = frame->sample_rate;
    ff::av_channel_layout_uninit(&state.AudioSourceLayout);
    ff::av_channel_layout_copy(&state.AudioSourceLayout, &frame->ch_layout);
    return true;
}

void KeepForVisualisation(TPlaybackState& state, const std::int16_t* samples, std::size_t count) {
    if (state.ShowMode == 0) {
        return;
    }
    std::lock_guard lock(state.AudioClockMutex);
    for (std::size_t i = 0; i < count; ++i) {
        state.SampleArray[state.SampleArrayIndex] = samples[i];
        state.SampleArrayIndex = (state.SampleArrayIndex + 1) % state.SampleArray.size();
    }
}

// Converts one decoded frame into AudioBuffer; its size in bytes, or -1.
int ConvertAudioFrame(TPlaybackState& state, AVFrame* frame) {
    if (!EnsureAudioConverter(state, frame)) {
        return -1;
    }
    const int outSamples = ff::swr_get_out_samples(state.AudioConverter.get(), frame->nb_samples);
    state.AudioBuffer.resize(std::size_t(std::max(outSamples, 0)) * 2 * state.AudioChannels);
    std::uint8_t* out = state.AudioBuffer.data();
    const int converted =
        ff::swr_convert(state.AudioConverter.get(), &out, outSamples,
                        const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        state.Host->Log(llError, "av_audio_convert() failed");
        return -1;
    }
    const int bytes = converted * 2 * state.AudioChannels;
    state.AudioBuffer.resize(std::size_t(bytes));
    KeepForVisualisation(state, reinterpret_cast<const std::int16_t*>(out),
                         std::size_t(converted) * state.AudioChannels);
    std::lock_guard lock(state.AudioClockMutex); // AudioClock reads it on other threads
    if (frame->pts != AV_NOPTS_VALUE) {
        state.AudioClockValue = double(frame->pts) * av_q2d(state.AudioStream.load()->time_base);
    }
    state.AudioClockValue += double(bytes) / BytesPerSecond(state);
    return bytes;
}

// Decodes the next block of audio into AudioBuffer; its size, or -1 when there is none
// now (paused, aborted, nothing queued).
int DecodeAudioFrame(TPlaybackState& state) {
    AVCodecContext* decoder = state.AudioDecoder.get();
    for (;;) {
        const int received = ff::avcodec_receive_frame(decoder, state.AudioFrame.get());
        if (received >= 0) {
            const int bytes = ConvertAudioFrame(state, state.AudioFrame.get());
            ff::av_frame_unref(state.AudioFrame.get());
            if (bytes > 0) {
                return bytes;
            }
            continue;
        }
        if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) {
            state.Host->Log(llInfo, "avcodec_decode_audio2() failed");
        }
        if (state.Paused || state.AudioQueue.Aborted()) {
            return -1;
        }
        TQueuedPacket entry;
        if (state.AudioQueue.Get(entry, false) <= 0) {
            return -1;
        }
        if (entry.Flush) {
            ff::avcodec_flush_buffers(decoder);
            continue;
        }
        if (ff::avcodec_send_packet(decoder, entry.Packet.get()) < 0) {
            state.Host->Log(llInfo, "avcodec_decode_audio2() failed");
        }
    }
}

void AudioCallback(void* opaque, Uint8* stream, int length) {
    auto& state = *static_cast<TPlaybackState*>(opaque);
    const std::int64_t callbackTime = ff::av_gettime_relative();
    const int bytesPerSecond = BytesPerSecond(state);
    const int frameBytes = 2 * state.AudioChannels;
    double firstPts = std::numeric_limits<double>::quiet_NaN();
    int realBytes = 0;
    int written = 0;
    std::memset(stream, 0, std::size_t(length));
    while (length > 0) {
        bool silent = false;
        if (state.AudioBufferIndex >= state.AudioBuffer.size()) {
            const int size = DecodeAudioFrame(state);
            if (state.AudioQueue.Aborted()) {
                break;
            }
            if (size < 0) {
                state.AudioBuffer.assign(SilenceBytes, 0);
                silent = true;
            }
            state.AudioBufferIndex = 0;
            state.AudioBufferSilent = silent;
        }
        silent = state.AudioBufferSilent;
        const int remaining = int(state.AudioBuffer.size() - state.AudioBufferIndex);
        const int chunk = std::min(remaining, length);
        const std::uint8_t* source = state.AudioBuffer.data() + state.AudioBufferIndex;
        const double chunkPts = state.AudioClockValue - double(remaining) / bytesPerSecond;
        if (!silent && !state.Host->Mute()) {
            sdl::SDL_MixAudioFormat(stream, source, AUDIO_S16SYS, Uint32(chunk),
                                    state.Host->AudioVolume());
        }
        if (!silent) {
            if (std::isnan(firstPts)) {
                firstPts = chunkPts - double(realBytes) / bytesPerSecond;
            }
            realBytes += chunk;
        }
        state.Host->AudioConsumed(reinterpret_cast<const std::int16_t*>(stream), chunk / frameBytes,
                                  state.AudioChannels,
                                  silent ? std::numeric_limits<double>::quiet_NaN() : chunkPts,
                                  double(callbackTime) / 1e6 + double(written) / bytesPerSecond);
        stream += chunk;
        length -= chunk;
        written += chunk;
        state.AudioBufferIndex += std::size_t(chunk);
    }
    std::lock_guard lock(state.AudioClockMutex);
    state.AudioUnplayedBytes =
        state.AudioBuffer.size() - std::min(state.AudioBufferIndex, state.AudioBuffer.size());
    if (realBytes > 0) {
        state.CallbackPts = firstPts;
        state.CallbackPlayed = double(realBytes) / bytesPerSecond;
        state.CallbackTime = callbackTime;
        state.CallbackValid = true;
    } else if (state.CallbackValid) {
        // Silence does not move the clock: it stays where the last real sample ended.
        state.CallbackPts += state.CallbackPlayed;
        state.CallbackPlayed = 0;
    }
}

// ---- Video -----------------------------------------------------------------------------

bool BuildFilterGraph(TPlaybackState& state, const AVFrame* frame) {
    {
        std::lock_guard lock(CodecLock());
        state.FilterGraph.reset();
    }
    state.FilterSource = state.FilterSink = nullptr;
    AVFilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph) {
        return false;
    }
    graph->scale_sws_opts = ff::av_strdup(FormatText("flags=%d", ScalerFlags).c_str());
    const AVStream* video = state.VideoStream;
    const AVRational timeBase = video->time_base;
    AVRational aspect = frame->sample_aspect_ratio;
    if (aspect.num == 0) {
        aspect = video->codecpar->sample_aspect_ratio;
    }
    if (aspect.num == 0 || aspect.den == 0) {
        aspect = AVRational{0, 1};
    }
    const std::string arguments = FormatText(
        "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width,
        frame->height, frame->format, timeBase.num, timeBase.den, aspect.num, aspect.den);
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    if (ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "src",
                                         arguments.c_str(), nullptr, graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph.get()) < 0) {
        return false;
    }
    const int formats[] = {AV_PIX_FMT_YUV420P};
    // A stream stored turned (a phone's upright recording) is shown upright.
    const std::string turn = RotationFilterChain(StreamRotation(video));
    const int linked = turn.empty() ? ff::avfilter_link(source, 0, sink, 0)
                                    : LinkFilterChain(graph.get(), source, sink, turn);
    if (ff::av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats),
                           sizeof formats, AV_OPT_SEARCH_CHILDREN) < 0 ||
        linked < 0 || ff::avfilter_graph_config(graph.get(), nullptr) < 0) {
        return false;
    }
    state.FilterGraph = std::move(graph);
    state.FilterSource = source;
    state.FilterSink = sink;
    state.FilterWidth = frame->width;
    state.FilterHeight = frame->height;
    state.FilterFormat = frame->format;
    return true;
}

bool AudioClockRunning(TPlaybackState& state) {
    std::lock_guard lock(state.AudioClockMutex);
    return state.CallbackValid && !state.Paused;
}

double FrameDuration(const TPlaybackState& state) {
    const AVRational rate =
        ff::av_guess_frame_rate(state.Format.get(), state.VideoStream.load(), nullptr);
    return rate.num != 0 && rate.den != 0 ? av_q2d(av_inv_q(rate)) : 0.04;
}

// The wall-clock time at which a picture with time stamp pts is due.
double TargetDisplayTime(TPlaybackState& state, double pts) {
    double delay = pts - state.FrameLastPts;
    if (delay <= 0 || delay >= NoSyncThreshold) {
        delay = state.FrameLastDelay;
    } else {
        state.FrameLastDelay = delay;
    }
    state.FrameLastPts = pts;
    if (state.AudioStream != nullptr) {
        // While the audio plays, a picture is due when the audio clock reaches its time.
        // Stepping the frame timer by whole frame delays alone would let the picture drift
        // up to a frame away from the sound before anything corrects it.
        const double ahead = pts - MasterClock(state);
        if (AudioClockRunning(state) && std::fabs(ahead) < DirectSyncRange) {
            std::lock_guard lock(state.ClockMutex);
            state.FrameTimer = WallClock() + ahead;
            return state.FrameTimer;
        }
        const double diff = VideoClock(state) - MasterClock(state);
        const double threshold = std::max(SyncThreshold, delay);
        if (std::fabs(diff) < NoSyncThreshold) {
            if (diff <= -threshold) {
                delay = 0;
            } else if (diff >= threshold) {
                delay = 2 * delay;
            }
        }
    }
    std::lock_guard lock(state.ClockMutex);
    state.FrameTimer += delay;
    return state.FrameTimer;
}

// Puts a filtered picture into the picture queue; -1 when playback is aborted.
int QueuePicture(TPlaybackState& state, AVFrame* picture, double pts, std::int64_t pos) {
    {
        std::unique_lock lock(state.PictureMutex);
        if (state.PictureSize >= PictureQueueSize && !state.RefreshPending) {
            state.SkipFactor =
                std::max(1.0 - SkipFactorStep, state.SkipFactor * (1 - SkipFactorStep));
        }
        state.PictureChanged.wait(lock, [&] {
            return state.PictureSize < PictureQueueSize || state.VideoQueue.Aborted();
        });
        if (state.VideoQueue.Aborted()) {
            return -1;
        }
    }
    TPictureSlot& slot = state.Pictures[state.PictureWrite];
    if (!slot.Frame) {
        slot.Frame.reset(ff::av_frame_alloc());
    }
    ff::av_frame_unref(slot.Frame.get());
    ff::av_frame_move_ref(slot.Frame.get(), picture);
    slot.Width = slot.Frame->width;
    slot.Height = slot.Frame->height;
    slot.Allocated = true;
    state.Host->HookPicture(slot.Frame.get(), std::llround(pts * 1e6) - state.StartTime);
    slot.Pts = pts;
    slot.Pos = pos;
    state.PictureWrite = (state.PictureWrite + 1) % PictureQueueSize;
    slot.Target = TargetDisplayTime(state, pts);
    std::lock_guard lock(state.PictureMutex);
    ++state.PictureSize;
    return 0;
}

int OutputPicture(TPlaybackState& state, AVFrame* picture, double pts, int repeat) {
    if (pts != 0) {
        state.VideoClockValue = pts;
    } else {
        pts = state.VideoClockValue;
    }
    const double duration = FrameDuration(state);
    state.VideoClockValue = state.VideoClockValue + duration + repeat * duration * 0.5;
    return QueuePicture(state, picture, pts, picture->pkt_pos);
}

void AfterPictureDecoded(TPlaybackState& state) {
    TPlaybackHost& host = *state.Host;
    host.FrameDecoded.Set();
    state.EndReported = false;
    if (!state.SeekRequest) {
        host.Seeking = false;
    }
    const int openPaused = state.OpenPaused;
    if (openPaused > 1) {
        state.OpenPaused = 0;
        host.ReportState(psPause);
    } else if (openPaused == 1) {
        state.OpenPaused = 2;
    }
}

// Runs one decoded picture through the filter graph into the picture queue.
int FilterAndQueue(TPlaybackState& state, AVFrame* frame, AVFrame* filtered) {
    if (!state.FilterGraph || frame->width != state.FilterWidth ||
        frame->height != state.FilterHeight || frame->format != state.FilterFormat) {
        // A stream whose pictures change size (a DVD title, a broadcast) gets a new graph.
        if (!BuildFilterGraph(state, frame)) {
            state.Host->Log(llError, "Picture properties changed.");
            return 0;
        }
    }
    const int repeat = frame->repeat_pict;
    if (ff::av_buffersrc_add_frame_flags(state.FilterSource, frame, 0) < 0) {
        return 0;
    }
    const AVRational timeBase = ff::av_buffersink_get_time_base(state.FilterSink);
    while (ff::av_buffersink_get_frame(state.FilterSink, filtered) >= 0) {
        if (state.StalePictures && state.FirstFrameAfterFlush) {
            state.StalePictures = false;
            state.PausedAtSeek = false;
        }
        const double pts =
            filtered->pts == AV_NOPTS_VALUE ? 0 : double(filtered->pts) * av_q2d(timeBase);
        const int queued = OutputPicture(state, filtered, pts, repeat);
        ff::av_frame_unref(filtered);
        if (queued < 0) {
            return -1;
        }
        AfterPictureDecoded(state);
    }
    return 0;
}

// Takes every picture the decoder has ready; -1 when playback is aborted.
int ReceivePictures(TPlaybackState& state, AVFrame* frame, AVFrame* filtered) {
    for (;;) {
        const int received = ff::avcodec_receive_frame(state.VideoDecoder.get(), frame);
        if (received < 0) {
            return 0;
        }
        frame->pts = frame->best_effort_timestamp;
        bool show;
        {
            std::lock_guard lock(state.PictureMutex);
            state.SkipCounter += 1;
            show = state.SkipCounter >= state.SkipFactor;
            if (show) {
                state.SkipCounter -= std::max(state.SkipFactor, 1.0);
            }
        }
        const int result = show ? FilterAndQueue(state, frame, filtered) : 0;
        ff::av_frame_unref(frame);
        if (result < 0) {
            return -1;
        }
    }
}

void FlushVideo(TPlaybackState& state) {
    ff::avcodec_flush_buffers(state.VideoDecoder.get());
    {
        std::unique_lock lock(state.PictureMutex);
        for (TPictureSlot& slot : state.Pictures) {
            slot.Target = 0;
        }
        state.PictureChanged.wait(
            lock, [&] { return state.PictureSize == 0 || state.VideoQueue.Aborted(); });
        state.SkipFactor = 1;
        state.SkipCounter = 0;
    }
    std::lock_guard lock(state.ClockMutex);
    state.VideoCurrentPos = -1;
    state.FrameLastPts = NoFrameTime;
    state.FrameLastDelay = 0;
    state.FrameTimer = WallClock();
    state.FirstFrameAfterFlush = true;
}

// A paused decoding thread waits here. A seek while paused lets it decode the picture at the
// new position, but only once the reading thread has performed the seek: until then the
// queue still holds packets from before it, whose pictures would be shown as if they were
// the new position's.
void IdleWhilePaused(TPlaybackState& state) {
    const auto seekPerformedWhilePaused = [&] { return state.PausedAtSeek && !state.SeekRequest; };
    while (state.Paused && !state.AbortRequest && !seekPerformedWhilePaused() &&
           state.OpenPaused == 0) {
        Sleep(10ms);
    }
}

void VideoThread(TPlaybackState& state) {
    AVFramePtr frame(ff::av_frame_alloc());
    AVFramePtr filtered(ff::av_frame_alloc());
    for (;;) {
        IdleWhilePaused(state);
        TQueuedPacket entry;
        if (state.VideoQueue.Get(entry, true) < 0) {
            break;
        }
        if (entry.Flush) {
            FlushVideo(state);
            continue;
        }
        // An empty packet marks the end of the input: drain the pictures held back.
        ff::avcodec_send_packet(state.VideoDecoder.get(),
                                entry.Packet->size > 0 ? entry.Packet.get() : nullptr);
        if (ReceivePictures(state, frame.get(), filtered.get()) < 0) {
            break;
        }
        if (entry.Packet->size == 0 && !state.EndReported) {
            state.Host->UpdatePosition(state);
        }
    }
    std::lock_guard lock(CodecLock());
    state.FilterGraph.reset();
}

// ---- Subtitles -------------------------------------------------------------------------

// Replaces each bitmap rectangle's ARGB palette by A, Y, Cb, Cr bytes.
void PaletteToYuv(AVSubtitle& subtitle) {
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        AVSubtitleRect* rect = subtitle.rects[i];
        if (rect->type != SUBTITLE_BITMAP || rect->data[1] == nullptr) {
            continue;
        }
        auto* palette = reinterpret_cast<std::uint32_t*>(rect->data[1]);
        for (int c = 0; c < rect->nb_colors; ++c) {
            std::uint8_t yuv[3];
            RgbToYuv(palette[c], yuv);
            const std::uint8_t alpha = std::uint8_t(palette[c] >> 24);
            std::uint8_t* entry = reinterpret_cast<std::uint8_t*>(&palette[c]);
            entry[0] = alpha;
            entry[1] = yuv[0];
            entry[2] = yuv[1];
            entry[3] = yuv[2];
        }
    }
}

void SubtitleThread(TPlaybackState& state) {
    for (;;) {
        IdleWhilePaused(state);
        TQueuedPacket entry;
        if (state.SubtitleQueue.Get(entry, true) < 0) {
            break;
        }
        if (entry.Flush) {
            ff::avcodec_flush_buffers(state.SubtitleDecoder.get());
            continue;
        }
        if (!entry.Packet || entry.Packet->size == 0) {
            continue;
        }
        {
            std::unique_lock lock(state.SubPictureMutex);
            state.SubPictureChanged.wait(lock, [&] {
                return state.SubPictureSize < SubPictureQueueSize || state.SubtitleQueue.Aborted();
            });
            if (state.SubtitleQueue.Aborted()) {
                break;
            }
        }
        TSubPicture& slot = state.SubPictures[state.SubPictureWrite];
        int got = 0;
        if (ff::avcodec_decode_subtitle2(state.SubtitleDecoder.get(), &slot.Subtitle, &got,
                                         entry.Packet.get()) < 0 ||
            got == 0) {
            continue;
        }
        if (slot.Subtitle.format != 0) {
            ff::avsubtitle_free(&slot.Subtitle);
            continue;
        }
        slot.Pts = entry.Packet->pts != AV_NOPTS_VALUE
                       ? double(entry.Packet->pts) * av_q2d(state.SubtitleStream.load()->time_base)
                       : 0;
        PaletteToYuv(slot.Subtitle);
        slot.Filled = true;
        state.SubPictureWrite = (state.SubPictureWrite + 1) % SubPictureQueueSize;
        std::lock_guard lock(state.SubPictureMutex);
        ++state.SubPictureSize;
    }
}

void DropHeadSubPicture(TPlaybackState& state) {
    TSubPicture& head = state.SubPictures[state.SubPictureRead];
    ff::avsubtitle_free(&head.Subtitle);
    head.Filled = false;
    state.SubPictureRead = (state.SubPictureRead + 1) % SubPictureQueueSize;
    --state.SubPictureSize;
    state.SubPictureChanged.notify_all();
}

// Drops subpictures that have ended or been replaced by the time of the current picture.
void AdvanceSubPictures(TPlaybackState& state, double currentPts) {
    std::lock_guard lock(state.SubPictureMutex);
    if (state.SubtitleStreamChanged) {
        while (state.SubPictureSize > 0) {
            DropHeadSubPicture(state);
        }
        state.SubtitleStreamChanged = false;
        return;
    }
    while (state.SubPictureSize > 0) {
        const TSubPicture& head = state.SubPictures[state.SubPictureRead];
        const bool ended = currentPts > head.Pts + head.Subtitle.end_display_time / 1000.0;
        bool nextStarted = false;
        if (state.SubPictureSize > 1) {
            const TSubPicture& next =
                state.SubPictures[(state.SubPictureRead + 1) % SubPictureQueueSize];
            nextStarted = currentPts >= next.Pts + next.Subtitle.start_display_time / 1000.0;
        }
        if (!ended && !nextStarted) {
            break;
        }
        DropHeadSubPicture(state);
    }
}

std::uint8_t Blend(std::uint8_t under, std::uint8_t over, int alpha) {
    return std::uint8_t((under * (255 - alpha) + over * alpha) / 255);
}

void BlendRect(AVFrame* picture, const AVSubtitleRect& rect) {
    const auto* palette = rect.data[1];
    for (int y = 0; y < rect.h; ++y) {
        const int py = rect.y + y;
        if (py < 0 || py >= picture->height) {
            continue;
        }
        for (int x = 0; x < rect.w; ++x) {
            const int px = rect.x + x;
            if (px < 0 || px >= picture->width) {
                continue;
            }
            const std::uint8_t* colour = palette + 4 * rect.data[0][y * rect.linesize[0] + x];
            const int alpha = colour[0];
            if (alpha == 0) {
                continue;
            }
            std::uint8_t& luma = picture->data[0][py * picture->linesize[0] + px];
            luma = Blend(luma, colour[1], alpha);
            if ((px & 1) == 0 && (py & 1) == 0) {
                std::uint8_t& cb = picture->data[1][(py / 2) * picture->linesize[1] + px / 2];
                std::uint8_t& cr = picture->data[2][(py / 2) * picture->linesize[2] + px / 2];
                cb = Blend(cb, colour[2], alpha);
                cr = Blend(cr, colour[3], alpha);
            }
        }
    }
}

// Blends the subpicture due at the shown picture's time into it.
void BlendDueSubtitles(TPlaybackState& state, AVFrame* picture, double pts) {
    std::lock_guard lock(state.SubPictureMutex);
    if (state.SubPictureSize == 0) {
        return;
    }
    const TSubPicture& head = state.SubPictures[state.SubPictureRead];
    if (pts < head.Pts + head.Subtitle.start_display_time / 1000.0) {
        return;
    }
    if (ff::av_frame_make_writable(picture) < 0) {
        return;
    }
    for (unsigned i = 0; i < head.Subtitle.num_rects; ++i) {
        if (head.Subtitle.rects[i]->type == SUBTITLE_BITMAP) {
            BlendRect(picture, *head.Subtitle.rects[i]);
        }
    }
}

// ---- Drawing ---------------------------------------------------------------------------

TDisplayRect PictureRect(TPlaybackState& state, const AVFrame* picture) {
    const float forced = state.Host->AspectRatio();
    double ratio;
    if (forced < 0 && state.Width > 0 && state.Height > 0) {
        ratio = double(state.Width) / state.Height;
    } else if (forced > 0) {
        ratio = forced;
    } else {
        double pixelAspect = av_q2d(picture->sample_aspect_ratio);
        if (pixelAspect <= 0) {
            pixelAspect = 1.0;
        }
        ratio = pixelAspect * picture->width / std::max(picture->height, 1);
    }
    int height = state.Height;
    int width = int(std::lround(height * ratio)) & ~1;
    if (width > state.Width) {
        width = state.Width;
        height = int(std::lround(width / ratio)) & ~1;
    }
    TDisplayRect rect;
    rect.Left = state.XLeft + (state.Width - width) / 2;
    rect.Top = state.YTop + (state.Height - height) / 2;
    rect.Width = std::max(width, 1);
    rect.Height = std::max(height, 1);
    return rect;
}

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

// Draws each channel's recent samples as a white wave in its own band, on black.
void DrawWaveform(TPlaybackState& state) {
    const int width = state.Width & ~1;
    const int height = state.Height & ~1;
    const int channels = std::max(state.AudioChannels, 1);
    if (width <= 0 || height <= 0) {
        return;
    }
    std::vector<std::uint8_t> luma(std::size_t(width) * height, 16);
    std::vector<std::uint8_t> chroma(std::size_t(width / 2) * (height / 2), 128);
    std::vector<std::int16_t> samples(std::size_t(width) * channels);
    {
        std::lock_guard lock(state.AudioClockMutex);
        const std::size_t size = state.SampleArray.size();
        // The samples still waiting in the decode buffer have not been heard yet.
        const std::size_t unplayed = state.AudioUnplayedBytes / 2;
        std::size_t start = (state.SampleArrayIndex + 2 * size - unplayed - samples.size()) % size;
        // Align the window to a rising zero crossing of the first channel when one is near.
        for (std::size_t back = 0; back < 1000 && back < size; back += channels) {
            const std::size_t at = (start + size - back) % size;
            const std::size_t before = (at + size - channels) % size;
            if (state.SampleArray[before] < 0 && state.SampleArray[at] >= 0) {
                start = at;
                break;
            }
        }
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = state.SampleArray[(start + i) % size];
        }
    }
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
    picture.PTS = std::llround(AudioClock(state) * 1e6) - state.StartTime;
    TDisplayRect rect{state.XLeft, state.YTop, width, height};
    state.Host->Surface()->ShowPicture(picture, rect);
}

// ---- Reading ---------------------------------------------------------------------------

int DecodeInterrupt(void* opaque) {
    return static_cast<TPlaybackState*>(opaque)->AbortRequest ? 1 : 0;
}

bool OpenComponent(TPlaybackState& state, int index) {
    TPlaybackHost& host = *state.Host;
    AVStream* stream = state.Format->streams[index];
    const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContextPtr decoder(ff::avcodec_alloc_context3(codec));
    if (codec == nullptr || !decoder ||
        ff::avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) {
        host.Log(llError, "avcodec_open() failed.");
        return false;
    }
    decoder->pkt_timebase = stream->time_base;
    decoder->workaround_bugs = 1;
    decoder->err_recognition = AV_EF_CAREFUL;
    decoder->error_concealment = 3;
    decoder->thread_count = 1;
    AVDictionaryHolder decoderOptions;
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && !state.SubpicturePalette.empty()) {
        ff::av_dict_set(decoderOptions.Get(), "palette", state.SubpicturePalette.c_str(), 0);
    }
    {
        std::lock_guard lock(CodecLock());
        if (ff::avcodec_open2(decoder.get(), codec, decoderOptions.Get()) < 0) {
            host.Log(llError, "avcodec_open() failed.");
            return false;
        }
    }
    switch (stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
        const int channels = decoder->ch_layout.nb_channels;
        SDL_AudioSpec wanted{};
        SDL_AudioSpec obtained{};
        wanted.freq = decoder->sample_rate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = Uint8(channels == 1 || channels == 2 ? channels : 2);
        wanted.samples = AudioBufferSamples;
        wanted.callback = AudioCallback;
        wanted.userdata = &state;
        state.AudioChannels = wanted.channels;
        state.AudioRate = wanted.freq;
        state.AudioFrame.reset(ff::av_frame_alloc());
        state.SampleArray.assign(SampleArraySize, 0);
        state.AudioDecoder = std::move(decoder);
        state.AudioStream = stream;
        state.AudioIndex = index;
        state.AudioDevice = sdl::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (state.AudioDevice == 0) {
            host.Log(llError, std::string("SDL_OpenAudio() failed: ") + sdl::SDL_GetError());
            std::lock_guard lock(CodecLock());
            state.AudioDecoder.reset();
            state.AudioStream = nullptr;
            state.AudioIndex = -1;
            return false;
        }
        state.AudioHardwareBufferSize = int(obtained.size);
        stream->discard = AVDISCARD_DEFAULT;
        state.AudioDuration =
            stream->duration != AV_NOPTS_VALUE
                ? ff::av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000000})
                : -1;
        state.AudioBuffer.clear();
        state.AudioBufferIndex = 0;
        state.AudioQueue.Start();
        sdl::SDL_PauseAudioDevice(state.AudioDevice, 0);
        return true;
    }
    case AVMEDIA_TYPE_VIDEO:
        stream->discard = AVDISCARD_DEFAULT;
        state.VideoDecoder = std::move(decoder);
        state.VideoStream = stream;
        state.VideoIndex = index;
        state.VideoQueue.Start();
        state.VideoThread =
            std::thread([&state] { Guarded(state, "VideoThread", [&] { VideoThread(state); }); });
        return true;
    case AVMEDIA_TYPE_SUBTITLE:
        stream->discard = AVDISCARD_DEFAULT;
        state.SubtitleDecoder = std::move(decoder);
        state.SubtitleStream = stream;
        state.SubtitleIndex = index;
        state.SubtitleQueue.Start();
        state.SubtitleThread = std::thread(
            [&state] { Guarded(state, "SubtitleThread", [&] { SubtitleThread(state); }); });
        return true;
    default:
        std::lock_guard lock(CodecLock());
        decoder.reset();
        return false;
    }
}

// Ends a decoding thread: its queue is aborted and the condition it may wait on woken.
void StopDecodingThread(TPacketQueue& queue, std::mutex& mutex, std::condition_variable& changed,
                        std::thread& thread) {
    queue.Abort();
    {
        std::lock_guard lock(mutex);
        changed.notify_all();
    }
    if (thread.joinable()) {
        thread.join();
    }
    queue.Clear();
}

// Discards a closed component's stream again and closes its decoder.
void ReleaseComponent(std::atomic<AVStream*>& stream, int& index, AVCodecContextPtr& decoder) {
    stream.load()->discard = AVDISCARD_ALL;
    std::lock_guard lock(CodecLock());
    decoder.reset();
    stream = nullptr;
    index = -1;
}

void CloseComponents(TPlaybackState& state) {
    if (state.AudioIndex >= 0) {
        state.AudioQueue.Abort();
        sdl::SDL_CloseAudioDevice(state.AudioDevice);
        state.AudioDevice = 0;
        state.AudioQueue.Clear();
        state.AudioConverter.reset();
        state.AudioDuration = -1;
        ReleaseComponent(state.AudioStream, state.AudioIndex, state.AudioDecoder);
    }
    if (state.VideoIndex >= 0) {
        StopDecodingThread(state.VideoQueue, state.PictureMutex, state.PictureChanged,
                           state.VideoThread);
        ReleaseComponent(state.VideoStream, state.VideoIndex, state.VideoDecoder);
    }
    if (state.SubtitleIndex >= 0) {
        state.SubtitleStreamChanged = true;
        StopDecodingThread(state.SubtitleQueue, state.SubPictureMutex, state.SubPictureChanged,
                           state.SubtitleThread);
        ReleaseComponent(state.SubtitleStream, state.SubtitleIndex, state.SubtitleDecoder);
    }
}

bool IsCaptureFormat(const char* name) {
    const std::string format = name ? name : "";
    return format == "vfwcap" || format == "vfwcapture" || format == "video4linux2,v4l2" ||
           format == "x11grab";
}

// Opens the input and its decoders; false with the host's last error set.
bool OpenInput(TPlaybackState& state) {
    TPlaybackHost& host = *state.Host;
    AVDictionaryHolder options;
    if (host.FrameWidth() > 0 && host.FrameHeight() > 0) {
        ff::av_dict_set(options.Get(), "video_size",
                        FormatText("%dx%d", host.FrameWidth(), host.FrameHeight()).c_str(), 0);
    }
    int opened;
    TDvdInputChoice dvd;
    const bool dvdTitle = IsDvdAddress(state.FileName);
    try {
        opened = OpenMediaInput(state.Format, state.FormatIO, state.FileName, nullptr,
                                options.Get(), &dvd);
    } catch (const EngineException& e) {
        host.SetLastError(e.what());
        return false;
    }
    if (opened < 0) {
        host.SetLastError(ErrorText(state.FileName, opened));
        return false;
    }
    AVFormatContext* format = state.Format.get();
    format->interrupt_callback.callback = DecodeInterrupt;
    format->interrupt_callback.opaque = &state;
    int found;
    {
        std::lock_guard lock(CodecLock());
        found = ff::avformat_find_stream_info(format, nullptr);
    }
    if (found < 0) {
        host.SetLastError(
            FormatText("%s: could not find codec parameters", state.FileName.c_str()));
        return false;
    }
    if (format->pb != nullptr) {
        format->pb->eof_reached = 0;
    }
    state.ImageSequence = std::string(format->iformat->name) == "image2";
    state.Capture = IsCaptureFormat(format->iformat->name);
    state.StartTime = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
    state.Duration = format->duration != AV_NOPTS_VALUE ? format->duration : -1;

    for (unsigned i = 0; i < format->nb_streams; ++i) {
        format->streams[i]->discard = AVDISCARD_ALL;
    }
    int audio = -1;
    int video = -1;
    int subtitle = -1;
    // A DVD title plays the audio track and subpicture its address chooses.
    if (!host.DisableAudio()) {
        audio = dvdTitle ? KeepDvdAudioStream(format, dvd.param.AudioID)
                         : ff::av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    }
    if (!host.DisableVideo()) {
        video = ff::av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        subtitle = dvdTitle
                       ? FindOrAddDvdSubpictureStream(format, dvd.param.SubtitleID)
                       : ff::av_find_best_stream(format, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
        state.SubpicturePalette = dvdTitle ? DvdPaletteText(dvd.info) : std::string();
    }
    if (audio >= 0) {
        OpenComponent(state, audio);
    }
    const bool videoOpened = video >= 0 && OpenComponent(state, video);
    if (subtitle >= 0) {
        OpenComponent(state, subtitle);
    }
    if (!videoOpened && !host.DisableDisplay()) {
        state.ShowMode = 2;
    }
    if (state.AudioIndex < 0 && state.VideoIndex < 0) {
        host.SetLastError(
            FormatText("%s: could not open codecs, no stream to play.", state.FileName.c_str()));
        return false;
    }
    return true;
}

void PerformSeek(TPlaybackState& state, bool& endOfFile) {
    TPlaybackHost& host = *state.Host;
    AVFormatContext* format = state.Format.get();
    const std::int64_t target = state.SeekTarget;
    const std::int64_t relative = state.SeekRelative;
    const std::int64_t lowest =
        relative > 0 ? target - relative + 2 : std::numeric_limits<std::int64_t>::min();
    const std::int64_t highest =
        relative < 0 ? target - relative - 2 : std::numeric_limits<std::int64_t>::max();
    int result = ff::avformat_seek_file(format, -1, lowest, target, highest, state.SeekFlags);
    if (result < 0) {
        result = ff::av_seek_frame(format, -1, target, state.SeekFlags);
    }
    if (result < 0) {
        result = ff::av_seek_frame(format, -1, target, state.SeekFlags ^ AVSEEK_FLAG_BACKWARD);
    }
    if (result < 0) {
        host.Log(llError, FormatText("%s: error while seeking", state.FileName.c_str()));
        if (state.VideoIndex >= 0) {
            host.FrameDecoded.Set();
        }
        host.Seeking = false;
    } else {
        if (state.AudioIndex >= 0) {
            state.AudioQueue.Clear();
            state.AudioQueue.PutFlush();
        }
        if (state.SubtitleIndex >= 0) {
            state.SubtitleQueue.Clear();
            state.SubtitleQueue.PutFlush();
        }
        if (state.VideoIndex >= 0) {
            state.VideoQueue.Clear();
            state.FirstFrameAfterFlush = false;
            host.FrameDecoded.Reset();
            state.VideoQueue.PutFlush();
        }
        state.StalePictures = true;
    }
    state.EofLogged = false;
    state.Drained = false;
    state.SeekRequest = false;
    host.SeekDone.Set();
    if (state.VideoIndex < 0) {
        host.Seeking = false;
    }
    endOfFile = false;
}

bool QueuesHaveEnough(TPlaybackState& state) {
    const std::int64_t total =
        state.AudioQueue.Bytes() + state.VideoQueue.Bytes() + state.SubtitleQueue.Bytes();
    if (total > MaxQueueBytes) {
        return true;
    }
    return (state.AudioIndex < 0 || state.AudioQueue.Bytes() > EnoughAudioBytes) &&
           (state.VideoIndex < 0 || state.VideoQueue.Count() > EnoughPackets) &&
           (state.SubtitleIndex < 0 || state.SubtitleQueue.Count() > EnoughPackets);
}

void ReadLoop(TPlaybackState& state) {
    TPlaybackHost& host = *state.Host;
    AVFormatContext* format = state.Format.get();
    AVPacketPtr packet(ff::av_packet_alloc());
    bool endOfFile = false;
    bool endQueued = false;
    while (!state.AbortRequest) {
        if (state.Paused != state.LastPaused) {
            state.LastPaused = state.Paused;
            if (state.LastPaused) {
                state.ReadPauseReturn = ff::av_read_pause(format);
            } else {
                ff::av_read_play(format);
            }
        }
        if (state.SeekRequest) {
            PerformSeek(state, endOfFile);
            endQueued = false;
        }
        if (QueuesHaveEnough(state)) {
            Sleep(10ms);
            continue;
        }
        if (endOfFile || (format->pb != nullptr && ff::avio_feof(format->pb))) {
            if (state.VideoIndex >= 0) {
                if (!endQueued) {
                    state.VideoQueue.PutEnd();
                    endQueued = true;
                }
                host.FrameDecoded.Set();
            }
            Sleep(10ms);
            if (state.AudioQueue.Bytes() + state.VideoQueue.Bytes() + state.SubtitleQueue.Bytes() ==
                0) {
                state.Drained = true;
            }
            continue;
        }
        state.InsideRead = true;
        const int result = ff::av_read_frame(format, packet.get());
        state.InsideRead = false;
        if (state.AbortRequest) {
            ff::av_packet_unref(packet.get());
            break;
        }
        if (result == AVERROR(EAGAIN)) {
            Sleep(10ms);
            continue;
        }
        if (result < 0) {
            if (state.VideoIndex >= 0) {
                host.FrameDecoded.Set();
            }
            if (!state.ImageSequence && !state.EofLogged) {
                state.EofLogged = true;
                if (result == AVERROR_EOF) {
                    host.Log(llInfo, FormatText("reach end of file: %s", state.FileName.c_str()));
                } else {
                    host.Log(llError, FormatText("error #%d while reading file: %s", result,
                                                 state.FileName.c_str()));
                }
            }
            if (result == AVERROR_EOF) {
                endOfFile = true;
            } else if (format->pb != nullptr && format->pb->error != 0) {
                // A broken input still counts as ended, so playback can report its end.
                endOfFile = true;
            } else {
                Sleep(100ms);
            }
            continue;
        }
        if (packet->stream_index == state.AudioIndex) {
            state.AudioQueue.Put(packet.get());
        } else if (packet->stream_index == state.VideoIndex) {
            state.VideoQueue.Put(packet.get());
        } else if (packet->stream_index == state.SubtitleIndex) {
            state.SubtitleQueue.Put(packet.get());
        }
        ff::av_packet_unref(packet.get());
    }
}

void ReadThread(TPlaybackState& state) {
    TPlaybackHost& host = *state.Host;
    bool opened = false;
    Guarded(state, "ReadThread", [&] { opened = OpenInput(state); });
    if (opened) {
        state.OpenResult = 1;
        Guarded(state, "ReadThread", [&] { ReadLoop(state); });
        while (!state.AbortRequest) {
            Sleep(100ms);
        }
    } else {
        state.OpenResult = -1;
    }
    CloseComponents(state);
    try {
        host.Probe().AttachContext(nullptr);
    } catch (const EngineException&) {
        // The libraries are gone; the probe holds nothing of this file anyway.
    }
    state.Format.reset();
    state.FormatIO.reset();
    if (!opened) {
        PostEvent(QuitPlaybackEventType);
        state.OpenResult = -2;
    }
}

void RefreshThread(TPlaybackState& state) {
    while (!state.AbortRequest) {
        if (!state.RefreshPending.exchange(true)) {
            PostEvent(RefreshEventType);
        }
        Sleep(state.ShowMode != 0 && state.VideoIndex < 0 ? 20ms : 5ms);
    }
}

} // namespace

// ---- Packet queue ----------------------------------------------------------------------

void TPacketQueue::Start() {
    {
        std::lock_guard lock(mutex_);
        abort_ = false;
    }
    PutFlush();
}

void TPacketQueue::Append(TQueuedPacket entry, int size) {
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
        bytes_ += size + PacketOverhead;
    }
    changed_.notify_all();
}

void TPacketQueue::Put(AVPacket* packet) {
    AVPacketPtr copy(ff::av_packet_alloc());
    if (!copy || ff::av_packet_ref(copy.get(), packet) < 0) {
        return;
    }
    const int size = copy->size;
    Append(TQueuedPacket{std::move(copy), false}, size);
}

void TPacketQueue::PutFlush() {
    Append(TQueuedPacket{nullptr, true}, 0);
}

void TPacketQueue::PutEnd() {
    Append(TQueuedPacket{AVPacketPtr(ff::av_packet_alloc()), false}, 0);
}

int TPacketQueue::Get(TQueuedPacket& entry, bool block) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (abort_) {
            return -1;
        }
        if (!entries_.empty()) {
            entry = std::move(entries_.front());
            entries_.pop_front();
            bytes_ -= (entry.Packet ? entry.Packet->size : 0) + PacketOverhead;
            return 1;
        }
        if (!block) {
            return 0;
        }
        changed_.wait(lock);
    }
}

void TPacketQueue::Clear() {
    std::deque<TQueuedPacket> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(entries_);
        bytes_ = 0;
    }
}

void TPacketQueue::Abort() {
    {
        std::lock_guard lock(mutex_);
        abort_ = true;
    }
    changed_.notify_all();
}

bool TPacketQueue::Aborted() const {
    std::lock_guard lock(mutex_);
    return abort_;
}

std::int64_t TPacketQueue::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

int TPacketQueue::Count() const {
    std::lock_guard lock(mutex_);
    return int(entries_.size());
}

// ---- State -----------------------------------------------------------------------------

TPlaybackState::~TPlaybackState() {
    for (TSubPicture& sub : SubPictures) {
        if (sub.Filled) {
            ff::avsubtitle_free(&sub.Subtitle);
        }
    }
    if (ff::av_channel_layout_uninit != nullptr) {
        ff::av_channel_layout_uninit(&AudioSourceLayout);
    }
}

double WallClock() {
    return double(ff::av_gettime_relative()) / 1e6;
}

std::shared_ptr<TPlaybackState> OpenStream(TPlaybackHost& host, const std::string& fileName,
                                           bool paused) {
    auto state = std::make_shared<TPlaybackState>();
    state->Host = &host;
    state->FileName = fileName;
    if (paused) {
        state->Paused = true;
        state->OpenPaused = 1;
        host.Step = false;
    }
    {
        std::lock_guard lock(state->ClockMutex);
        state->FrameTimer = WallClock();
        state->FrameLastPts = NoFrameTime;
    }
    TPlaybackState& opened = *state;
    opened.ReadThread = std::thread([&opened] { ReadThread(opened); });
    while (state->OpenResult == 0) {
        WaitRound(10ms);
    }
    if (state->OpenResult == 1) {
        if (state->VideoIndex < 0 && !host.DisableDisplay()) {
            state->ShowMode = 1;
        }
        state->RefreshThread = std::thread([&opened] { RefreshThread(opened); });
        return state;
    }
    while (state->OpenResult == -1) {
        WaitRound(10ms);
    }
    state->ReadThread.join();
    return nullptr;
}

void CloseStream(TPlaybackState& state) {
    state.AbortRequest = true;
    if (state.ReadThread.joinable()) {
        state.ReadThread.join();
    }
    if (state.RefreshThread.joinable()) {
        state.RefreshThread.join();
    }
    std::lock_guard lock(state.PictureMutex);
    for (TPictureSlot& slot : state.Pictures) {
        slot.Frame.reset();
        slot.Allocated = false;
    }
    state.ShownPicture.reset();
}

void TogglePause(TPlaybackState& state) {
    TPlaybackHost& host = *state.Host;
    if (!host.SeekDone.Wait(250ms)) {
        host.SeekDone.Set();
    }
    if (state.AbortRequest) {
        return;
    }
    if (state.Paused) {
        {
            std::lock_guard lock(state.ClockMutex);
            const double now = WallClock();
            state.FrameTimer += now + state.VideoCurrentPtsDrift - state.VideoCurrentPts;
            if (state.ReadPauseReturn != AVERROR(ENOSYS)) {
                state.VideoCurrentPts = state.VideoCurrentPtsDrift + now;
            }
            state.VideoCurrentPtsDrift = state.VideoCurrentPts - now;
        }
        state.Paused = false;
    } else {
        if (state.VideoIndex >= 0 && !host.FrameDecoded.Wait(250ms)) {
            host.FrameDecoded.Set();
        }
        if (state.AbortRequest) {
            return;
        }
        state.Paused = true;
    }
}

void RequestSeek(TPlaybackState& state, int flags, bool wait, std::int64_t target,
                 std::int64_t relative) {
    if (state.SeekRequest) {
        return;
    }
    TPlaybackHost& host = *state.Host;
    host.Seeking = true;
    state.PausedAtSeek = bool(state.Paused);
    state.SeekTarget = target;
    state.SeekRelative = relative;
    state.SeekFlags = flags & SeekFlagsMask;
    host.SeekDone.Reset();
    state.SeekRequest = true;
    if (wait) {
        WaitForEvent(host.SeekDone, 100ms, state.AbortRequest);
        if (state.VideoIndex >= 0) {
            WaitForEvent(host.FrameDecoded, 100ms, state.AbortRequest);
        }
    }
}

double AudioClock(TPlaybackState& state) {
    std::lock_guard lock(state.AudioClockMutex);
    if (!state.CallbackValid) {
        return state.AudioClockValue;
    }
    // The device plays the samples of the last callback from the moment it was called.
    const double elapsed = double(ff::av_gettime_relative() - state.CallbackTime) / 1e6;
    return state.CallbackPts + std::clamp(elapsed, 0.0, state.CallbackPlayed);
}

double VideoClock(TPlaybackState& state) {
    std::lock_guard lock(state.ClockMutex);
    if (state.Paused) {
        return state.VideoCurrentPts;
    }
    if (state.VideoCurrentPtsDrift != 0) {
        return WallClock() + state.VideoCurrentPtsDrift;
    }
    return double(state.StartTime) / 1e6;
}

double MasterClock(TPlaybackState& state) {
    return state.AudioStream != nullptr ? AudioClock(state) : VideoClock(state);
}

int OpenWindow(TPlaybackState& state, bool force) {
    TPlaybackHost& host = *state.Host;
    int width = host.ScreenWidth();
    int height = host.ScreenHeight();
    if (width <= 0 || height <= 0) {
        const AVStream* video = state.VideoStream;
        if (state.FilterWidth > 0 && state.FilterHeight > 0) {
            width = state.FilterWidth & ~1;
            height = state.FilterHeight & ~1;
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
    if (!force && state.SurfaceOpened && state.Width == width && state.Height == height) {
        return 0;
    }
    TVideoSurface* surface = host.Surface();
    if (surface == nullptr || !surface->SetVideoMode(width, height)) {
        host.Log(llError, "SDL: could not set video mode.");
        return -1;
    }
    int areaWidth = 0;
    int areaHeight = 0;
    surface->GetClientSize(areaWidth, areaHeight);
    state.Width = areaWidth > 0 ? areaWidth : width;
    state.Height = areaHeight > 0 ? areaHeight : height;
    state.SurfaceOpened = true;
    return 0;
}

void DisplayPicture(TPlaybackState& state) {
    // Without a drawing area (display disabled) there is nothing to show.
    TVideoSurface* surface = state.Host->Surface();
    if (surface == nullptr || (!state.SurfaceOpened && OpenWindow(state, false) < 0)) {
        return;
    }
    if (state.AudioStream != nullptr && state.ShowMode != 0 && state.VideoStream == nullptr) {
        DrawWaveform(state);
        return;
    }
    if (state.VideoStream == nullptr || !state.ShownPicture ||
        state.ShownPicture->data[0] == nullptr) {
        return;
    }
    double pts;
    {
        std::lock_guard lock(state.ClockMutex);
        pts = state.VideoCurrentPts;
    }
    if (state.SubtitleStream != nullptr) {
        BlendDueSubtitles(state, state.ShownPicture.get(), pts);
    }
    surface->ShowPicture(
        PictureOf(state.ShownPicture.get(), std::llround(pts * 1e6) - state.StartTime),
        PictureRect(state, state.ShownPicture.get()));
}

void RefreshDisplay(TPlaybackState& state, bool fromRefreshEvent) {
    bool notDue = false;
    bool dropped = false;
    if (state.VideoStream != nullptr) {
        bool show = false;
        bool redisplay = false;
        double shownPts = 0;
        {
            std::unique_lock lock(state.PictureMutex);
            for (;;) {
                if (state.PictureSize == 0) {
                    redisplay = !fromRefreshEvent;
                    break;
                }
                const double now = WallClock();
                TPictureSlot& head = state.Pictures[state.PictureRead];
                if (now < head.Target) {
                    notDue = true;
                    break;
                }
                {
                    std::lock_guard clockLock(state.ClockMutex);
                    state.VideoCurrentPts = head.Pts;
                    state.VideoCurrentPtsDrift = head.Pts - now;
                    state.VideoCurrentPos = head.Pos;
                }
                double nextTarget;
                if (state.PictureSize > 1) {
                    nextTarget = state.Pictures[(state.PictureRead + 1) % PictureQueueSize].Target;
                } else {
                    nextTarget = head.Target + state.VideoClockValue - head.Pts;
                }
                if ((now > nextTarget && !state.Capture) || state.StalePictures) {
                    state.SkipFactor *= 1 + SkipFactorStep;
                    if (state.PictureSize > 1 || now > nextTarget + LateDropMargin ||
                        state.StalePictures) {
                        state.PictureRead = (state.PictureRead + 1) % PictureQueueSize;
                        --state.PictureSize;
                        state.PictureChanged.notify_all();
                        dropped = true;
                        continue;
                    }
                }
                if (!state.ShownPicture) {
                    state.ShownPicture.reset(ff::av_frame_alloc());
                }
                ff::av_frame_unref(state.ShownPicture.get());
                ff::av_frame_ref(state.ShownPicture.get(), head.Frame.get());
                shownPts = head.Pts;
                show = true;
                if (fromRefreshEvent) {
                    state.PictureRead = (state.PictureRead + 1) % PictureQueueSize;
                    --state.PictureSize;
                    state.PictureChanged.notify_all();
                }
                break;
            }
        }
        if (show && state.SubtitleStream != nullptr) {
            AdvanceSubPictures(state, shownPts);
        }
        if (show || redisplay) {
            DisplayPicture(state);
        }
    } else if (state.AudioStream != nullptr) {
        DisplayPicture(state);
    }
    if (!notDue && !dropped) {
        state.Host->UpdatePosition(state);
    }
}

void RequestQuit() {
    PostEvent(QuitPlaybackEventType);
}

void RequestRelayout() {
    PostEvent(RelayoutEventType);
}

AVFramePtr CurrentPicture(TPlaybackState& state, double& pts) {
    std::lock_guard lock(state.PictureMutex);
    const TPictureSlot& head = state.Pictures[state.PictureRead];
    pts = head.Pts;
    if (!head.Allocated || !head.Frame || head.Frame->data[0] == nullptr) {
        return nullptr;
    }
    AVFramePtr picture(ff::av_frame_alloc());
    ff::av_frame_ref(picture.get(), head.Frame.get());
    return picture;
}

} // namespace tessaro
