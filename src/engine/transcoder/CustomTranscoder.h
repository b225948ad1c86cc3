// One conversion task. This header holds the option side of the task (the option
// state, the option dispatcher, presets and targets); the file set-up, the
// transcoding loop and the encoding steps add their members in the sections below
// and live in their own source files.
#pragma once

#include "TranscoderOptions.h"

#include <cstdint>
#include <string>

namespace tessaro {

class TCustomTranscoder {
public:
    TCustomTranscoder();
    virtual ~TCustomTranscoder();
    TCustomTranscoder(const TCustomTranscoder&) = delete;
    TCustomTranscoder& operator=(const TCustomTranscoder&) = delete;

    // ---- option state (OptionParser.cpp, CodecOptions.cpp, Presets.cpp, Targets.cpp) ----

    TTranscoderOptions& Options() { return options_; }
    const TTranscoderOptions& Options() const { return options_; }

    // Applies one option of the vocabulary; throws EngineException with the option's
    // error text. Unknown names go to SetCodecOption and are dropped silently.
    void SetOption(const std::string& name, const std::string& value);
    // The fallback into the libraries' option system (old-generation keys are translated
    // to today's form first). False when no context knows the name or the value is bad.
    bool SetCodecOption(const std::string& name, const std::string& value);
    // Kind "apre", "vpre", "spre" or "fpre"; a built-in preset name, a codec-qualified
    // built-in name, or a preset file.
    void ApplyPreset(const std::string& kind, const std::string& presetName);
    // The "vcd", "svcd", "dvd", "dv", "dv50" shortcuts; NormText "pal", "ntsc", "film"
    // or anything else for automatic.
    void ApplyTarget(const std::string& targetType, const std::string& normText,
                     const std::string& fallbackNormText);
    // Restores every default and creates fresh library option contexts.
    void ResetOptions();

    // Codec threads given to every decoder and encoder of the task (0 = automatic).
    int ThreadCount() const { return options_.threadCount; }
    void SetThreadCount(int count) { options_.threadCount = count < 0 ? 0 : count; }

    // Microseconds; -1 while no duration is known. Option "t" replaces it.
    std::int64_t TotalDuration() const { return totalDuration_; }
    void SetTotalDuration(std::int64_t value) { totalDuration_ = value; }

protected:
    // Stream creation driven by "newvideo", "newaudio" and "newsubtitle". The file set-up
    // provides the real bodies; with no output file the options raise
    // "At least one output file must be specified".
    virtual int OutputFileCount() const { return 0; }
    virtual void NewOutputStream(int outputIndex, AVMediaType type) {
        (void)outputIndex;
        (void)type;
    }

    // The logger's sender for this task's messages.
    const void* LogSender() const { return this; }
    void LogMessage(int level, const std::string& text) const;

private:
    // Helpers of the option dispatcher (OptionParser.cpp).
    bool ApplyGeneralOption(const std::string& name, const std::string& value);
    bool ApplyVideoOption(const std::string& name, const std::string& value);
    bool ApplyAudioSubtitleOption(const std::string& name, const std::string& value);
    void SetBitRateOption(const std::string& name, const std::string& value, AVMediaType type);
    void SetCodecNameOption(const std::string& value, std::string& codecName, bool& streamCopy);
    void SetCropOption(const std::string& name, const std::string& value);
    void ListPixelFormats() const;
    void ListSampleFormats() const;
    void NewStreamOption(AVMediaType type);
    void SetTargetOption(const std::string& value);
    // The core of SetCodecOption for names already in today's vocabulary.
    bool SetLibraryOption(const std::string& name, const std::string& value);
    bool SetLibraryOptionFor(AVMediaType type, const std::string& name, const std::string& value);
    std::string PreferredCodecName(AVMediaType type) const;
    // Presets (Presets.cpp).
    void ApplyPresetText(const std::string& lookupName, const std::string& text, bool builtIn);

    TTranscoderOptions options_;
    std::int64_t totalDuration_ = -1;
    // Word of the old generation's "flags2" codec option, whose x264 bits are emitted as
    // today's libx264 options each time it changes.
    int legacyFlags2_ = 0;

    // ---- file set-up, transcoding loop, encoding: members added below ----
};

} // namespace tessaro
