#include "player/AudioOutput.h"

#include "player/PacketQueue.h"
#include "player/PlaybackClock.h"
#include "runtime/SDLBindings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tessaro {
namespace {

constexpr int AudioBufferSamples = 1024;
constexpr int SilenceBytes = 1024;
constexpr std::size_t WaveformSamples = 128 * 1024;
constexpr double NoTime = std::numeric_limits<double>::quiet_NaN();

} // namespace

TAudioOutput::TAudioOutput(TPlaybackHost& host, const TPlaybackControl& control,
                           TPacketQueue& packets, TPlaybackClock& clock)
    : host_(host), control_(control), packets_(packets), clock_(clock) {}

TAudioOutput::~TAudioOutput() {
    if (ff::av_channel_layout_uninit != nullptr) {
        ff::av_channel_layout_uninit(&audio_.SourceLayout);
    }
}

// ---- Opening and closing (reading thread) ---------------------------------------------------

bool TAudioOutput::Open(AVStream* stream, AVCodecContextPtr decoder) {
    const int channels = decoder->ch_layout.nb_channels;
    SDL_AudioSpec wanted{};
    SDL_AudioSpec obtained{};
    wanted.freq = decoder->sample_rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = Uint8(channels == 1 || channels == 2 ? channels : 2);
    wanted.samples = AudioBufferSamples;
    wanted.callback = Callback;
    wanted.userdata = this;
    audio_.Channels = wanted.channels;
    audio_.Rate = wanted.freq;
    audio_.Frame.reset(ff::av_frame_alloc());
    {
        std::lock_guard lock(waveformMutex_);
        samples_.assign(WaveformSamples, 0);
    }
    component_.Take(stream, std::move(decoder));
    clock_.SetAudioPresent(true);
    audio_.Device = sdl::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (audio_.Device == 0) {
        host_.Log(llError, std::string("SDL_OpenAudio() failed: ") + sdl::SDL_GetError());
        component_.Release();
        clock_.SetAudioPresent(false);
        return false;
    }
    audio_.HardwareBufferSize = int(obtained.size);
    duration_ = stream->duration != AV_NOPTS_VALUE
                    ? ff::av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000000})
                    : -1;
    audio_.Buffer.clear();
    audio_.BufferIndex = 0;
    packets_.Start();
    sdl::SDL_PauseAudioDevice(audio_.Device, 0);
    return true;
}

void TAudioOutput::Close() {
    if (component_.Stream() == nullptr) {
        return;
    }
    packets_.Abort();
    sdl::SDL_CloseAudioDevice(audio_.Device);
    audio_.Device = 0;
    packets_.Clear();
    audio_.Converter.reset();
    duration_ = -1;
    component_.Release();
    clock_.SetAudioPresent(false);
}

// ---- Decoding (SDL's audio thread) ----------------------------------------------------------

bool TAudioOutput::EnsureConverter(AVFrame* frame) {
    if (audio_.Converter && audio_.SourceFormat == frame->format &&
        audio_.SourceRate == frame->sample_rate &&
        ff::av_channel_layout_compare(&audio_.SourceLayout, &frame->ch_layout) == 0) {
        return true;
    }
    audio_.Converter.reset();
    AVChannelLayout outLayout{};
    ff::av_channel_layout_default(&outLayout, audio_.Channels);
    SwrContext* converter = nullptr;
    const int made = ff::swr_alloc_set_opts2(&converter, &outLayout, AV_SAMPLE_FMT_S16, audio_.Rate,
                                             &frame->ch_layout, AVSampleFormat(frame->format),
                                             frame->sample_rate, 0, nullptr);
    audio_.Converter.reset(converter);
    if (made < 0 || ff::swr_init(converter) < 0) {
        audio_.Converter.reset();
        const char* name = ff::av_get_sample_fmt_name(AVSampleFormat(frame->format));
        host_.Log(llError, FormatText("Cannot convert %s sample format to %s sample format",
                                      name ? name : "?", "s16"));
        return false;
    }
    audio_.SourceFormat = frame->format;
    audio_.SourceRate = frame->sample_rate;
    ff::av_channel_layout_uninit(&audio_.SourceLayout);
    ff::av_channel_layout_copy(&audio_.SourceLayout, &frame->ch_layout);
    return true;
}

void TAudioOutput::KeepForWaveform(const std::int16_t* samples, std::size_t count) {
    if (control_.ShowMode == 0) {
        return;
    }
    std::lock_guard lock(waveformMutex_);
    for (std::size_t i = 0; i < count; ++i) {
        samples_[samplesIndex_] = samples[i];
        samplesIndex_ = (samplesIndex_ + 1) % samples_.size();
    }
}

// Converts one decoded frame into the buffer; its size in bytes, or -1.
int TAudioOutput::ConvertFrame(AVFrame* frame) {
    if (!EnsureConverter(frame)) {
        return -1;
    }
    const int outSamples = ff::swr_get_out_samples(audio_.Converter.get(), frame->nb_samples);
    audio_.Buffer.resize(std::size_t(std::max(outSamples, 0)) * 2 * audio_.Channels);
    std::uint8_t* out = audio_.Buffer.data();
    const int converted =
        ff::swr_convert(audio_.Converter.get(), &out, outSamples,
                        const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        host_.Log(llError, "av_audio_convert() failed");
        return -1;
    }
    const int bytes = converted * 2 * audio_.Channels;
    audio_.Buffer.resize(std::size_t(bytes));
    KeepForWaveform(reinterpret_cast<const std::int16_t*>(out),
                    std::size_t(converted) * audio_.Channels);
    const double pts = frame->pts != AV_NOPTS_VALUE
                           ? double(frame->pts) * av_q2d(component_.Stream()->time_base)
                           : NoTime;
    clock_.AudioDecoded(pts, double(bytes) / BytesPerSecond());
    return bytes;
}

