// The player's notices (positions and states) on their way to the event thread that delivers
// them: a ring that coalesces them, and the session of one opened file that holds the ring.
#pragma once

#include "base/ManualEvent.h"
#include "player/MediaPlayer.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

namespace tessaro {

enum TNoticeKind : int { nkPosition = 1, nkState = 2, nkEnd = 3 };

// A notice for the player's event thread: a position, a state, or the end of delivery.
struct TNotice {
    int Kind = 0;
    TPlayState State = psPlay;
    std::int64_t Position = 0;
};

// The player's notices waiting for delivery (no lock of its own). It holds at most nine:
// a notice of the same kind as the newest waiting one replaces it, and when the ring is
// full the oldest is dropped, so a slow receiver sees the latest of everything.
class TNoticeRing {
public:
    static constexpr int Size = 10;
    void Queue(const TNotice& notice);
    // Takes the oldest waiting notice; false when none waits.
    bool Take(TNotice& notice);
    int Count() const;

private:
    TNotice ring_[Size];
    int read_ = 0;
    int write_ = 0;
};

// The notices of one opened file, for the thread that delivers them.
class TPlayerEventSession {
public:
    void Queue(const TNotice& notice);
    bool Take(TNotice& notice);
    // Waits a while for a notice to arrive.
    void WaitForNotice();

    // Hands state to report in the order the session's states must be seen: psPlay from the
    // play thread first. A player opened paused may decode its two pictures and report
    // psPause before the play thread has started; such a state waits for psPlay (the latest
    // one only, as the ring would keep it) instead of being replaced by it.
    template <typename Report> void ReportStateInOrder(TPlayState state, Report&& report) {
        std::lock_guard lock(stateOrderMutex_);
        if (state == psPlay) {
            playReported_ = true;
            report(psPlay);
            if (heldState_) {
                report(*heldState_);
                heldState_.reset();
            }
        } else if (!playReported_ && state != psStop) {
            heldState_ = state;
        } else {
            report(state);
        }
    }

    std::atomic<bool> Finished{false};

private:
    std::mutex mutex_; // guards ring_
    TNoticeRing ring_;
    TManualEvent notEmpty_;
    std::mutex stateOrderMutex_; // guards playReported_ and heldState_
    bool playReported_ = false;
    std::optional<TPlayState> heldState_;
};

} // namespace tessaro
