#include "transcoder/pipeline/VideoFilterGraph.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "runtime/FilterChain.h"
#include "runtime/LibraryLoader.h"
#include "runtime/MediaUtils.h"

#include <cctype>
#include <mutex>
#include <vector>

namespace tessaro {

namespace {

// Splits "a:b:c" at ':' not inside quotes or brackets.
std::vector<std::string> SplitArguments(const std::string& args) {
    std::vector<std::string> parts(1);
    for (char c : args) {
        if (c == ':') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string TranslateCropArguments(const std::string& args) {
    if (args.empty() || args.find('=') != std::string::npos ||
        args.find_first_of("'\\") != std::string::npos) {
        return args; // already named (or quoted: left as written)
    }
    static const char* const names[] = {"x", "y", "w", "h"};
    const auto parts = SplitArguments(args);
    std::string result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            result += ':';
        }
        result += i < 4 ? std::string(names[i]) + "=" + parts[i] : parts[i];
    }
    return result;
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

} // namespace

std::string TranslateLegacyFilterText(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const bool atFilterStart = i == 0 || text[i - 1] == ',' || text[i - 1] == ';' ||
                                   text[i - 1] == ']' || std::isspace((unsigned char)text[i - 1]);
        if (atFilterStart && text.compare(i, 5, "crop=") == 0 && (i + 5 > text.size() || true)) {
            std::size_t end = i + 5;
            while (end < text.size() && text[end] != ',' && text[end] != ';' && text[end] != '[') {
                ++end;
            }
            out += "crop=" + TranslateCropArguments(text.substr(i + 5, end - i - 5));
            i = end;
            continue;
        }
        // Copy a whole word so "xcrop=" is never mistaken for "crop=".
        if (IsNameChar(text[i])) {
            std::size_t end = i;
            while (end < text.size() && IsNameChar(text[end])) {
                ++end;
            }
            if (end == i) {
                ++end;
            }
            if (text.compare(i, end - i, "crop") == 0) {
                out += "crop";
                i = end;
                continue;
            }
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        out += text[i++];
    }
    return out;
}

TVideoFilterGraph::~TVideoFilterGraph() {
    Release();
}

void TVideoFilterGraph::Release() {
    if (graph_) {
        std::lock_guard lock(CodecLock());
        graph_.reset();
    }
    source_ = nullptr;
    sink_ = nullptr;
}

bool TVideoFilterGraph::IsPassThrough(const TVideoGraphConfig& c) {
    return c.userText.empty() && !c.deinterlace && c.cropTop == 0 && c.cropBottom == 0 &&
           c.cropLeft == 0 && c.cropRight == 0 && c.inWidth == c.outWidth &&
           c.inHeight == c.outHeight && c.inFormat == c.outFormat;
}

AVFilterContext* TVideoFilterGraph::AddFilter(const char* type, const char* name,
                                              const std::string& args) {
    AVFilterContext* filter = nullptr;
    const int ret = ff::avfilter_graph_create_filter(&filter, ff::avfilter_get_by_name(type), name,
                                                     args.empty() ? nullptr : args.c_str(), nullptr,
                                                     graph_.get());
    if (ret < 0) {
        throw EngineException(ErrorText("Filter graph", ret));
    }
    return filter;
}

void TVideoFilterGraph::Link(AVFilterContext* from, AVFilterContext* to) {
    const int ret = ff::avfilter_link(from, 0, to, 0);
    if (ret < 0) {
        throw EngineException(ErrorText("Filter graph", ret));
    }
}

void TVideoFilterGraph::Build(const TVideoGraphConfig& config) {
    TLibraryErrorCapture capture;
    try {
        BuildGraph(config);
    } catch (const EngineException& e) {
        throw EngineException(capture.Explain(e.what()));
    }
}

void TVideoFilterGraph::BuildGraph(const TVideoGraphConfig& config) {
    Release();
    config_ = config;
    graph_.reset(ff::avfilter_graph_alloc());
    if (!graph_) {
        throw EngineException(ErrorText("Filter graph", AVERROR(ENOMEM)));
    }
    const std::string swsFlags = FormatText("flags=0x%X", unsigned(config.scalerFlags));
    graph_->scale_sws_opts = ff::av_strdup(swsFlags.c_str());
    graph_->nb_threads = config.threads;

    const AVRational sar = config.sampleAspect.num > 0 ? config.sampleAspect : AVRational{0, 1};
    std::string sourceArgs =
        FormatText("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", config.inWidth,
                   config.inHeight, int(config.inFormat), config.timeBase.num, config.timeBase.den,
                   sar.num, sar.den);
    if (config.frameRate.num > 0 && config.frameRate.den > 0) {
        sourceArgs += FormatText(":frame_rate=%d/%d", config.frameRate.num, config.frameRate.den);
    }
    source_ = AddFilter("buffer", "src", sourceArgs);
    sink_ = AddFilter("buffersink", "out", "");
    if (config.outFormat != AV_PIX_FMT_NONE) {
        const AVPixelFormat formats[] = {config.outFormat, AV_PIX_FMT_NONE};
        ff::av_opt_set_bin(sink_, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats),
                           sizeof(formats[0]), AV_OPT_SEARCH_CHILDREN);
    }

