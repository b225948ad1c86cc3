// The picture path of a video output stream: the filter graph that turns its source's
// pictures into the encoder's size and format, with the crop bands and the user's filters.
#pragma once

#include "transcoder/pipeline/StreamPlan.h"

namespace tessaro {

// Width, height and sample aspect ratio of a video stream's pictures as they are shown: a
// stream turned by a quarter turn has its sides swapped.
struct TPictureShape {
    int width = 0;
    int height = 0;
    AVRational sampleAspect{0, 1};
};
TPictureShape DisplayedShape(const AVStream* stream);

// (Re)builds the graph for pictures like Frame (null before the first picture: the source
// stream's parameters stand for it); without any change to make the pictures pass straight
// on. The first build settles the encoder's size (and a DV encoder's pixel format), so it
// runs before the encoder opens. Threads: filter threads, 0 automatic. Throws
// EngineException with the library's reason.
void BuildOutputGraph(TOutputStream& ost, const TInputStream& ist, const AVFrame* frame,
                      int threads);

} // namespace tessaro
