// The encoding and muxing side of a run. The reading side hands it pictures and samples to
// encode and packets to write; run on a thread of its own, it takes them from a small bounded
// queue, so reading, decoding and filtering overlap with encoding and muxing. Between the
// headers and the trailers, every use of the encoders (subtitle encoders excepted: the
// reading side drives those) and of the muxers happens here, in the order the work was
// handed over.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/StreamPlan.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaro {

class TEncodeStage {
public:
    // Which byte count of the final statistics a written packet adds to.
    enum class TCount { Nothing, Video, Audio };

    // Capacity: the work items the queue holds before the reading side waits.
    TEncodeStage(const TTranscoderOptions& options, TTaskLog log, std::size_t capacity = 16);
    ~TEncodeStage();
    TEncodeStage(const TEncodeStage&) = delete;
    TEncodeStage& operator=(const TEncodeStage&) = delete;

    // Before Start, in table order: takes over the stream's bit-stream filters and pass log;
    // the stream's encoder is used only here from Start on.
    void AddStream(TOutputStream& ost);
    // Threaded: the work runs on the stage's thread; otherwise at once on the caller's.
    // FirstOutput is the file whose size the progress reports give.
    void Start(bool threaded, AVFormatContext* firstOutput);

    // The reading side's calls. The stage takes its own reference to the frame or packet.
    // Once the stage has failed, each rethrows its error.
    void EncodeFrame(int stream, const AVFrame* frame);
    void WritePacket(int stream, const AVPacket* packet, TCount count);
    // Takes the pictures or samples the encoder still holds.
    void Drain(int stream);
    // Returns when everything handed over so far is written (or the stage failed).
    void WaitUntilIdle();
    // Lets the stage write what it holds, ends its thread and rethrows its error.
    void Finish();
    // Ends the stage at once and drops what it holds (the run failed).
    void Abandon();

    // Any thread: the first output's size (its write position while the size is unknown)
    // and write position as of the last packet written.
    std::int64_t OutputSize() const { return outputSize_.load(std::memory_order_relaxed); }
    std::int64_t OutputPosition() const { return outputPosition_.load(std::memory_order_relaxed); }
    // Quality of the stream's last encoded picture / 118 (-1 before the first).
    float Quality(int stream) const;
    // While the stage does not work (before Start, after Finish): measures the first output
    // again, e.g. after its trailer.
    void MeasureOutput();
    // After Finish: the bytes of encoded or copied video and audio packets.
    std::int64_t VideoBytes() const { return videoBytes_; }
    std::int64_t AudioBytes() const { return audioBytes_; }

private:
    struct TStreamWriter;
    // One item of the queue.
    struct TWork {
        enum class TKind { Frame, Packet, Drain };
        TKind kind = TKind::Frame;
        int stream = 0;
        AVFramePtr frame;
        AVPacketPtr packet;
        TCount count = TCount::Nothing;
    };

    void Push(TWork work);
    void RunThread();
    void Perform(TWork& work);
    void SendFrame(TStreamWriter& writer, AVFrame* frame);
    void ReceivePackets(TStreamWriter& writer, const char* failureText);
    void CountEncodedPacket(TStreamWriter& writer, const AVPacket* packet);
    void WriteVideoStatistics(TStreamWriter& writer, const AVPacket* packet);
    void Write(TStreamWriter& writer, AVPacket* packet);
    void DrainEncoder(TStreamWriter& writer);

    const TTranscoderOptions& options_;
    TTaskLog log_;
    std::size_t capacity_;
    std::vector<std::unique_ptr<TStreamWriter>> writers_;
    AVFormatContext* firstOutput_ = nullptr;
    AVPacketPtr encoded_;
    TFilePtr vstats_;
    std::int64_t videoBytes_ = 0;
    std::int64_t audioBytes_ = 0;
    std::atomic<std::int64_t> outputSize_{0};
    std::atomic<std::int64_t> outputPosition_{0};

    // The queue between the two sides.
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<TWork> queue_;
    bool busy_ = false;      // the stage's thread is performing an item
    bool closing_ = false;   // no more work comes: end when the queue is empty
    bool abandoned_ = false; // end now
    std::exception_ptr error_;
    std::thread thread_;
};

} // namespace tessaro
