#include "transcoder/pipeline/OutputVideoGraph.h"

#include "probe/DisplayRotation.h"

namespace tessaro {

TPictureShape DisplayedShape(const AVStream* stream) {
    const AVCodecParameters* par = stream->codecpar;
    TPictureShape shape{par->width, par->height,
                        stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio
                                                            : par->sample_aspect_ratio};
    if (RotationSwapsSides(StreamRotation(stream))) {
        std::swap(shape.width, shape.height);
        if (shape.sampleAspect.num > 0) {
            shape.sampleAspect = AVRational{shape.sampleAspect.den, shape.sampleAspect.num};
        }
    }
    return shape;
}

namespace {

TVideoGraphConfig GraphConfig(const TOutputStream& ost, const TInputStream& ist,
                              const AVFrame* frame, int threads) {
    const AVCodecParameters* par = ist.stream->codecpar;
    // Before the first picture the stream's parameters stand for it, as shown (upright).
    const TPictureShape shape = DisplayedShape(ist.stream);
    TVideoGraphConfig config;
    config.inWidth = frame != nullptr ? frame->width : shape.width;
    config.inHeight = frame != nullptr ? frame->height : shape.height;
    config.inFormat = AVPixelFormat(frame != nullptr ? frame->format : par->format);
    config.timeBase = ist.stream->time_base;
    config.frameRate = ist.stream->r_frame_rate;
    config.sampleAspect = frame != nullptr && frame->sample_aspect_ratio.num > 0
                              ? frame->sample_aspect_ratio
                              : shape.sampleAspect;
    config.cropTop = ost.cropTop;
    config.cropBottom = ost.cropBottom;
    config.cropLeft = ost.cropLeft;
    config.cropRight = ost.cropRight;
    config.outFormat = ost.facts.pixelFormat;
    config.scalerFlags = ost.setup->scalerFlags;
    config.userText = ost.setup->filters;
    config.threads = threads;
    return config;
}

void ApplyGraphConfig(TOutputStream& ost, const TVideoGraphConfig& config) {
    ost.graphConfig = config;
    if (TVideoFilterGraph::IsPassThrough(config)) {
        ost.graph.Release();
        ost.graphUsed = false;
    } else {
        ost.graph.Build(config);
        ost.graphUsed = true;
    }
}

// DV frames exist only in the sampling their norm prescribes (4:1:1 for 525 lines at 29.97
// fps): once the frame size is known, take the encoder's first format that has a DV profile.
void ChooseDvPixelFormat(TOutputStream& ost, TVideoGraphConfig& config) {
    AVCodecContext* enc = ost.encoder;
    const AVCodec* codec = ost.setup->encoder;
    if (codec == nullptr || codec->id != AV_CODEC_ID_DVVIDEO || codec->pix_fmts == nullptr ||
        ff::av_dv_codec_profile2(enc->width, enc->height, enc->pix_fmt, enc->framerate) !=
            nullptr) {
        return;
    }
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (ff::av_dv_codec_profile2(enc->width, enc->height, *f, enc->framerate)) {
            enc->pix_fmt = ost.facts.pixelFormat = config.outFormat = *f;
            ApplyGraphConfig(ost, config);
            return;
        }
    }
}

} // namespace

void BuildOutputGraph(TOutputStream& ost, const TInputStream& ist, const AVFrame* frame,
                      int threads) {
    TVideoGraphConfig config = GraphConfig(ost, ist, frame, threads);
    const bool firstBuild = ost.lastFormat < 0;
    // The encoder size asked for, before the user's filters changed it.
    config.outWidth = firstBuild ? ost.encoder->width : ost.graphConfig.outWidth;
    config.outHeight = firstBuild ? ost.encoder->height : ost.graphConfig.outHeight;
    if (config.outWidth <= 0 || config.outHeight <= 0) {
        config.outWidth = config.inWidth - config.cropLeft - config.cropRight;
        config.outHeight = config.inHeight - config.cropTop - config.cropBottom;
    }
    ost.lastWidth = config.inWidth;
    ost.lastHeight = config.inHeight;
    ost.lastFormat = config.inFormat;
    ApplyGraphConfig(ost, config);
    if (!firstBuild) {
        return;
    }
    AVCodecContext* enc = ost.encoder;
    enc->width = ost.graphUsed ? ost.graph.OutputWidth() : config.outWidth;
    enc->height = ost.graphUsed ? ost.graph.OutputHeight() : config.outHeight;
    ChooseDvPixelFormat(ost, config);
    if (ost.graphUsed && !config.userText.empty()) {
        enc->sample_aspect_ratio = ost.graph.OutputSampleAspect();
    }
}

} // namespace tessaro
