#include "player/PlayerNotices.h"

#include <chrono>

namespace tessaro {

using namespace std::chrono_literals;

void TNoticeRing::Queue(const TNotice& notice) {
    const int newest = (write_ + Size - 1) % Size;
    if (read_ != write_ && ring_[newest].Kind == notice.Kind) {
        ring_[newest] = notice;
        return;
    }
    ring_[write_] = notice;
    write_ = (write_ + 1) % Size;
    if (write_ == read_) {
        read_ = (read_ + 1) % Size;
    }
}

bool TNoticeRing::Take(TNotice& notice) {
    if (read_ == write_) {
        return false;
    }
    notice = ring_[read_];
    read_ = (read_ + 1) % Size;
    return true;
}

int TNoticeRing::Count() const {
    return (write_ + Size - read_) % Size;
}

void TPlayerEventSession::Queue(const TNotice& notice) {
    {
        std::lock_guard lock(mutex_);
        ring_.Queue(notice);
    }
    notEmpty_.Set();
}

bool TPlayerEventSession::Take(TNotice& notice) {
    std::lock_guard lock(mutex_);
    const bool taken = ring_.Take(notice);
    if (ring_.Count() == 0) {
        notEmpty_.Reset();
    }
    return taken;
}

void TPlayerEventSession::WaitForNotice() {
    notEmpty_.Wait(100ms);
}

} // namespace tessaro