    AVFilterContext* last = source_;
    if (config.deinterlace) {
        AVFilterContext* yadif = AddFilter("yadif", "deinterlace", "mode=0:parity=-1:deint=0");
        Link(last, yadif);
        last = yadif;
    }
    const int croppedWidth = config.inWidth - config.cropLeft - config.cropRight;
    const int croppedHeight = config.inHeight - config.cropTop - config.cropBottom;
    if (config.cropTop || config.cropBottom || config.cropLeft || config.cropRight) {
        AVFilterContext* crop = AddFilter("crop", "crop",
                                          FormatText("x=%d:y=%d:w=%d:h=%d", config.cropLeft,
                                                     config.cropTop, croppedWidth, croppedHeight));
        Link(last, crop);
        last = crop;
    }
    if (config.outWidth > 0 && config.outHeight > 0 &&
        (config.outWidth != croppedWidth || config.outHeight != croppedHeight)) {
        AVFilterContext* scale =
            AddFilter("scale", "scale",
                      FormatText("%d:%d:flags=0x%X", config.outWidth, config.outHeight,
                                 unsigned(config.scalerFlags)));
        Link(last, scale);
        last = scale;
    }

    if (!config.userText.empty()) {
        const std::string text = TranslateLegacyFilterText(config.userText);
        const int ret = LinkFilterChain(graph_.get(), last, sink_, text);
        if (ret < 0) {
            throw EngineException(ErrorText("Filter graph", ret));
        }
    } else {
        Link(last, sink_);
    }
    const int ret = ff::avfilter_graph_config(graph_.get(), nullptr);
    if (ret < 0) {
        throw EngineException(ErrorText("Filter graph", ret));
    }
}

void TVideoFilterGraph::Push(AVFrame* frame) {
    TLibraryErrorCapture capture;
    const int ret = ff::av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (ret < 0) {
        throw EngineException(capture.Explain(ErrorText("Filter graph", ret)));
    }
}

bool TVideoFilterGraph::Pull(AVFrame* frame) {
    TLibraryErrorCapture capture;
    const int ret = ff::av_buffersink_get_frame(sink_, frame);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
        return false;
    }
    if (ret < 0) {
        throw EngineException(capture.Explain(ErrorText("Filter graph", ret)));
    }
    return true;
}

int TVideoFilterGraph::OutputWidth() const {
    return ff::av_buffersink_get_w(sink_);
}
int TVideoFilterGraph::OutputHeight() const {
    return ff::av_buffersink_get_h(sink_);
}
AVRational TVideoFilterGraph::OutputTimeBase() const {
    return ff::av_buffersink_get_time_base(sink_);
}
AVRational TVideoFilterGraph::OutputSampleAspect() const {
    return ff::av_buffersink_get_sample_aspect_ratio(sink_);
}

} // namespace tessaro
