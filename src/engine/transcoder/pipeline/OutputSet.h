// The output files of a conversion task: creating each with its streams from the option state,
// and the join mode in which several inputs go one after another into one file.
#pragma once

#include "io/CustomIO.h"
#include "runtime/FFmpegPtr.h"
#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

class TInputSet;

// One stream of an output as its creation configured it.
struct TOutputStreamSetup {
    AVStream* stream = nullptr;
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    bool streamCopy = false;
    const AVCodec* encoder = nullptr;
    AVCodecContextPtr encoderContext; // settings now, opened when the task runs
    AVDictionaryHolder openOptions;   // options the encoder applies when opened
    std::vector<std::string> bitstreamFilters;
    // video
    int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    std::string filters; // the "vf" text current when the stream was made
    int scalerFlags = SWS_BICUBIC;
    float aspect = 0; // display aspect ratio asked for (0 = the source's)
    // audio
    int volume = 256;
};

// One output file and its streams.
struct TOutputFile {
    TOutputFile() = default;
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;
    // A custom I/O context is not the muxer's to close.
    ~TOutputFile() {
        if (io && context) {
            context->pb = nullptr;
        }
    }
    std::string fileName;
    CustomAVIOContextPtr io; // only for "unicode:" names; outlives context
    AVOutputFormatContextPtr context;
    std::vector<std::unique_ptr<TOutputStreamSetup>> streams;
    AVDictionaryHolder muxerOptions;
    bool filtered = false;
    bool headerWritten = false;
    bool trailerWritten = false;
};

class TOutputSet {
public:
    TOutputSet(TTranscoderOptions& options, const TInputSet& inputs, TTaskLog log)
        : options_(options), inputs_(inputs), log_(log) {}
    TOutputSet(const TOutputSet&) = delete;
    TOutputSet& operator=(const TOutputSet&) = delete;

    // Creates an output and its streams; the new output count, or -1 with ErrorText. With
    // Join and several inputs the inputs are converted one after another into this file and
    // TotalDuration becomes the sum of theirs.
    int Add(const std::string& fileName, bool join, std::int64_t& totalDuration,
            std::string& errorText);
    // One more stream of Type in an output (the last one when OutputIndex is out of range);
    // throws EngineException on failure.
    void NewStream(int outputIndex, AVMediaType type);

    // Output entries: one per file, or in join mode one per input, all the same file.
    int Count() const { return int(slots_.size()); }
    TOutputFile& Slot(int index) { return *slots_[std::size_t(index)]; }
    // Null when Index is out of range.
    AVFormatContext* Context(int index) const;
    // The distinct files, in the order they were added.
    const std::vector<std::unique_ptr<TOutputFile>>& Files() const { return files_; }
    bool JoinMode() const { return joinMode_; }

    // Frees the encoders that were opened (under CodecLock).
    void CloseOpenEncoders();
    // Frees every output; files left with 0 bytes are deleted.
    void Clear();

private:
    AVFormatContext* CreateContext(const std::string& fileName, std::string& errorText);
    void DecideStreams(TOutputFile& output, bool join);
    bool DefaultSubtitleEncoderFits(const TOutputFile& output) const;
    void SetMetadata(AVFormatContext* ctx);
    void OpenIo(TOutputFile& output);
    void SetMuxing(TOutputFile& output);
    void EnterJoinMode(TOutputFile* file, std::int64_t& totalDuration);
    void NewVideoStream(TOutputFile& output);
    void NewAudioStream(TOutputFile& output);
    void NewSubtitleStream(TOutputFile& output);
    TOutputStreamSetup& AddStream(TOutputFile& output, AVMediaType type,
                                  std::vector<std::string>& bitstreamFilters, std::uint32_t tag);
    const AVCodec* ChooseEncoder(const TOutputFile& output, AVMediaType type,
                                 const std::string& codecName);
    // Allocates the stream's encoder context and applies the codec options of its type.
    AVCodecContext* PrepareEncoderContext(TOutputStreamSetup& setup, std::uint32_t tag,
                                          int typeFlag);
    void SetGlobalHeader(const TOutputFile& output, AVCodecContext* encoder, bool video) const;

    TTranscoderOptions& options_;
    const TInputSet& inputs_;
    TTaskLog log_;
    std::vector<std::unique_ptr<TOutputFile>> files_; // distinct files
    std::vector<TOutputFile*> slots_;                 // one per output entry
    bool joinMode_ = false;
};

} // namespace tessaro
