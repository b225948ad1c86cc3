// The option side of a conversion task: the option state and the dispatcher that applies
// one option of the vocabulary to it, with presets and targets.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"

#include <cstdint>
#include <string>

namespace tessaro {

// What options change beyond the option state: the streams of the task's outputs and its
// total duration.
class TOptionEffects {
public:
    virtual int OutputFileCount() const = 0;
    // Adds a stream of Type to output OutputIndex; throws EngineException on failure.
    virtual void NewOutputStream(int outputIndex, AVMediaType type) = 0;
    virtual void SetTotalDuration(std::int64_t value) = 0;

protected:
    ~TOptionEffects() = default;
};

class TOptionParser {
public:
    TOptionParser(TOptionEffects& effects, TTaskLog log);
    TOptionParser(const TOptionParser&) = delete;
    TOptionParser& operator=(const TOptionParser&) = delete;

    TTranscoderOptions& Options() { return options_; }
    const TTranscoderOptions& Options() const { return options_; }
    const TTaskLog& Log() const { return log_; }

    // Applies one option of the vocabulary; throws EngineException with the option's
    // error text. Unknown names go to SetCodecOption and are dropped silently.
    void SetOption(const std::string& name, const std::string& value);
    // The fallback into the libraries' option system (CodecOptions.h).
    bool SetCodecOption(const std::string& name, const std::string& value);
    // Restores every default and creates fresh library option contexts.
    void Reset();

    // Typed set-up: the one place each of these settings is made, for its option word ("t",
    // "croptop"..., "b"/"vb"/"ab", "threads", "r", "aspect") and for a conversion job.
    // Microseconds of output ("t"); also the task's total duration.
    void SetRecordingTime(std::int64_t microseconds);
    // Cuts band pixels off an edge of the picture ("croptop", "cropbottom", "cropleft",
    // "cropright"); 0 or less cuts nothing. Throws when the band is not inside the picture.
    void SetCrop(const std::string& edge, int band);
    // Bit rate in bit/s of the next video or audio stream ("vb", "ab").
    void SetBitRate(AVMediaType type, std::int64_t bitsPerSecond);
    // Pictures per second ("r"); read as the frame-rate option reads a decimal number.
    void SetFrameRate(double rate);
    // Display shape ("aspect"); throws when it is no positive finite number.
    void SetAspectRatio(double ratio);
    // Threads of each decoder, encoder and filter graph ("threads"): 0 automatic; negative
    // counts become 0.
    void SetCodecThreads(int count);

private:
    bool ApplyGeneralOption(const std::string& name, const std::string& value);
    bool ApplyVideoOption(const std::string& name, const std::string& value);
    bool ApplyAudioSubtitleOption(const std::string& name, const std::string& value);
    void SetBitRateOption(const std::string& name, const std::string& value, AVMediaType type);
    void WarnOfLowBitRate(AVMediaType type);
    void ListPixelFormats() const;
    void ListSampleFormats() const;
    void NewStreamOption(AVMediaType type);
    void SetTargetOption(const std::string& value);

    TOptionEffects& effects_;
    TTaskLog log_;
    TTranscoderOptions options_;
};

} // namespace tessaro
