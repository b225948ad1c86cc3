// A manual-reset event: stays set until reset, releases every waiter while set.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tessaro {

class TManualEvent {
public:
    explicit TManualEvent(bool initiallySet = false) : set_(initiallySet) {}

    void Set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        changed_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    bool IsSet() const {
        std::lock_guard lock(mutex_);
        return set_;
    }
    // True when the event is set within timeout.
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return set_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_;
};

} // namespace tessaro
