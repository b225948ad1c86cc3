#include "base/MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace tessaro {
namespace {

// The engine's own queue: workers append a call and wait for it; the main thread
// runs the calls when it drains the queue.
class TEngineMessageQueue final : public TMainThreadDispatcher {
public:
    void Invoke(const std::function<void()>& call) override {
        auto message = std::make_shared<TMessage>(call);
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(message);
        }
        arrived_.notify_all();
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return message->done; });
        if (message->error) {
            std::rethrow_exception(message->error);
        }
    }

    void ProcessPending() override {
        while (auto message = TakeNext()) {
            Run(*message);
        }
    }

    void WaitAndProcessPending(std::chrono::milliseconds timeout) override {
        {
            std::unique_lock lock(mutex_);
            arrived_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
        }
        ProcessPending();
    }

private:
    struct TMessage {
        explicit TMessage(const std::function<void()>& c) : call(c) {}
        std::function<void()> call;
        std::exception_ptr error;
        bool done = false;
    };

    std::shared_ptr<TMessage> TakeNext() {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            return nullptr;
        }
        auto message = queue_.front();
        queue_.pop_front();
        return message;
    }

    void Run(TMessage& message) {
        std::exception_ptr error;
        try {
            message.call();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            message.error = error;
            message.done = true;
        }
        done_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<TMessage>> queue_;
};

TEngineMessageQueue& EngineQueue() {
    static TEngineMessageQueue queue;
    return queue;
}

std::atomic<TMainThreadDispatcher*> installedDispatcher{nullptr};
std::atomic<pid_t> mainThreadId{0};

pid_t CurrentThreadId() {
    return pid_t(syscall(SYS_gettid));
}

TMainThreadDispatcher& Dispatcher() {
    TMainThreadDispatcher* dispatcher = installedDispatcher.load();
    return dispatcher != nullptr ? *dispatcher : EngineQueue();
}

} // namespace

void SetMainThreadDispatcher(TMainThreadDispatcher* dispatcher) {
    installedDispatcher.store(dispatcher);
}

void SetMainThread() {
    mainThreadId.store(CurrentThreadId());
}

bool IsMainThread() {
    const pid_t mainId = mainThreadId.load();
    return CurrentThreadId() == (mainId != 0 ? mainId : getpid());
}

void CallInMainThread(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
    } else {
        Dispatcher().Invoke(call);
    }
}

void ProcessPendingMessages() {
    if (IsMainThread()) {
        Dispatcher().ProcessPending();
    }
}

void WaitAndProcessPendingMessages(std::chrono::milliseconds timeout) {
    if (IsMainThread()) {
        Dispatcher().WaitAndProcessPending(timeout);
    }
}

} // namespace tessaro
