#include "player/PacketQueue.h"

namespace tessaro {
namespace {

// What an entry costs beyond its packet's data, as the queue's byte count reckons it.
constexpr int PacketOverhead = 72;

} // namespace

void TPacketQueue::Start() {
    {
        std::lock_guard lock(mutex_);
        abort_ = false;
    }
    PutFlush();
}

void TPacketQueue::Append(TQueuedPacket entry, int size) {
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
        bytes_ += size + PacketOverhead;
    }
    changed_.notify_all();
}

void TPacketQueue::Put(AVPacket* packet) {
    AVPacketPtr copy(ff::av_packet_alloc());
    if (!copy || ff::av_packet_ref(copy.get(), packet) < 0) {
        return;
    }
    const int size = copy->size;
    Append(TQueuedPacket{std::move(copy), false}, size);
}

void TPacketQueue::PutFlush() {
    Append(TQueuedPacket{nullptr, true}, 0);
}

void TPacketQueue::PutEnd() {
    Append(TQueuedPacket{AVPacketPtr(ff::av_packet_alloc()), false}, 0);
}

int TPacketQueue::Get(TQueuedPacket& entry, bool block) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (abort_) {
            return -1;
        }
        if (!entries_.empty()) {
            entry = std::move(entries_.front());
            entries_.pop_front();
            bytes_ -= (entry.Packet ? entry.Packet->size : 0) + PacketOverhead;
            return 1;
        }
        if (!block) {
            return 0;
        }
        changed_.wait(lock);
    }
}

void TPacketQueue::Clear() {
    std::deque<TQueuedPacket> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(entries_);
        bytes_ = 0;
    }
}

void TPacketQueue::Abort() {
    {
        std::lock_guard lock(mutex_);
        abort_ = true;
    }
    changed_.notify_all();
}

bool TPacketQueue::Aborted() const {
    std::lock_guard lock(mutex_);
    return abort_;
}

std::int64_t TPacketQueue::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

int TPacketQueue::Count() const {
    std::lock_guard lock(mutex_);
    return int(entries_.size());
}

} // namespace tessaro
