// The reading side's half of each output stream: what turns decoded pictures, samples and
// subtitles (or packets to copy) into the work the encoding stage gets. Pictures go through
// the stream's filter graph and the video sync, which drops or repeats them to keep the
// frame rate; samples are put where their time stamps say and cut into encoder frames;
// subtitles are encoded here.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/StreamPlan.h"

#include <atomic>
#include <cstdint>

namespace tessaro {

class TEncodeStage;
class TFrameObservers;

// Pictures dropped and repeated by the video sync.
struct TSyncCounts {
    int duplicated = 0;
    int dropped = 0;
    bool changedSinceReport = false;
};

class TEncoderFeed {
public:
    TEncoderFeed(TStreamPlan& plan, TEncodeStage& stage, TFrameObservers& observers,
                 const TTranscoderOptions& options, const std::atomic<bool>& stopRequested,
                 TTaskLog log);
    TEncoderFeed(const TEncoderFeed&) = delete;
    TEncoderFeed& operator=(const TEncoderFeed&) = delete;

    // Binds the audio pipelines of the encoded audio streams to the encoding stage.
    void ConnectAudio();

    // One decoded (deinterlaced, upright, hooked) picture of the stream's source.
    void Picture(TOutputStream& ost, AVFrame* picture);
    // Decoded samples of the stream's source, starting at PtsUs.
    void Samples(TOutputStream& ost, const AVFrame* frame, std::int64_t ptsUs);
    void Subtitle(TOutputStream& ost, const AVSubtitle& subtitle, std::int64_t ptsUs);
    // A packet of the source for a stream-copied stream; Seeked: the input was opened at a
    // start position, so packets before it are left out.
    void Copy(TOutputStream& ost, const AVPacket* packet, bool seeked);
    // End of the stream: the pictures held by the filter graph, the samples held for the last
    // frame, then the encoder's own.
    void Finish(TOutputStream& ost);

    TSyncCounts& Counts() { return counts_; }
    const TSyncCounts& Counts() const { return counts_; }

private:
    void RebuildForNewPictureSize(TOutputStream& ost, const AVFrame* picture);
    void FlushGraph(TOutputStream& ost);
    void VideoOutput(TOutputStream& ost, AVFrame* frame, AVRational timeBase);
    int VideoSync(TOutputStream& ost, double syncIpts, double duration);
    void EncodePicture(TOutputStream& ost, const AVFrame* picture, int copies);
    void KeepAudioInPlace(TOutputStream& ost, std::int64_t delta, bool realign, int inputSamples);

    TStreamPlan& plan_;
    TEncodeStage& stage_;
    TFrameObservers& observers_;
    const TTranscoderOptions& options_;
    const std::atomic<bool>& stopRequested_;
    TTaskLog log_;
    TSyncCounts counts_;
    AVFramePtr picture_; // the picture handed to the encoder, with its own time stamp
    AVPacketPtr copied_; // stream copy: the packet being handed on
    AVMemPtr<std::uint8_t> subtitleBuffer_;
};

} // namespace tessaro
