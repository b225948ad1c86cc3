// The decoded pictures waiting to be shown: two slots between the video decoding thread, which
// fills them, and the event loop, which shows each one when it is due or drops it when it is
// late. The skip factor thins out decoding while the display cannot keep up.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace tessaro {

class TPlaybackClock;

struct TPictureSlot {
    double Pts = 0;
    double Target = 0; // wall-clock time at which it is due
    std::int64_t Pos = -1;
    AVFramePtr Frame; // YUV 4:2:0, owned by the slot while queued
    int Width = 0;
    int Height = 0;
    bool Allocated = false;
};

// What one refresh of the display found in the queue.
struct TRefreshOutcome {
    bool Shown = false;   // a picture became the shown one (copied into the caller's frame)
    double ShownPts = 0;  // its time
    bool NotDue = false;  // the head picture is not due yet
    bool Dropped = false; // at least one late picture was dropped
    bool Empty = false;   // nothing was queued
};

class TPictureQueue {
public:
    static constexpr int Size = 2;

    TPictureQueue() = default;
    TPictureQueue(const TPictureQueue&) = delete;
    TPictureQueue& operator=(const TPictureQueue&) = delete;

    // ---- The decoding thread ----

    // Counts a decoded picture against the skip factor; true when it is to be shown.
    bool CountDecoded();
    // Waits until a slot is free; false when aborted() holds. Waiting for a full queue while no
    // refresh is pending lets the decoder show more of its pictures (a lower skip factor).
    bool WaitForRoom(bool refreshPending, const std::function<bool()>& aborted);
    // The slot to fill; the decoding thread owns it until it publishes it.
    TPictureSlot& WriteSlot() { return slots_[write_]; }
    // Makes the filled write slot the newest queued picture.
    void Publish();
    // Clears the due times and waits until the event loop has taken every queued picture
    // (or aborted() holds); the skip factor starts again at 1.
    void Flush(const std::function<bool()>& aborted);

    // ---- The event loop ----

    // Shows the head picture when it is due at the clock's time: it becomes the clock's shown
    // picture and is referenced in shown; with fromRefreshEvent it leaves the queue. A late
    // picture raises the skip factor by 5 %, and is dropped when another one is queued, when
    // it is more than half a second late or when stale holds (pictures from before a seek);
    // capture inputs are never late.
    TRefreshOutcome Refresh(TPlaybackClock& clock, const std::atomic<bool>& stale, bool capture,
                            bool fromRefreshEvent, AVFrame* shown);
    // A new reference to the picture due next (null when there is none) and its time.
    AVFramePtr Head(double& pts);
    // Frees every slot's picture.
    void Release();

    // Wakes the decoding thread waiting for room, so that it sees an abort.
    void WakeAll();
    double SkipFactor() const;
    int Count() const;

private:
    void DropHead();

    mutable std::mutex mutex_; // guards the fields below and the slots' times
    std::condition_variable changed_;
    TPictureSlot slots_[Size];
    int size_ = 0;
    int read_ = 0;
    int write_ = 0;
    double skipFactor_ = 1.0;
    double skipCounter_ = 0;
};

} // namespace tessaro
