// Running engine events on the main thread (the GUI thread, or the thread that
// drains the engine's own queue in headless programs and tests).
#pragma once

#include <chrono>
#include <functional>

namespace tessaro {

// The GUI installs a Qt implementation; without one, the engine's own queue is used.
class TMainThreadDispatcher {
public:
    virtual ~TMainThreadDispatcher() = default;
    // Runs call on the main thread and waits until it has run. An exception thrown by
    // call reaches the caller.
    virtual void Invoke(const std::function<void()>& call) = 0;
    // Runs everything queued for the main thread (called on the main thread while it waits).
    virtual void ProcessPending() = 0;
    // Waits up to timeout for a call to arrive, then runs what is queued. Waiting loops
    // on the main thread use it instead of spinning.
    virtual void WaitAndProcessPending(std::chrono::milliseconds timeout) {
        (void)timeout;
        ProcessPending();
    }
};

// Installs the dispatcher (null restores the engine's own queue). Not owned.
void SetMainThreadDispatcher(TMainThreadDispatcher* dispatcher);
// Marks the calling thread as the main thread (done once at start-up). Until then the
// process's initial thread is the main thread.
void SetMainThread();
bool IsMainThread();

// Runs call on the main thread and waits; on the main thread, calls it directly.
// An exception thrown by call propagates to the caller on either thread.
void CallInMainThread(const std::function<void()>& call);
// Dispatches every call waiting for the main thread; returns when none is left.
// Does nothing on any other thread.
void ProcessPendingMessages();
// Waits up to timeout for a call to arrive and dispatches what is waiting (main thread).
void WaitAndProcessPendingMessages(std::chrono::milliseconds timeout);

} // namespace tessaro
