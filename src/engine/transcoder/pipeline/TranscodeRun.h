// One run of a conversion task (one Transcode call): the stream plan is built, then the
// reading side reads packets, decodes, filters and hooks them while the encoding stage
// encodes and writes them; at the end the decoders and encoders give what they hold, the
// trailers are written and the last progress report is made.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/DecodeStage.h"
#include "transcoder/pipeline/EncodeStage.h"
#include "transcoder/pipeline/EncoderFeed.h"
#include "transcoder/pipeline/FrameObservers.h"
#include "transcoder/pipeline/ProgressReporter.h"
#include "transcoder/pipeline/StreamPlan.h"
#include "transcoder/pipeline/TranscoderCallbacks.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace tessaro {

class TInputSet;
class TOutputSet;

// What a run works with: the task's files, option state, callbacks and flags.
struct TRunSettings {
    TTranscoderOptions& options;
    TInputSet& inputs;
    TOutputSet& outputs;
    TTranscoderCallbacks& callbacks;
    std::atomic<int>& flags;                // preview flags, changed under PreviewLock()
    const std::atomic<bool>& stopRequested; // the loop ends after its current packet
    std::int64_t totalDuration;             // µs, -1 unknown; reported with the progress
    std::int64_t progressInterval;          // µs
    std::int64_t previewInterval;           // µs
    bool pipelined;                         // encoding and muxing on a thread of their own
    TTaskLog log;
};

class TTranscodeRun {
public:
    explicit TTranscodeRun(const TRunSettings& settings);
    TTranscodeRun(const TTranscodeRun&) = delete;
    TTranscodeRun& operator=(const TTranscodeRun&) = delete;

    // Set-up, the packet loop and the end of the run; throws EngineException with the text of
    // the failing step (the encoding stage is stopped first).
    void Run();
    void Report(bool isLast, int fileIndex);
    // On the reading side: returns when everything read so far is written (for a pause).
    void WaitUntilEncoded() { stage_.WaitUntilIdle(); }

    // The task body's release steps.
    void ReleaseFilterGraphs() { plan_.ReleaseFilterGraphs(); }
    void CloseDecoders();

private:
    void ReadPackets();
    // The input file to read from next; -1 when none is left.
    int ChooseInputFile() const;
    bool FileSizeLimitReached();
    // True to read on; false when the loop ends.
    bool HandleEndOfFile(int file);
    void ProcessInputPacket(int file, AVPacket* packet);
    void AdjustPacketTimestamps(TInputStream& ist, AVPacket* packet);
    // "dump": one line per packet read; with "hex" its payload follows as a hex dump.
    void LogPacketDump(const AVPacket* packet) const;
    // Hands a packet of a DVD input to its subpicture burner, whatever stream it belongs to:
    // the subpicture stream may appear only after the input was opened.
    void OfferSubpicture(int file, const AVPacket* packet);
    bool SwitchJoinInput(int file);
    void FlushInput(int file);
    void FinishRun();
    void WriteTrailers();

    TRunSettings settings_;
    TStreamPlan plan_;
    TEncodeStage stage_;
    TFrameObservers observers_;
    TEncoderFeed feed_;
    TDecodeStage decoder_;
    TProgressReporter reporter_;
    std::vector<bool> eofReached_; // per input file
    std::vector<bool> noPacket_;   // per input file: it answered "try again"
    int currentJoinFile_ = 0;
};

} // namespace tessaro
