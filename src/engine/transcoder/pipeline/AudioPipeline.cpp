#include "transcoder/pipeline/AudioPipeline.h"

#include "base/EngineException.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaro {

namespace {

constexpr int ResamplerFilterSize = 16;
constexpr int ResamplerPhaseShift = 10;
constexpr double ResamplerCutoff = 0.8;

template <typename T> T ClipTo(long long v, long long lo, long long hi) {
    return T(std::clamp(v, lo, hi));
}

// Integer samples: (s * vol + 128) >> 8, clipped to the type's range (the 16-bit rule of
// "vol", applied alike to the other widths).
template <typename T> void ScaleIntegerSamples(std::uint8_t* data, int count, int volume) {
    auto* p = reinterpret_cast<T*>(data);
    for (int i = 0; i < count; ++i) {
        p[i] = ClipTo<T>((p[i] * (long long)volume + 128) >> 8, std::numeric_limits<T>::min(),
                         std::numeric_limits<T>::max());
    }
}

// Floating-point samples: the same factor, clipped to the range 16-bit samples can hold.
template <typename T> void ScaleFloatSamples(std::uint8_t* data, int count, int volume) {
    auto* p = reinterpret_cast<T*>(data);
    const T gain = T(volume) / T(256);
    for (int i = 0; i < count; ++i) {
        p[i] = std::clamp(p[i] * gain, T(-1), T(32767) / T(32768));
    }
}

void ScaleSamples(std::uint8_t* data, int count, AVSampleFormat format, int volume) {
    switch (ff::av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        for (int i = 0; i < count; ++i) {
            const long long s = (long long)data[i] - 128;
            data[i] = std::uint8_t(ClipTo<int>(((s * volume + 128) >> 8), -128, 127) + 128);
        }
        break;
    case AV_SAMPLE_FMT_S16:
        ScaleIntegerSamples<std::int16_t>(data, count, volume);
        break;
    case AV_SAMPLE_FMT_S32:
        ScaleIntegerSamples<std::int32_t>(data, count, volume);
        break;
    case AV_SAMPLE_FMT_FLT:
        ScaleFloatSamples<float>(data, count, volume);
        break;
    case AV_SAMPLE_FMT_DBL:
        ScaleFloatSamples<double>(data, count, volume);
        break;
    default: // 64-bit integer samples are left as they are
        break;
    }
}

} // namespace

TAudioPipeline::~TAudioPipeline() {
    ff::av_channel_layout_uninit(&inLayout_);
    ff::av_channel_layout_uninit(&format_.ch_layout);
}

