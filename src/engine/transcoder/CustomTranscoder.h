// One conversion task: its option side, its inputs and outputs, and the runs that convert
// them. The work is done by collaborators: the option parser (options/), the input and output
// sets, and per run the stream plan, the reading side (loop, decoding, hooks, feeds) and the
// encoding stage with the progress reports (pipeline/).
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/OptionParser.h"
#include "transcoder/pipeline/InputSet.h"
#include "transcoder/pipeline/OutputSet.h"
#include "transcoder/pipeline/TranscoderCallbacks.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tessaro {

class TTranscodeRun;

class TCustomTranscoder : public TOptionEffects {
public:
    TCustomTranscoder();
    virtual ~TCustomTranscoder();
    TCustomTranscoder(const TCustomTranscoder&) = delete;
    TCustomTranscoder& operator=(const TCustomTranscoder&) = delete;

    // ---- option state ----

    TTranscoderOptions& Options() { return options_.Options(); }
    const TTranscoderOptions& Options() const { return options_.Options(); }
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
    void ResetOptions() { options_.Reset(); }
    // Typed set-up (OptionParser.h says what each does).
    void SetRecordingTime(std::int64_t microseconds) { options_.SetRecordingTime(microseconds); }
    void SetCrop(const std::string& edge, int band) { options_.SetCrop(edge, band); }
    void SetBitRate(AVMediaType type, std::int64_t bitsPerSecond) {
        options_.SetBitRate(type, bitsPerSecond);
    }
    void SetFrameRate(double rate) { options_.SetFrameRate(rate); }
    void SetAspectRatio(double ratio) { options_.SetAspectRatio(ratio); }
    // The encoder word of the next audio, video or subtitle stream ("copy" copies).
    void SetCodec(AVMediaType type, const std::string& word);

    // Codec threads given to every decoder, encoder and filter graph of the task's runs
    // (0 = automatic). Read when a run opens its codecs.
    int ThreadCount() const { return Options().threadCount; }
    void SetThreadCount(int count) { options_.SetCodecThreads(count); }
    // Whether encoding and muxing run on a thread of their own, beside reading, decoding and
    // filtering (the default), or on the task's thread with the rest.
    bool Pipelined() const { return pipelined_; }
    void SetPipelined(bool value) { pipelined_ = value; }

    // Microseconds; -1 while no duration is known. Option "t" replaces it.
    std::int64_t TotalDuration() const { return totalDuration_; }
    void SetTotalDuration(std::int64_t value) override { totalDuration_ = value; }

    // ---- files ----

    // Opens and analyses an input with the current option state; false leaves ErrorText.
    bool AddInputFile(const std::string& fileName);
    // Creates an output and its streams; the new output count, or -1 with ErrorText. With
    // Join and several inputs, the inputs are converted one after another into this file.
    int AddOutputFile(const std::string& fileName, bool join);
    // Add one more stream to an output; throw EngineException on failure.
    void NewVideoStream(int outputIndex) { NewOutputStream(outputIndex, AVMEDIA_TYPE_VIDEO); }
    void NewAudioStream(int outputIndex) { NewOutputStream(outputIndex, AVMEDIA_TYPE_AUDIO); }
    void NewSubtitleStream(int outputIndex) { NewOutputStream(outputIndex, AVMEDIA_TYPE_SUBTITLE); }
    TInputStreamKinds CheckInputStreams(bool firstInputOnly) const {
        return inputs_.Kinds(firstInputOnly);
    }
    int InputFileCount() const { return inputs_.Count(); }
    int OutputFileCount() const override { return outputs_.Count(); }
    AVFormatContext* InputContext(int index) const { return inputs_.Context(index); }
    const TInputFile& Input(int index) const { return inputs_.File(index); }
    AVFormatContext* OutputContext(int index) const { return outputs_.Context(index); }
    bool JoinMode() const { return outputs_.JoinMode(); }
    const std::string& ErrorText() const { return errorText_; }
    // Releases every input and output (outputs left with 0 bytes are deleted).
    void FreeFiles();

    // ---- transcoding ----

    // Runs the whole conversion; throws EngineException on set-up errors and, with
    // "xerror", on decoding errors. Sets Finished to not StopRequested when it returns.
    void Transcode();
    void ReportProgress(bool isLast, int fileIndex);
    // Thread-safe: the loop ends after the current packet; the trailer is still written.
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }
    void ClearStopRequest() { stopRequested_ = false; }
    bool Finished() const { return finished_; }
    // Steps of the task body after Transcode (each safe to call when nothing is open).
    void ReleaseFilterGraphs();
    void CloseOutputCodecs();

    TTranscoderCallbacks& Callbacks() { return callbacks_; }
    // Bit 0 preview window, bit 1 preview bitmap; change under PreviewLock().
    int Flags() const { return flags_; }
    void SetFlags(int flags) { flags_ = flags; }
    std::int64_t ProgressIntervalMicroseconds = 500000;
    std::int64_t PreviewIntervalMicroseconds = 100000;

protected:
    // Stream creation driven by "newvideo", "newaudio" and "newsubtitle"; with no output
    // file: "At least one output file must be specified".
    void NewOutputStream(int outputIndex, AVMediaType type) override;
    // On the task's thread during Transcode (from the packet gate): returns when everything
    // read so far has been encoded and written.
    void WaitUntilEncoded();

    // The logger's sender for this task's messages.
    const void* LogSender() const { return this; }

private:
    TTaskLog log_{this};
    TOptionParser options_{*this, log_};
    std::string errorText_;
    TInputSet inputs_{options_.Options(), log_};
    TOutputSet outputs_{options_.Options(), inputs_, log_};
    std::int64_t totalDuration_ = -1;
    bool pipelined_ = true;
    std::unique_ptr<TTranscodeRun> run_;
    TTranscoderCallbacks callbacks_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> flags_{0};

    // Declared last so it runs first on destruction: codecs close under CodecLock and
    // empty outputs are removed before the tables go.
    struct TFilesReleaser {
        TCustomTranscoder* owner;
        ~TFilesReleaser() { owner->FreeFiles(); }
    };
    TFilesReleaser filesReleaser_{this};
};

} // namespace tessaro