// Decodes the next block of audio into the buffer; its size, or -1 when there is none now
// (paused, aborted, nothing queued).
int TAudioOutput::DecodeFrame() {
    AVCodecContext* decoder = component_.Decoder();
    for (;;) {
        const int received = ff::avcodec_receive_frame(decoder, audio_.Frame.get());
        if (received >= 0) {
            const int bytes = ConvertFrame(audio_.Frame.get());
            ff::av_frame_unref(audio_.Frame.get());
            if (bytes > 0) {
                return bytes;
            }
            continue;
        }
        if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) {
            host_.Log(llInfo, "avcodec_decode_audio2() failed");
        }
        if (clock_.Paused() || packets_.Aborted()) {
            return -1;
        }
        TQueuedPacket entry;
        if (packets_.Get(entry, false) <= 0) {
            return -1;
        }
        if (entry.Flush) {
            ff::avcodec_flush_buffers(decoder);
            continue;
        }
        if (ff::avcodec_send_packet(decoder, entry.Packet.get()) < 0) {
            host_.Log(llInfo, "avcodec_decode_audio2() failed");
        }
    }
}

void TAudioOutput::Callback(void* opaque, Uint8* stream, int length) {
    static_cast<TAudioOutput*>(opaque)->FillDeviceBuffer(stream, length);
}

void TAudioOutput::FillDeviceBuffer(Uint8* stream, int length) {
    const double callbackTime = clock_.Now();
    const int bytesPerSecond = BytesPerSecond();
    const int frameBytes = 2 * audio_.Channels;
    double firstPts = NoTime;
    int realBytes = 0;
    int written = 0;
    std::memset(stream, 0, std::size_t(length));
    while (length > 0) {
        if (audio_.BufferIndex >= audio_.Buffer.size()) {
            const int size = DecodeFrame();
            if (packets_.Aborted()) {
                break;
            }
            const bool silent = size < 0;
            if (silent) {
                audio_.Buffer.assign(SilenceBytes, 0);
            }
            audio_.BufferIndex = 0;
            audio_.BufferSilent = silent;
        }
        const bool silent = audio_.BufferSilent;
        const int remaining = int(audio_.Buffer.size() - audio_.BufferIndex);
        const int chunk = std::min(remaining, length);
        const std::uint8_t* source = audio_.Buffer.data() + audio_.BufferIndex;
        const double chunkPts = clock_.DecodedAudioEnd() - double(remaining) / bytesPerSecond;
        if (!silent && !host_.Mute()) {
            sdl::SDL_MixAudioFormat(stream, source, AUDIO_S16SYS, Uint32(chunk),
                                    host_.AudioVolume());
        }
        if (!silent) {
            if (std::isnan(firstPts)) {
                firstPts = chunkPts - double(realBytes) / bytesPerSecond;
            }
            realBytes += chunk;
        }
        host_.AudioConsumed(reinterpret_cast<const std::int16_t*>(stream), chunk / frameBytes,
                            audio_.Channels, silent ? NoTime : chunkPts,
                            callbackTime + double(written) / bytesPerSecond);
        stream += chunk;
        length -= chunk;
        written += chunk;
        audio_.BufferIndex += std::size_t(chunk);
    }
    {
        std::lock_guard lock(waveformMutex_);
        unplayedBytes_ = audio_.Buffer.size() - std::min(audio_.BufferIndex, audio_.Buffer.size());
    }
    if (realBytes > 0) {
        clock_.AudioHandedOver(firstPts, double(realBytes) / bytesPerSecond, callbackTime);
    } else {
        // Silence does not move the clock: it stays where the last real sample ended.
        clock_.SilenceHandedOver();
    }
}

// ---- The waveform (event loop) --------------------------------------------------------------

void TAudioOutput::CopyRecentSamples(std::vector<std::int16_t>& samples) const {
    const std::size_t channels = std::size_t(std::max(audio_.Channels, 1));
    std::lock_guard lock(waveformMutex_);
    const std::size_t size = samples_.size();
    if (size == 0) {
        std::fill(samples.begin(), samples.end(), std::int16_t(0));
        return;
    }
    // The samples still waiting in the decode buffer have not been heard yet.
    const std::size_t unplayed = unplayedBytes_ / 2;
    std::size_t start = (samplesIndex_ + 2 * size - unplayed - samples.size()) % size;
    // Align the window to a rising zero crossing of the first channel when one is near.
    for (std::size_t back = 0; back < 1000 && back < size; back += channels) {
        const std::size_t at = (start + size - back) % size;
        const std::size_t before = (at + size - channels) % size;
        if (samples_[before] < 0 && samples_[at] >= 0) {
            start = at;
            break;
        }
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = samples_[(start + i) % size];
    }
}

} // namespace tessaro
