// The sound of one playback: the audio decoder, the SDL audio device whose callback (on SDL's
// audio thread) pulls decoded samples converted to signed 16 bits, and the recent samples kept
// for the waveform.
#pragma once

#include "player/PlaybackControl.h"
#include "player/PlaybackHost.h"
#include "player/StreamDecoder.h"
#include "runtime/FFmpegPtr.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include <SDL2/SDL.h>

namespace tessaro {

class TPacketQueue;
class TPlaybackClock;

class TAudioOutput {
public:
    TAudioOutput(TPlaybackHost& host, const TPlaybackControl& control, TPacketQueue& packets,
                 TPlaybackClock& clock);
    TAudioOutput(const TAudioOutput&) = delete;
    TAudioOutput& operator=(const TAudioOutput&) = delete;
    ~TAudioOutput();

    // The reading thread opens the device for the stream; false (logged) when it cannot.
    bool Open(AVStream* stream, AVCodecContextPtr decoder);
    // The reading thread closes the device and the decoder.
    void Close();

    // The stream playing; null before Open and after Close.
    AVStream* Stream() const { return component_.Stream(); }
    // The stream's duration in microseconds; -1 when unknown or closed.
    std::int64_t Duration() const { return duration_; }
    int Channels() const { return audio_.Channels; }

    // The samples (interleaved, Channels() per frame) that end where the device plays now,
    // moved back to a rising zero crossing of the first channel when one is near.
    void CopyRecentSamples(std::vector<std::int16_t>& samples) const;

private:
    // The audio callback's state: no lock, only SDL's audio thread touches it once Open has
    // filled it (the device calls back only after Open has started it).
    struct TAudioState {
        SDL_AudioDeviceID Device = 0;
        int Channels = 0;
        int Rate = 0;
        int HardwareBufferSize = 0;
        AVFramePtr Frame;
        std::vector<std::uint8_t> Buffer; // signed 16-bit interleaved samples
        std::size_t BufferIndex = 0;
        bool BufferSilent = false;
        SwrContextPtr Converter;
        int SourceFormat = -1;
        int SourceRate = 0;
        AVChannelLayout SourceLayout{};
    };

    static void Callback(void* opaque, Uint8* stream, int length);
    void FillDeviceBuffer(Uint8* stream, int length);
    int DecodeFrame();
    int ConvertFrame(AVFrame* frame);
    bool EnsureConverter(AVFrame* frame);
    void KeepForWaveform(const std::int16_t* samples, std::size_t count);
    int BytesPerSecond() const { return 2 * audio_.Channels * audio_.Rate; }

    TPlaybackHost& host_;
    const TPlaybackControl& control_;
    TPacketQueue& packets_;
    TPlaybackClock& clock_;
    TStreamDecoder component_;
    std::atomic<std::int64_t> duration_{-1};
    TAudioState audio_;

    // The waveform's samples: the audio callback writes, the event loop reads.
    mutable std::mutex waveformMutex_; // guards the fields below
    std::vector<std::int16_t> samples_;
    std::size_t samplesIndex_ = 0;
    std::size_t unplayedBytes_ = 0; // left in the buffer after the last callback
};

} // namespace tessaro
