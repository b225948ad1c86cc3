// One conversion task. This header holds the option side of the task (the option
// state, the option dispatcher, presets and targets); the file set-up, the
// transcoding loop and the encoding steps add their members in the sections below
// and live in their own source files.
#pragma once

#include "converter/Previewer.h"
#include "runtime/RGBConverter.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/TranscoderCallbacks.h"
#include "transcoder/pipeline/TranscoderFiles.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <cstdint>
#include <string>

namespace tessaro {

// Which media types the inputs of a task hold (CheckInputStreams).
struct TInputStreamKinds {
    bool hasVideo = false;
    bool hasAudio = false;
    bool hasSubtitle = false;
};

// The process-wide lock under which the preview flags of every task are read and changed.
std::mutex& PreviewLock();

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
    // (OutputFileCount is declared with the file set-up below.)
    void NewOutputStream(int outputIndex, AVMediaType type);

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

public:
    // ---- file set-up (InputOutputSetup.cpp) ----

    // Opens and analyses an input with the current option state; false leaves ErrorText.
    bool AddInputFile(const std::string& fileName);
    // Creates an output and its streams; the new output count, or -1 with ErrorText. With
    // Join and several inputs, the inputs are converted one after another into this file.
    int AddOutputFile(const std::string& fileName, bool join);
    // Add one more stream to an output; throw EngineException on failure.
    void NewVideoStream(int outputIndex);
    void NewAudioStream(int outputIndex);
    void NewSubtitleStream(int outputIndex);
    // Looks a codec up by name; an empty name succeeds with AV_CODEC_ID_NONE.
    bool FindCodec(const std::string& name, AVMediaType type, bool encoder, int strictness,
                   AVCodecID& codecId);
    TInputStreamKinds CheckInputStreams(bool firstInputOnly) const;
    int InputFileCount() const;
    int OutputFileCount() const;
    AVFormatContext* InputContext(int index) const;
    AVFormatContext* OutputContext(int index) const;
    bool JoinMode() const { return joinMode_; }
    const std::string& ErrorText() const { return errorText_; }
    // Releases every input and output (outputs left with 0 bytes are deleted).
    void FreeFiles();

    // ---- transcoding (TranscodeLoop.cpp, PacketProcessing.cpp) ----

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

private:
    // Set-up helpers (InputOutputSetup.cpp).
    void ApplyContextOptions(void* target, int flags, AVMediaType type, const AVCodec* codec,
                             AVDictionary** leftOver);
    // What an opendvd: address asks beyond the title's bytes: its audio stream, the subpicture
    // to burn in, and deinterlacing.
    void ApplyDvdChoice(TInputFile& input, const TDvdInputChoice& dvd);
    void ReadInputStreamParameters(TInputFile& input);
    void DecideOutputStreams(TOutputFile& output, bool join);
    bool DefaultSubtitleEncoderFits(const TOutputFile& output) const;
    TOutputFile& OutputSlot(int outputIndex);
    void NewVideoStreamOf(TOutputFile& output);
    void NewAudioStreamOf(TOutputFile& output);
    void NewSubtitleStreamOf(TOutputFile& output);
    TOutputStreamSetup& AddOutputStream(TOutputFile& output, AVMediaType type,
                                        std::vector<std::string>& bitstreamFilters,
                                        std::uint32_t tag);
    const AVCodec* ChooseEncoder(const TOutputFile& output, AVMediaType type,
                                 std::string& codecName);
    // Allocates the stream's encoder context and applies the codec options of its type.
    AVCodecContext* PrepareEncoderContext(TOutputStreamSetup& setup, std::uint32_t tag,
                                          int typeFlag);
    void SetVideoEncoderFields(TOutputFile& output, TOutputStreamSetup& setup);
    void SetAudioEncoderFields(TOutputStreamSetup& setup);
    void SetGlobalHeader(const TOutputFile& output, AVCodecContext* encoder, bool video);
    void OpenOutputIo(TOutputFile& output);

