// The stream plan of one run: the table of input streams and the table of output streams,
// which input stream feeds each output stream, stream copy or encoding for each, and the
// opened decoders, encoders and file headers. Built on the task's thread before any packet
// is read.
#pragma once

#include "runtime/FFmpegPtr.h"
#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/AudioPipeline.h"
#include "transcoder/pipeline/OutputSet.h"
#include "transcoder/pipeline/SourcePictureFilter.h"
#include "transcoder/pipeline/VideoFilterGraph.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

class TInputSet;

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// Run state of one input stream (the reading side's).
struct TInputStream {
    int file = 0;
    int index = 0;
    AVStream* stream = nullptr;
    bool discard = true;
    bool decodingNeeded = false;
    AVCodecContextPtr decoder;
    std::int64_t pts = 0;                  // µs
    std::int64_t nextPts = AV_NOPTS_VALUE; // µs
    std::int64_t wallStart = 0;            // for "re"
    bool flushed = false;
    bool pastRecordingTime = false;
    bool multipleFramesLogged = false;
    float quality = 0;
    // Video: deinterlacing and display rotation before anything else sees the pictures.
    std::unique_ptr<TSourcePictureFilter> pictureFilter;
    AVFramePtr filteredPicture;
};

// What the reading side keeps of an opened encoder: once the run starts, the encoding stage
// alone touches the encoder (subtitle encoders excepted, which the reading side drives).
struct TEncoderFacts {
    AVRational timeBase{1, 1};
    int sampleRate = 0;
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    int globalQuality = 0;
    bool interlaced = false; // interlaced DCT or motion estimation
};

// One output stream as the reading side feeds it.
struct TOutputStream {
    int tableIndex = 0; // position in the output-stream table
    int file = 0;       // index into the distinct output files
    int index = 0;      // stream index in its file
    int source = -1;
    int syncSource = -1;
    std::vector<int> joinSources; // join mode: the source for each input file
    TOutputFile* output = nullptr;
    TOutputStreamSetup* setup = nullptr;
    AVStream* stream = nullptr;
    AVRational streamTimeBase{1, 1}; // the stream's, once the header is written
    AVCodecContext* encoder = nullptr;
    TEncoderFacts facts;
    bool encodingNeeded = false;
    bool encoderOpen = false;
    std::int64_t frameNumber = 0;          // frames handed on (encoded or copied)
    std::int64_t syncOpts = 0;             // next frame number (video) in the encoder time base
    std::int64_t lastDts = AV_NOPTS_VALUE; // copied and subtitle packets: end of the last one
    bool started = false;                  // stream copy: a key frame has been written
    bool finished = false;
    // Made at set-up; the encoding stage takes them over when the run starts.
    std::vector<AVBSFContextPtr> bitstreamFilters;
    TFilePtr passLog;
    // video
    TVideoFilterGraph graph;
    TVideoGraphConfig graphConfig; // what the pictures are converted with now
    bool graphUsed = false;
    int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    int originalWidth = 0, originalHeight = 0;
    int lastWidth = 0, lastHeight = 0, lastFormat = -1;
    AVFramePtr filtered;
    // audio
    TAudioPipeline audio;
    bool audioAtStart = true;
    std::int64_t audioSourceEnd = AV_NOPTS_VALUE; // where the last frame ends, in samples
};

// The output time a stream has reached, in seconds: what its encoder was given, or the end
// of the last packet written as it is.
double OutputTimeOf(const TOutputStream& ost);

// The stream's average frame rate, else its real base rate.
AVRational StreamFrameRate(const AVStream* stream);

class TStreamPlan {
public:
    // HookSet and Flags: frames are observed, so video cannot be copied.
    TStreamPlan(TInputSet& inputs, TOutputSet& outputs, const TTranscoderOptions& options,
                bool hookSet, int flags, TTaskLog log);
    TStreamPlan(const TStreamPlan&) = delete;
    TStreamPlan& operator=(const TStreamPlan&) = delete;

    // The set-up of a run: tables, sources, stream copy or encoding, decoders, encoders,
    // bit-stream filters, metadata and chapters, headers and the stream mapping log. Throws
    // EngineException with the texts of the failing step.
    void Build();

    std::vector<TInputStream>& InputStreams() { return inputStreams_; }
    const std::vector<TInputStream>& InputStreams() const { return inputStreams_; }
    TInputStream& InputStreamOf(int file, int stream) {
        return inputStreams_[std::size_t(fileFirstStream_[std::size_t(file)] + stream)];
    }
    int IndexOf(const TInputStream& ist) const { return int(&ist - inputStreams_.data()); }
    // Entries never move: the audio pipelines point at them.
    std::deque<TOutputStream>& OutputStreams() { return outputStreams_; }
    const std::deque<TOutputStream>& OutputStreams() const { return outputStreams_; }
    // Bytes of the encoders' global headers.
    std::int64_t ExtraHeaderBytes() const { return extraHeaderBytes_; }

    void LogStreamMapping() const;
    // The task body's release steps (each harmless when nothing is open).
    void ReleaseFilterGraphs();
    void CloseDecoders();
    void MarkEncodersClosed();

private:
    void BuildInputStreams();
    void BuildOutputStreams();
    void CheckStreamMaps(std::size_t outputStreamCount) const;
    void ChooseSources();
    int FindSource(const TOutputStream& ost, int inputFile, bool allowReuse) const;
    void PrepareOutputStream(TOutputStream& ost);
    void PrepareStreamCopy(TOutputStream& ost);
    void PrepareEncoding(TOutputStream& ost);
    void PrepareSubtitleEncoder(const TInputStream& ist, AVCodecContext* enc) const;
    void OpenPassLog(TOutputStream& ost);
    void OpenEncoders();
    void OpenEncoder(TOutputStream& ost);
    void InitBitstreamFilters();
    void OpenDecoders();
    void OpenDecoder(TInputStream& ist);
    void CopySubtitleHeader(const TInputStream& ist);
    // Deinterlacing and display rotation of a decoded video stream, when it needs either.
    void CreateSourcePictureFilter(TInputStream& ist);
    void WriteHeaders();

    TInputSet& inputs_;
    TOutputSet& outputs_;
    const TTranscoderOptions& options_;
    bool hookSet_;
    int flags_;
    TTaskLog log_;
    std::vector<TInputStream> inputStreams_;
    std::deque<TOutputStream> outputStreams_;
    std::vector<int> fileFirstStream_; // per input file
    std::int64_t extraHeaderBytes_ = 0;
};

} // namespace tessaro
