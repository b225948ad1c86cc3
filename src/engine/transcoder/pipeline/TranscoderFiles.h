// The file tables of one task (opened inputs, created outputs and their streams)
// and the run state of one Transcode call. Internal to the transcoder's sources.
#pragma once

#include "io/CustomIO.h"
#include "io/MediaInput.h"
#include "runtime/FFmpegPtr.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/AudioPipeline.h"
#include "transcoder/pipeline/SourcePictureFilter.h"
#include "transcoder/pipeline/SubpictureBurner.h"
#include "transcoder/pipeline/VideoFilterGraph.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

inline constexpr int MaxFiles = 20;

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// One opened input and what its opening decided.
struct TInputFile {
    std::string fileName;
    CustomAVIOContextPtr io; // only for "unicode:" names; outlives context
    AVInputFormatContextPtr context;
    std::int64_t tsOffset = 0;                  // µs added to every time stamp
    std::array<double, MaxStreams> tsScale{};   // 0 = 1.0
    std::vector<const AVCodec*> forcedDecoders; // per stream, null = the library's
    int knownStreams = 0;                       // streams found when the input was opened
    bool seeked = false; // opened at a start position: earlier pictures and samples are cut
    // A DVD title: the burner paints the subpicture stream its address chose.
    std::unique_ptr<TSubpictureBurner> burner;
    bool deinterlace = false; // the title's pictures are deinterlaced whatever "deinterlace" says
};

// One stream of an output as its creation configured it.
struct TOutputStreamSetup {
    AVStream* stream = nullptr;
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    bool streamCopy = false;
    const AVCodec* encoder = nullptr;
    AVCodecContextPtr encoderContext; // settings now, opened by Transcode
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

// Run state of one input stream.
struct TInputStream {
    int file = 0;
    int index = 0;
    AVStream* stream = nullptr;
    bool discard = true;
    bool decodingNeeded = false;
    AVCodecContextPtr decoder;
    bool decoderOpen = false;
    std::int64_t pts = 0;                  // µs
    std::int64_t nextPts = AV_NOPTS_VALUE; // µs
    bool isStart = true;
    std::int64_t wallStart = 0; // for "re"
    bool flushed = false;
    bool pastRecordingTime = false;
    bool multipleFramesLogged = false;
    float quality = 0;
    // Video: deinterlacing and display rotation before anything else sees the pictures.
    std::unique_ptr<TSourcePictureFilter> pictureFilter;
    AVFramePtr filteredPicture;
};

// Run state of one output stream.
struct TOutputStream {
    int tableIndex = 0; // position in the run's output-stream table
    int file = 0;       // index into the distinct output files
    int index = 0;      // stream index in its file
    int source = -1;
    int syncSource = -1;
    std::vector<int> joinSources; // join mode: the source for each input file
    TOutputFile* output = nullptr;
    TOutputStreamSetup* setup = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* encoder = nullptr;
    bool encodingNeeded = false;
    bool encoderOpen = false;
    std::int64_t frameNumber = 0;          // frames written
    std::int64_t syncOpts = 0;             // next frame number (video) in the encoder time base
    std::int64_t lastDts = AV_NOPTS_VALUE; // stream copy: last written, stream time base
    std::vector<AVBSFContextPtr> bitstreamFilters;
    bool started = false; // stream copy: a key frame has been written
    float quality = -1;   // last encoded quality / 118
    bool pastRecordingTime = false;
    bool finished = false;
    // video
    TVideoFilterGraph graph;
    TVideoGraphConfig graphConfig; // what the pictures are converted with now
    bool graphUsed = false;
    int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    int originalWidth = 0, originalHeight = 0;
    int lastWidth = 0, lastHeight = 0, lastFormat = -1;
    AVFramePtr filtered;
    std::int64_t lastEncodedSize = 0;
    int packetsEncoded = 0; // numbers the lines of the video statistics file
    AVPictureType lastPictureType = AV_PICTURE_TYPE_NONE;
    std::int64_t lastLumaError = -1; // squared luma errors of the last packet; -1 unknown
    // audio
    TAudioPipeline audio;
    bool audioAtStart = true;
    std::int64_t audioSourceEnd =
        AV_NOPTS_VALUE; // where the last frame's time stamps end, in samples
    std::int64_t maxSamples = INT64_MAX;
    // two-pass statistics
    TFilePtr passLog;
    std::string passLogName;
};

// Run state of one Transcode call.
struct TTranscodeRun {
    std::vector<TInputStream> inputStreams;
    std::deque<TOutputStream> outputStreams; // entries never move: pipelines point at them
    std::vector<TOutputFile*> outputFiles;   // distinct files, in order
    std::vector<int> fileFirstStream;        // per input file
    std::vector<bool> eofReached;
    std::vector<bool> noPacket;
    int noPacketCount = 0;
    std::int64_t startWallTime = 0;
    std::int64_t lastReportTime = 0;
    std::int64_t videoSize = 0, audioSize = 0, extraSize = 0;
    int duplicated = 0, dropped = 0;
    bool dupDropSinceReport = false;
    int currentJoinFile = 0;
    AVFramePtr decoded;
    AVPacketPtr encoded;
    AVPacketPtr copied; // stream copy: the packet being written
    AVMemPtr<std::uint8_t> subtitleBuffer;
    TFilePtr vstats;
};

} // namespace tessaro
