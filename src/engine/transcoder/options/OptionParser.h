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

private:
    bool ApplyGeneralOption(const std::string& name, const std::string& value);
    bool ApplyVideoOption(const std::string& name, const std::string& value);
    bool ApplyAudioSubtitleOption(const std::string& name, const std::string& value);
    void SetBitRateOption(const std::string& name, const std::string& value, AVMediaType type);
    void SetCropOption(const std::string& name, const std::string& value);
    void ListPixelFormats() const;
    void ListSampleFormats() const;
    void NewStreamOption(AVMediaType type);
    void SetTargetOption(const std::string& value);

    TOptionEffects& effects_;
    TTaskLog log_;
    TTranscoderOptions options_;
};

} // namespace tessaro
