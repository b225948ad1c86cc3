#include "player/PictureQueue.h"

#include "player/PlaybackClock.h"

#include <algorithm>

namespace tessaro {
namespace {

constexpr double SkipFactorStep = 0.05;
constexpr double LateDropMargin = 0.5;

} // namespace

bool TPictureQueue::CountDecoded() {
    std::lock_guard lock(mutex_);
    skipCounter_ += 1;
    const bool show = skipCounter_ >= skipFactor_;
    if (show) {
        skipCounter_ -= std::max(skipFactor_, 1.0);
    }
    return show;
}

bool TPictureQueue::WaitForRoom(bool refreshPending, const std::function<bool()>& aborted) {
    std::unique_lock lock(mutex_);
    if (size_ >= Size && !refreshPending) {
        skipFactor_ = std::max(1.0 - SkipFactorStep, skipFactor_ * (1 - SkipFactorStep));
    }
    changed_.wait(lock, [&] { return size_ < Size || aborted(); });
    return !aborted();
}

void TPictureQueue::Publish() {
    std::lock_guard lock(mutex_);
    write_ = (write_ + 1) % Size;
    ++size_;
}

void TPictureQueue::Flush(const std::function<bool()>& aborted) {
    std::unique_lock lock(mutex_);
    for (TPictureSlot& slot : slots_) {
        slot.Target = 0;
    }
    changed_.wait(lock, [&] { return size_ == 0 || aborted(); });
    skipFactor_ = 1;
    skipCounter_ = 0;
}

void TPictureQueue::DropHead() {
    read_ = (read_ + 1) % Size;
    --size_;
    changed_.notify_all();
}

TRefreshOutcome TPictureQueue::Refresh(TPlaybackClock& clock, const std::atomic<bool>& stale,
                                       bool capture, bool fromRefreshEvent, AVFrame* shown) {
    TRefreshOutcome outcome;
    std::lock_guard lock(mutex_);
    for (;;) {
        if (size_ == 0) {
            outcome.Empty = true;
            return outcome;
        }
        const double now = clock.Now();
        const TPictureSlot& head = slots_[read_];
        if (now < head.Target) {
            outcome.NotDue = true;
            return outcome;
        }
        clock.PictureShown(head.Pts, head.Pos, now);
        const double nextTarget = size_ > 1 ? slots_[(read_ + 1) % Size].Target
                                            : head.Target + clock.PredictedPictureTime() - head.Pts;
        if ((now > nextTarget && !capture) || stale) {
            skipFactor_ *= 1 + SkipFactorStep;
            if (size_ > 1 || now > nextTarget + LateDropMargin || stale) {
                DropHead();
                outcome.Dropped = true;
                continue;
            }
        }
        ff::av_frame_unref(shown);
        ff::av_frame_ref(shown, head.Frame.get());
        outcome.Shown = true;
        outcome.ShownPts = head.Pts;
        if (fromRefreshEvent) {
            DropHead();
        }
        return outcome;
    }
}

AVFramePtr TPictureQueue::Head(double& pts) {
    std::lock_guard lock(mutex_);
    const TPictureSlot& head = slots_[read_];
    pts = head.Pts;
    if (!head.Allocated || !head.Frame || head.Frame->data[0] == nullptr) {
        return nullptr;
    }
    AVFramePtr picture(ff::av_frame_alloc());
    ff::av_frame_ref(picture.get(), head.Frame.get());
    return picture;
}

void TPictureQueue::Release() {
    std::lock_guard lock(mutex_);
    for (TPictureSlot& slot : slots_) {
        slot.Frame.reset();
        slot.Allocated = false;
    }
}

void TPictureQueue::WakeAll() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

double TPictureQueue::SkipFactor() const {
    std::lock_guard lock(mutex_);
    return skipFactor_;
}

int TPictureQueue::Count() const {
    std::lock_guard lock(mutex_);
    return size_;
}

} // namespace tessaro
