// The progress reports of a run: at most one per progress interval while the packets are
// read, and a last one after the trailers, each as the report line and the progress
// callback; the last also logs the final statistics.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/TranscoderCallbacks.h"

#include <cstdint>

namespace tessaro {

class TEncodeStage;
class TStreamPlan;
struct TSyncCounts;

class TProgressReporter {
public:
    TProgressReporter(const TStreamPlan& plan, const TEncodeStage& stage, TSyncCounts& counts,
                      const TTranscoderCallbacks& callbacks, const TTranscoderOptions& options,
                      bool joinMode, std::int64_t interval, TTaskLog log);

    // The run's clock starts (frames per second count from here).
    void Start();
    // Reports when more than the interval passed since the last report. FileIndex: the input
    // whose packet was read last.
    void Tick(int fileIndex, int currentJoinFile, std::int64_t totalDuration);
    // Builds the report line, logs it as the options say and calls the progress callback.
    // Nothing is reported while the first video output has written no picture.
    void Report(bool isLast, int fileIndex, int currentJoinFile, std::int64_t totalDuration);

private:
    void LogFinalStatistics(std::int64_t currentSize) const;

    const TStreamPlan& plan_;
    const TEncodeStage& stage_;
    TSyncCounts& counts_;
    const TTranscoderCallbacks& callbacks_;
    const TTranscoderOptions& options_;
    bool joinMode_; // only the first video stream of the input being converted counts
    std::int64_t interval_;
    TTaskLog log_;
    std::int64_t startTime_ = 0;
    std::int64_t lastReportTime_ = 0;
};

} // namespace tessaro
