// The video filter graph of one output stream: a buffer source fed with decoded
// pictures, crop and scale steps for the task's crop bands and frame size, the
// user's filter text, and a buffer sink that accepts only the encoder's pixel format.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <string>

namespace tessaro {

struct TVideoGraphConfig {
    int inWidth = 0;
    int inHeight = 0;
    AVPixelFormat inFormat = AV_PIX_FMT_NONE;
    AVRational timeBase{1, 25};
    AVRational frameRate{0, 1};
    AVRational sampleAspect{0, 1};
    int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    int outWidth = 0; // the encoder's size; the user's text may change it further
    int outHeight = 0;
    AVPixelFormat outFormat = AV_PIX_FMT_NONE;
    int scalerFlags = SWS_BICUBIC;
    bool deinterlace = false;
    int threads = 1;      // filter threads; 0 = automatic
    std::string userText; // "vf" text in the application's vocabulary
};

// Rewrites positional arguments of "crop" (left:top:width:height in the
// application's vocabulary) into named ones, which today's crop filter reads
// unambiguously. Other filters keep their text.
std::string TranslateLegacyFilterText(const std::string& text);

class TVideoFilterGraph {
public:
    TVideoFilterGraph() = default;
    TVideoFilterGraph(const TVideoFilterGraph&) = delete;
    TVideoFilterGraph& operator=(const TVideoFilterGraph&) = delete;
    ~TVideoFilterGraph();

    // True when the configuration needs no filtering at all (pictures go straight on).
    static bool IsPassThrough(const TVideoGraphConfig& config);

    // Builds the graph; throws EngineException with the error code's text and the library's
    // own reason.
    void Build(const TVideoGraphConfig& config);
    void Release();
    bool IsBuilt() const { return graph_ != nullptr; }
    const TVideoGraphConfig& Config() const { return config_; }

    // Feeds a decoded picture (null = end of stream); the frame's buffers are referenced.
    void Push(AVFrame* frame);
    // Takes the next filtered picture; false when none is ready.
    bool Pull(AVFrame* frame);

    int OutputWidth() const;
    int OutputHeight() const;
    AVRational OutputTimeBase() const;
    AVRational OutputSampleAspect() const;

private:
    void BuildGraph(const TVideoGraphConfig& config);
    void Link(AVFilterContext* from, AVFilterContext* to);
    AVFilterContext* AddFilter(const char* type, const char* name, const std::string& args);

    TVideoGraphConfig config_;
    AVFilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
};

} // namespace tessaro