void TAudioPipeline::Open(const AVCodecContext* encoder, int volume, TFrameSink sink) {
    format_.sample_fmt = encoder->sample_fmt;
    format_.sample_rate = encoder->sample_rate;
    ff::av_channel_layout_uninit(&format_.ch_layout);
    ff::av_channel_layout_copy(&format_.ch_layout, &encoder->ch_layout);
    open_ = true;
    volume_ = volume;
    sink_ = std::move(sink);
    const bool variable = (encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    frameSize_ = variable ? 0 : encoder->frame_size;
    if (frameSize_ <= 1) {
        frameSize_ = 0;
    }
    smallLastFrame_ = (encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    fifo_.reset(ff::av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels,
                                        std::max(frameSize_, 1024)));
    outFrame_.reset(ff::av_frame_alloc());
    if (!fifo_ || !outFrame_) {
        throw EngineException("av_fifo_alloc fail");
    }
}

int TAudioPipeline::SamplesQueued() const {
    return fifo_ ? ff::av_audio_fifo_size(fifo_.get()) : 0;
}

void TAudioPipeline::EnsureResampler(const AVFrame* decoded) {
    const bool same = inFormat_ == decoded->format && inRate_ == decoded->sample_rate &&
                      ff::av_channel_layout_compare(&inLayout_, &decoded->ch_layout) == 0;
    if (same && (resampler_ || passThrough_)) {
        return;
    }
    resampler_.reset();
    ff::av_channel_layout_uninit(&inLayout_);
    ff::av_channel_layout_copy(&inLayout_, &decoded->ch_layout);
    inFormat_ = decoded->format;
    inRate_ = decoded->sample_rate;
    passThrough_ = inFormat_ == format_.sample_fmt && inRate_ == format_.sample_rate &&
                   ff::av_channel_layout_compare(&inLayout_, &format_.ch_layout) == 0;
    if (passThrough_) {
        return;
    }
    SwrContext* swr = nullptr;
    int ret =
        ff::swr_alloc_set_opts2(&swr, &format_.ch_layout, format_.sample_fmt, format_.sample_rate,
                                &inLayout_, AVSampleFormat(inFormat_), inRate_, 0, nullptr);
    resampler_.reset(swr);
    if (ret >= 0 && inRate_ != format_.sample_rate) {
        ff::av_opt_set_int(swr, "filter_size", ResamplerFilterSize, 0);
        ff::av_opt_set_int(swr, "phase_shift", ResamplerPhaseShift, 0);
        ff::av_opt_set_int(swr, "linear_interp", 0, 0);
        ff::av_opt_set_double(swr, "cutoff", ResamplerCutoff, 0);
    }
    if (ret < 0 || ff::swr_init(swr) < 0) {
        resampler_.reset();
        throw EngineException(FormatText(
            "Can not resample %d channels @ %d Hz to %d channels @ %d Hz", inLayout_.nb_channels,
            inRate_, format_.ch_layout.nb_channels, format_.sample_rate));
    }
}

bool TAudioPipeline::Compensate(int delta, int distance) {
    if (!resampler_) {
        // Compensation needs a resampler even when the formats match.
        SwrContext* swr = nullptr;
        if (ff::swr_alloc_set_opts2(&swr, &format_.ch_layout, format_.sample_fmt,
                                    format_.sample_rate, &inLayout_, AVSampleFormat(inFormat_),
                                    inRate_, 0, nullptr) < 0) {
            ff::swr_free(&swr);
            return false;
        }
        resampler_.reset(swr);
        if (ff::swr_init(swr) < 0) {
            resampler_.reset();
            return false;
        }
        passThrough_ = false;
    }
    return ff::swr_set_compensation(resampler_.get(), delta, distance) >= 0;
}

void TAudioPipeline::EnsureConvertBuffer(int samples) {
    const int channels = format_.ch_layout.nb_channels;
    if (samples <= convertCapacity_ && !convertPlanes_.empty()) {
        return;
    }
    convertPlanes_.assign(std::max(channels, 1), nullptr);
    convertBuffer_.reset();
    if (ff::av_samples_alloc(convertPlanes_.data(), nullptr, channels, samples, format_.sample_fmt,
                             0) < 0) {
        throw EngineException("Out of memory in do_audio_out");
    }
    convertBuffer_.reset(convertPlanes_[0]);
    convertCapacity_ = samples;
}

void TAudioPipeline::ApplyVolume(std::uint8_t** planes, int samples) const {
    if (volume_ == 256) {
        return;
    }
    const auto format = format_.sample_fmt;
    const int channels = format_.ch_layout.nb_channels;
    if (ff::av_sample_fmt_is_planar(format)) {
        for (int c = 0; c < channels; ++c) {
            ScaleSamples(planes[c], samples, format, volume_);
        }
    } else {
        ScaleSamples(planes[0], samples * channels, format, volume_);
    }
}

void TAudioPipeline::Queue(std::uint8_t** planes, int samples) {
    int skip = int(std::min<std::int64_t>(discardPending_, samples));
    discardPending_ -= skip;
    const std::int64_t room = sampleLimit_ - nextPts_ - SamplesQueued();
    const int count = int(std::clamp<std::int64_t>(room, 0, samples - skip));
    if (count <= 0) {
        return;
    }
    const AVSampleFormat format = format_.sample_fmt;
    const int channels = format_.ch_layout.nb_channels;
    const bool planar = ff::av_sample_fmt_is_planar(format) != 0;
    const std::size_t step =
        std::size_t(skip) * ff::av_get_bytes_per_sample(format) * (planar ? 1 : channels);
    std::vector<std::uint8_t*>& shifted = queuePlanes_;
    shifted.assign(planar ? channels : 1, nullptr);
    for (std::size_t c = 0; c < shifted.size(); ++c) {
        shifted[c] = planes[c] + step;
    }
    if (ff::av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(shifted.data()), count) <
        count) {
        throw EngineException("av_fifo_realloc2() failed");
    }
}

