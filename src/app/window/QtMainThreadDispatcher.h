// The engine's main-thread calls on the GUI thread: a call from an engine thread becomes a
// blocking queued invocation that Qt's event loop runs; waits of the GUI thread on the engine
// run these calls (and only these) while they wait.
#pragma once

#include "base/MainThread.h"

#include <QObject>
#include <condition_variable>
#include <mutex>

namespace tessaro {

class TQtMainThreadDispatcher final : public TMainThreadDispatcher {
public:
    // Installs itself as the engine's dispatcher and marks the calling (GUI) thread as the
    // main thread; the destructor restores the engine's own queue.
    TQtMainThreadDispatcher();
    ~TQtMainThreadDispatcher() override;
    TQtMainThreadDispatcher(const TQtMainThreadDispatcher&) = delete;
    TQtMainThreadDispatcher& operator=(const TQtMainThreadDispatcher&) = delete;

    void Invoke(const std::function<void()>& call) override;
    void ProcessPending() override;
    void WaitAndProcessPending(std::chrono::milliseconds timeout) override;

private:
    QObject receiver_; // lives on the GUI thread; the queued calls are posted to it
    std::mutex mutex_;
    std::condition_variable arrived_;
    int waiting_ = 0; // calls posted and not yet run
};

} // namespace tessaro
