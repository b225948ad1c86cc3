// The first step after decoding a video stream: deinterlacing when asked, and turning the
// picture upright when the stream carries a display rotation. It runs before the frame hook,
// so hooks, crops, frame sizes and the zoom texts all see the progressive, upright picture.
#pragma once

#include "runtime/FFmpegPtr.h"
#include "transcoder/pipeline/VideoFilterGraph.h"

#include <string>

namespace tessaro {

class TSourcePictureFilter {
public:
    // Rotation in clockwise degrees (0, 90, 180, 270); Threads as for filter graphs.
    TSourcePictureFilter(bool deinterlace, int rotation, int threads);
    TSourcePictureFilter(const TSourcePictureFilter&) = delete;
    TSourcePictureFilter& operator=(const TSourcePictureFilter&) = delete;

    // False when there is nothing to do: pictures go on as decoded.
    bool IsActive() const { return deinterlace_ || !rotationChain_.empty(); }

    // True when the filter was built for pictures of this frame's size and format.
    bool IsBuiltFor(const AVFrame* frame) const;
    // (Re)builds the filter for pictures like Frame, time stamps in TimeBase. Throws
    // EngineException with the library's reason.
    void Build(const AVFrame* frame, AVRational timeBase, AVRational frameRate);
    bool IsBuilt() const { return graph_.IsBuilt(); }

    // Feeds a decoded picture; null ends the stream (held-back pictures come out).
    void Push(AVFrame* frame) { graph_.Push(frame); }
    // Takes the next finished picture; false when none is ready.
    bool Pull(AVFrame* frame) { return graph_.Pull(frame); }
    AVRational OutputTimeBase() const { return graph_.OutputTimeBase(); }

private:
    bool deinterlace_;
    std::string rotationChain_;
    int threads_;
    TVideoFilterGraph graph_;
};

} // namespace tessaro
