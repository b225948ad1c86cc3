// The decoding half of the reading side: each packet the loop reads is copied to the
// streams that copy it and decoded when some stream encodes it; decoded pictures are
// deinterlaced and turned upright, get the DVD subpicture burned in and pass the custom hook,
// then go with the decoded samples and subtitles to every output stream they feed.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/StreamPlan.h"

#include <cstdint>

namespace tessaro {

class TEncoderFeed;
class TFrameObservers;
class TInputSet;

class TDecodeStage {
public:
    TDecodeStage(TStreamPlan& plan, TInputSet& inputs, TEncoderFeed& feed,
                 TFrameObservers& observers, const TTranscoderOptions& options, TTaskLog log);
    TDecodeStage(const TDecodeStage&) = delete;
    TDecodeStage& operator=(const TDecodeStage&) = delete;

    // One packet of the input stream, or null at the end of its input (the decoder gives
    // what it holds). Negative on a decoding error.
    int ProcessPacket(TInputStream& ist, const AVPacket* packet);

private:
    void AdvanceWithoutDecoding(TInputStream& ist, const AVPacket* packet);
    int DecodePacket(TInputStream& ist, const AVPacket* packet);
    int DecodeSubtitle(TInputStream& ist, const AVPacket* packet);
    void NoteMultipleFrames(TInputStream& ist);
    void HandleDecodedVideo(TInputStream& ist, AVFrame* frame);
    void WaitForStreamTime(const TInputStream& ist, std::int64_t ptsUs) const;
    // Pictures of the source picture filter (deinterlaced, upright) go on to the outputs.
    void PullSourcePictures(TInputStream& ist);
    void FinishSourcePictures(TInputStream& ist);
    // One upright picture: subpicture, hook, then every output stream fed by the input.
    void DistributePicture(TInputStream& ist, AVFrame* frame, std::int64_t ptsUs);
    void BurnSubpicture(const TInputStream& ist, AVFrame* frame, std::int64_t ptsUs);
    void HandleDecodedAudio(TInputStream& ist, AVFrame* frame);
    void HandleDecodedSubtitle(TInputStream& ist, AVSubtitle& subtitle);
    // The output streams fed by Ist whose encoder is open.
    template <typename Visit> void ForEachEncodedOutput(const TInputStream& ist, Visit&& visit);

    TStreamPlan& plan_;
    TInputSet& inputs_;
    TEncoderFeed& feed_;
    TFrameObservers& observers_;
    const TTranscoderOptions& options_;
    TTaskLog log_;
    AVFramePtr decoded_;
};

} // namespace tessaro