    // Transcode steps (TranscodeLoop.cpp).
    void BuildInputStreams();
    void BuildOutputStreams();
    void ChooseSources();
    int FindSource(const TOutputStream& ost, int inputFile, bool allowReuse) const;
    void PrepareOutputStream(TOutputStream& ost);
    void PrepareStreamCopy(TOutputStream& ost);
    static void CopyDisplayMatrix(const AVStream* from, AVStream* to);
    void PrepareEncoding(TOutputStream& ost);
    void BuildVideoGraph(TOutputStream& ost, const AVFrame* frame);
    void OpenPassLog(TOutputStream& ost, int index);
    void OpenEncoders();
    void InitBitstreamFilters();
    void OpenDecoders();
    // Deinterlacing and display rotation of a decoded video stream, when it needs either.
    void CreateSourcePictureFilter(TInputStream& ist);
    void CopySubtitleHeader(const TInputStream& ist);
    void CopyMetadataAndChapters();
    void WriteHeaders();
    void LogRtpSessionDescription() const;
    void LogStreamMapping();
    // "dump": one line per packet read; with "hex" its payload follows as a hex dump.
    void LogPacketDump(const AVPacket* packet) const;
    int ChooseInputFile();
    bool FileSizeLimitReached() const;
    void AdjustPacketTimestamps(TInputStream& ist, AVPacket* packet);
    bool SwitchJoinInput(int file);
    // Hands a packet of a DVD input to its subpicture burner, whatever stream it belongs to:
    // the subpicture stream may appear only after the input was opened.
    void OfferSubpicture(int file, const AVPacket* packet);
    void FlushInput(int file);
    void FinishRun();
    void ReleaseRun();

    // Per-packet steps (PacketProcessing.cpp).
    int ProcessPacket(TInputStream& ist, const AVPacket* packet);
    int DecodePacket(TInputStream& ist, const AVPacket* packet);
    void HandleDecodedVideo(TInputStream& ist, AVFrame* frame);
    // Pictures of the source picture filter (deinterlaced, upright) go on to the outputs.
    void PullSourcePictures(TInputStream& ist);
    void FinishSourcePictures(TInputStream& ist);
    // One upright picture: subpicture, hook, then every output stream fed by the input.
    void DistributePicture(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs);
    void RebuildForNewPictureSize(const TInputStream& ist, TOutputStream& ost,
                                  const AVFrame* picture);
    void BurnSubpicture(const TInputStream& ist, AVFrame* frame, std::int64_t ptsUs);
    void HandleDecodedAudio(TInputStream& ist, AVFrame* frame);
    void KeepAudioInPlace(TOutputStream& ost, std::int64_t delta, bool realign, int inputSamples);
    void HandleDecodedSubtitle(TInputStream& ist, AVSubtitle& subtitle);
    void CopyPacket(TInputStream& ist, TOutputStream& ost, const AVPacket* packet);
    bool StreamTimeReached(std::int64_t ptsUs) const;
    void PreprocessPicture(AVFrame*& frame, std::int64_t ptsUs);
    void RunCustomHook(AVFrame*& frame, std::int64_t ptsUs);
    void ShowPreview(const AVFrame* frame, AVRational timeBase);
    void VideoOutput(TOutputStream& ost, AVFrame* frame, AVRational timeBase);
    void EncodeVideoFrame(TOutputStream& ost, AVFrame* frame);
    void AudioOutput(TOutputStream& ost, const AVFrame* frame);
    void EncodeAudioFrame(TOutputStream& ost, AVFrame* frame);
    void SubtitleOutput(TOutputStream& ost, const AVSubtitle& subtitle, std::int64_t ptsUs);
    void ReceivePackets(TOutputStream& ost, const char* failureText);
    void WriteVideoStatistics(TOutputStream& ost, const AVPacket* packet);
    void WritePacket(TOutputStream& ost, AVPacket* packet);
    void DrainEncoder(TOutputStream& ost);
    void FlushVideoGraph(TOutputStream& ost);

    std::string errorText_;
    std::vector<std::unique_ptr<TInputFile>> inputs_;
    std::vector<std::unique_ptr<TOutputFile>> outputFiles_; // distinct files
    std::vector<TOutputFile*> outputSlots_;                 // one per output entry
    bool joinMode_ = false;
    std::unique_ptr<TTranscodeRun> run_;
    TTranscoderCallbacks callbacks_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> flags_{0};
    // Hooks and previews.
    int frameCounter_ = 0;
    AVFramePtr workPicture_;
    std::unique_ptr<TRGBConverter> hookConverter_;
    std::unique_ptr<TRGBConverter> previewConverter_;
    TPreviewerPtr previewWindow_;
    std::int64_t lastPreviewTime_ = 0;

    // Declared last so it runs first on destruction: codecs close under CodecLock and
    // empty outputs are removed before the tables go.
    struct TFilesReleaser {
        TCustomTranscoder* owner;
        ~TFilesReleaser() { owner->FreeFiles(); }
    };
    TFilesReleaser filesReleaser_{this};
};

} // namespace tessaro
