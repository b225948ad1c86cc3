#include "transcoder/pipeline/ProgressReporter.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "transcoder/pipeline/EncodeStage.h"
#include "transcoder/pipeline/EncoderFeed.h"
#include "transcoder/pipeline/StreamPlan.h"

#include <cmath>

namespace tessaro {

namespace {

constexpr double NoTime = 1e10;

} // namespace

TProgressReporter::TProgressReporter(const TStreamPlan& plan, const TEncodeStage& stage,
                                     TSyncCounts& counts, const TTranscoderCallbacks& callbacks,
                                     const TTranscoderOptions& options, bool joinMode,
                                     std::int64_t interval, TTaskLog log)
    : plan_(plan), stage_(stage), counts_(counts), callbacks_(callbacks), options_(options),
      joinMode_(joinMode), interval_(interval), log_(log) {}

void TProgressReporter::Start() {
    startTime_ = ff::av_gettime_relative();
    lastReportTime_ = startTime_;
}

void TProgressReporter::Tick(int fileIndex, int currentJoinFile, std::int64_t totalDuration) {
    const std::int64_t now = ff::av_gettime_relative();
    if (now - lastReportTime_ > interval_) {
        lastReportTime_ = now;
        Report(false, fileIndex, currentJoinFile, totalDuration);
    }
}

void TProgressReporter::Report(bool isLast, int fileIndex, int currentJoinFile,
                               std::int64_t totalDuration) {
    const TTranscoderOptions& o = options_;
    const std::int64_t currentSize = stage_.OutputSize();
    std::string line;
    int frameNumber = -1;
    int fps = -1;
    float quality = -1.0f;
    bool firstVideo = true;
    double time = NoTime;
    for (const TOutputStream& ost : plan_.OutputStreams()) {
        const float q = ost.setup->streamCopy ? -1.0f : stage_.Quality(ost.tableIndex);
        if (ost.setup->type == AVMEDIA_TYPE_VIDEO) {
            const bool current =
                !joinMode_ || plan_.InputStreams()[std::size_t(ost.source)].file == currentJoinFile;
            if (!firstVideo) {
                line += FormatText("q=%2.1f ", q);
            } else if (current) {
                firstVideo = false;
                const double elapsed = double(ff::av_gettime_relative() - startTime_) / 1e6;
                frameNumber = int(ost.frameNumber);
                if (frameNumber < 1) {
                    return;
                }
                fps = elapsed > 1 ? int(std::lround(frameNumber / elapsed)) : 0;
                quality = q;
                line += FormatText("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, q);
                if (isLast) {
                    line += "L";
                }
            }
        }
        const double t = OutputTimeOf(ost);
        if (t > 0 && t < time) {
            time = t;
        }
    }
    const bool hasCallback = bool(callbacks_.progress);
    if (!hasCallback && o.verbose <= 0 && !isLast) {
        return;
    }
    time = std::max(time, 0.01);
    const double bitRate = double(currentSize) * 8 / time / 1000;
    line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", double(currentSize) / 1024,
                       time, bitRate);
    if (counts_.duplicated != 0 || counts_.dropped != 0) {
        line += FormatText(" dup=%d drop=%d", counts_.duplicated, counts_.dropped);
    }
    if (hasCallback) {
        if (counts_.changedSinceReport && o.verbose >= 0) {
            log_(llVerbose, line);
        }
        counts_.changedSinceReport = false;
        callbacks_.progress(fileIndex, frameNumber, fps, quality, float(bitRate), currentSize,
                            std::int64_t(time * 1000000), totalDuration);
    } else if (o.verbose >= 0) {
        log_(llVerbose, line);
    }
    if (isLast && o.verbose >= 0) {
        LogFinalStatistics(currentSize);
    }
}

void TProgressReporter::LogFinalStatistics(std::int64_t currentSize) const {
    const double video = double(stage_.VideoBytes());
    const double audio = double(stage_.AudioBytes());
    const double extra = double(plan_.ExtraHeaderBytes());
    const double sum = video + audio + extra;
    log_(llVerbose, FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing "
                               "overhead %f%%\r\n",
                               video / 1024, audio / 1024, extra / 1024,
                               sum > 0 ? (double(currentSize) - sum) * 100 / sum : 0.0));
}

} // namespace tessaro
