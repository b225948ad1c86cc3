// Running engine events on the main thread (the GUI thread, or the thread that
// drains the engine's own queue in headless programs and tests).
#pragma once

#include <functional>

namespace tessaro {

// The GUI installs a Qt implementation; without one, the engine's own queue is used.
class TMainThreadDispatcher {
public:
    virtual ~TMainThreadDispatcher() = default;
    // Runs call on the main thread and waits until it has run.
    virtual void Invoke(const std::function<void()>& call) = 0;
    // Runs everything queued for the main thread (called on the main thread while it waits).
    virtual void ProcessPending() = 0;
};

// Installs the dispatcher (null restores the engine's own queue). Not owned.
void SetMainThreadDispatcher(TMainThreadDispatcher* dispatcher);
// Marks the calling thread as the main thread (done once at start-up).
void SetMainThread();
bool IsMainThread();

// Runs call on the main thread and waits; on the main thread, calls it directly.
void CallInMainThread(const std::function<void()>& call);
// Dispatches every call waiting for the main thread; returns when none is left.
void ProcessPendingMessages();

} // namespace tessaro