void TAudioPipeline::Push(const AVFrame* decoded) {
    EnsureResampler(decoded);
    const int count = decoded->nb_samples;
    auto** in = const_cast<std::uint8_t**>(decoded->extended_data);
    if (resampler_ == nullptr && volume_ == 256) {
        Queue(in, count);
    } else if (resampler_ == nullptr) {
        EnsureConvertBuffer(count);
        ff::av_samples_copy(convertPlanes_.data(), in, 0, 0, count, decoded->ch_layout.nb_channels,
                            AVSampleFormat(decoded->format));
        ApplyVolume(convertPlanes_.data(), count);
        Queue(convertPlanes_.data(), count);
    } else {
        const int capacity = ff::swr_get_out_samples(resampler_.get(), count);
        EnsureConvertBuffer(std::max(capacity, 1));
        const int produced =
            ff::swr_convert(resampler_.get(), convertPlanes_.data(), convertCapacity_,
                            const_cast<const std::uint8_t**>(in), count);
        if (produced < 0) {
            throw EngineException("av_audio_convert() failed");
        }
        ApplyVolume(convertPlanes_.data(), produced);
        Queue(convertPlanes_.data(), produced);
    }
    EmitWholeFrames();
}

void TAudioPipeline::PushSilence(int count) {
    if (count <= 0) {
        return;
    }
    EnsureConvertBuffer(count);
    ff::av_samples_set_silence(convertPlanes_.data(), 0, count, format_.ch_layout.nb_channels,
                               format_.sample_fmt);
    Queue(convertPlanes_.data(), count);
    EmitWholeFrames();
}

void TAudioPipeline::EmitFrame(int samples, bool padToFrameSize) {
    AVFrame* frame = outFrame_.get();
    const int size = padToFrameSize ? frameSize_ : samples;
    // A frame the encoder still holds gets fresh buffers: the FIFO fills them whole.
    if (frame->buf[0] == nullptr || frame->nb_samples != size ||
        ff::av_frame_is_writable(frame) == 0) {
        ff::av_frame_unref(frame);
        frame->format = format_.sample_fmt;
        frame->nb_samples = size;
        frame->sample_rate = format_.sample_rate;
        ff::av_channel_layout_copy(&frame->ch_layout, &format_.ch_layout);
        if (ff::av_frame_get_buffer(frame, 0) < 0) {
            throw EngineException("Out of memory in do_audio_out");
        }
    }
    const int got = ff::av_audio_fifo_read(fifo_.get(),
                                           reinterpret_cast<void**>(frame->extended_data), samples);
    if (got < samples) {
        throw EngineException("frame_bytes invalid.");
    }
    if (size > samples) {
        ff::av_samples_set_silence(frame->extended_data, samples, size - samples,
                                   format_.ch_layout.nb_channels, format_.sample_fmt);
    }
    frame->pts = nextPts_;
    nextPts_ += size;
    sink_(frame);
}

void TAudioPipeline::EmitWholeFrames() {
    if (frameSize_ == 0) {
        const int queued = SamplesQueued();
        if (queued > 0) {
            EmitFrame(queued, false);
        }
        return;
    }
    while (SamplesQueued() >= frameSize_) {
        EmitFrame(frameSize_, false);
    }
}

void TAudioPipeline::Drain() {
    if (!IsOpen()) {
        return;
    }
    if (resampler_) {
        for (;;) {
            EnsureConvertBuffer(std::max(convertCapacity_, 4096));
            const int produced = ff::swr_convert(resampler_.get(), convertPlanes_.data(),
                                                 convertCapacity_, nullptr, 0);
            if (produced <= 0) {
                break;
            }
            ApplyVolume(convertPlanes_.data(), produced);
            Queue(convertPlanes_.data(), produced);
        }
    }
    EmitWholeFrames();
    const int rest = SamplesQueued();
    if (rest > 0) {
        EmitFrame(rest, !smallLastFrame_);
    }
}

} // namespace tessaro
