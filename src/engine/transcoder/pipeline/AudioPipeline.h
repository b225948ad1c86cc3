// Audio path between a decoder and an encoder: sample-format, layout and rate
// conversion with libswresample, the "vol" gain, and a sample FIFO that hands the
// encoder frames of exactly its frame size with time stamps counted in samples.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tessaro {

class TAudioPipeline {
public:
    // Receives every frame ready for the encoder (pts in 1/sample_rate units).
    using TFrameSink = std::function<void(AVFrame* frame)>;

    TAudioPipeline() = default;
    ~TAudioPipeline();
    TAudioPipeline(const TAudioPipeline&) = delete;
    TAudioPipeline& operator=(const TAudioPipeline&) = delete;

    // Takes the format of an opened encoder (the encoder itself is not touched again, so it
    // may encode on another thread); Volume is the "vol" value (256 = unchanged).
    void Open(const AVCodecContext* encoder, int volume, TFrameSink sink);
    bool IsOpen() const { return open_; }

    // Converts one decoded frame and emits every whole encoder frame now available.
    // The resampler is (re)built whenever the decoded format, layout or rate changes.
    void Push(const AVFrame* decoded);
    // Appends Count samples of silence (audio sync at the start of a stream).
    void PushSilence(int count);
    // Drops the next Count converted samples (audio sync, start trimming).
    void Discard(std::int64_t count) { discardPending_ += count; }
    // No samples beyond this position (in samples from the start) reach the encoder.
    void SetSampleLimit(std::int64_t limit) { sampleLimit_ = limit; }
    // Stretches or squeezes the output by Delta samples over Distance samples.
    bool Compensate(int delta, int distance);
    // Flushes the resampler and emits the rest of the FIFO as a last (short or padded) frame.
    void Drain();

    // Samples handed to the encoder so far and samples waiting in the FIFO.
    std::int64_t SamplesProduced() const { return nextPts_; }
    void SetSamplesProduced(std::int64_t value) { nextPts_ = value; }
    int SamplesQueued() const;
    bool Resampling() const { return resampler_ != nullptr; }

private:
    void EnsureResampler(const AVFrame* decoded);
    void ApplyVolume(std::uint8_t** planes, int samples) const;
    void Queue(std::uint8_t** planes, int samples);
    void EmitWholeFrames();
    void EmitFrame(int samples, bool padToFrameSize);
    void EnsureConvertBuffer(int samples);

    // The encoder's sample format, rate and channel layout, as it was opened.
    struct TEncoderFormat {
        AVSampleFormat sample_fmt = AV_SAMPLE_FMT_NONE;
        int sample_rate = 0;
        AVChannelLayout ch_layout{};
    };
    TEncoderFormat format_;
    bool open_ = false;
    int volume_ = 256;
    TFrameSink sink_;
    int frameSize_ = 0; // 0: the encoder takes any size
    bool smallLastFrame_ = false;

    SwrContextPtr resampler_;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;
    bool passThrough_ = false;

    AVAudioFifoPtr fifo_;
    std::vector<std::uint8_t*> convertPlanes_; // plane pointers into convertBuffer_
    AVMemPtr<std::uint8_t> convertBuffer_;
    std::vector<std::uint8_t*> queuePlanes_;
    int convertCapacity_ = 0;
    AVFramePtr outFrame_;
    std::int64_t nextPts_ = 0;
    std::int64_t discardPending_ = 0;
    std::int64_t sampleLimit_ = INT64_MAX;
};

} // namespace tessaro
