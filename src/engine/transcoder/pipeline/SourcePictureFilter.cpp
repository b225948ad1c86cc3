#include "transcoder/pipeline/SourcePictureFilter.h"

#include "probe/DisplayRotation.h"

namespace tessaro {

TSourcePictureFilter::TSourcePictureFilter(bool deinterlace, int rotation, int threads)
    : deinterlace_(deinterlace), rotationChain_(RotationFilterChain(rotation)), threads_(threads) {}

bool TSourcePictureFilter::IsBuiltFor(const AVFrame* frame) const {
    const TVideoGraphConfig& built = graph_.Config();
    return graph_.IsBuilt() && built.inWidth == frame->width && built.inHeight == frame->height &&
           built.inFormat == frame->format;
}

void TSourcePictureFilter::Build(const AVFrame* frame, AVRational timeBase, AVRational frameRate) {
    TVideoGraphConfig config;
    config.inWidth = frame->width;
    config.inHeight = frame->height;
    config.inFormat = AVPixelFormat(frame->format);
    config.timeBase = timeBase;
    config.frameRate = frameRate;
    config.sampleAspect = frame->sample_aspect_ratio;
    config.deinterlace = deinterlace_;
    config.threads = threads_;
    config.userText = rotationChain_;
    // No frame size and no pixel format: the pictures keep theirs, only turned.
    graph_.Build(config);
}

} // namespace tessaro
