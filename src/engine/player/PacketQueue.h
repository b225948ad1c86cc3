// A queue of demuxed packets between the reading thread and one decoding thread (or the audio
// callback). It has its own lock; the reader waits for room by looking at its size.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace tessaro {

// One queued entry: a packet, the flush marker (the decoder must flush) or the end
// marker (an empty packet: drain the decoder).
struct TQueuedPacket {
    AVPacketPtr Packet;
    bool Flush = false;
};

class TPacketQueue {
public:
    TPacketQueue() = default;
    TPacketQueue(const TPacketQueue&) = delete;
    TPacketQueue& operator=(const TPacketQueue&) = delete;
    ~TPacketQueue() { Clear(); }

    // Makes the queue usable again and puts the flush marker first.
    void Start();
    // Takes a reference to packet's data (the caller keeps its packet).
    void Put(AVPacket* packet);
    void PutFlush();
    void PutEnd();
    // -1 when aborted, 0 when empty and not blocking, 1 with an entry.
    int Get(TQueuedPacket& entry, bool block);
    void Clear();
    void Abort();
    bool Aborted() const;
    // The queued packets' sizes plus a fixed overhead per entry.
    std::int64_t Bytes() const;
    int Count() const;

private:
    void Append(TQueuedPacket entry, int size);

    mutable std::mutex mutex_; // guards everything below
    std::condition_variable changed_;
    std::deque<TQueuedPacket> entries_;
    std::int64_t bytes_ = 0;
    bool abort_ = false;
};

} // namespace tessaro
