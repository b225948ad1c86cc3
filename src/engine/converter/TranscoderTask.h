// One conversion task of the converter component: the transcoder plus the per-file records
// the component keeps for it, the probes of its inputs, and the task's life cycle on a
// worker thread (start, stop, pause at a packet boundary, terminate notice).
#pragma once

#include "converter/ConverterOptions.h"
#include "probe/MediaProbe.h"
#include "transcoder/CustomTranscoder.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaro {

// Applies a priority to the calling thread: SCHED_IDLE for tpIdle; otherwise the normal
// policy with the main thread's nice value plus 10 for tpLowest, plus 5 for tpLower, plus
// 0 for the rest (raising a priority above normal needs privileges the program does not
// ask for).
void ApplyThreadPriority(TThreadPriority priority);

// Waits until ready() holds. On the main thread the wait keeps running the calls that
// workers queue for it, so a worker waiting for the main thread cannot block the wait.
void WaitServingMainThread(std::mutex& lock, std::condition_variable& changed,
                           const std::function<bool()>& ready);

class TTranscoder : public TCustomTranscoder {
public:
    using TTerminateCallback = std::function<void(TTranscoder& task)>;

    TTranscoder();
    ~TTranscoder() override;

    // Frees the files, restores every option default and clears the run flags.
    void ResetTask();

    // ---- per-file records ----

    // The probe attached to opened input FileIndex (null when there is none).
    TMediaProbe* InputProbe(int fileIndex) const;
    // Creates the probe of an opened input on demand and attaches it to the input.
    TMediaProbe& AttachInputProbe(int fileIndex);
    void StoreInputOptions(int fileIndex, const TInputOptions& options);
    const TInputOptions* InputOptions(int fileIndex) const;
    void StoreOutputOptions(int fileIndex, const TOutputOptions& options);
    void ResetOutputOptions(int fileIndex);
    const TOutputOptions* OutputOptions(int fileIndex) const;

    // ---- life cycle ----

    // Called with the task when it has terminated (on the thread that ran it).
    void SetTerminateCallback(TTerminateCallback callback) {
        terminateCallback_ = std::move(callback);
    }

    // Starts a task that was never started. InThread false runs it on the calling thread
    // and returns when it has ended. Without an input or an output the task ends at once
    // with an exception notice. Returns whether a worker thread was created.
    bool Start(bool inThread, TThreadPriority priority);
    // Running: asks the loop to end after its current packet (a paused task is released
    // first); with WaitForEnd, waits until the worker has finished. Never started: with
    // NoticeIfUnstarted the task is marked terminated and sends its terminate notice,
    // otherwise it is left as it is.
    void Stop(bool waitForEnd, bool noticeIfUnstarted);

    // Pausing acts on worker threads only. RequestPause returns whether the task runs on a
    // worker that will now park at its next packet boundary. With PauseUnstarted, a task
    // not yet started parks at its first packet if it is later started on a worker.
    bool RequestPause(bool pauseUnstarted);
    // Waits until the worker is parked (or has ended, or was asked to stop).
    void WaitUntilParked();
    void Resume();
    bool Parked() const;
    // A pause was asked for and the task has not been resumed since.
    bool PauseRequested() const { return pauseRequested_; }

    bool Running() const;
    bool Terminated() const;
    bool ExceptionRaised() const;
    std::string ExceptionMessage() const;

private:
    enum class TState { Created, Running, Terminated };

    void Run();
    // The worker's body: transcode, release graphs, close codecs, free files, notice.
    void RunBody();
    void Guarded(const std::function<void()>& step);
    void RecordException(const std::string& message);
    void SendTerminateNotice();
    void CallTerminateCallback();
    void PassPacketGate();
    bool CannotWaitHere() const;
    void DetachProbes();

    std::array<std::unique_ptr<TMediaProbe>, MaxFiles> probes_;
    std::array<std::unique_ptr<TInputOptions>, MaxFiles> inputOptions_;
    std::array<std::unique_ptr<TOutputOptions>, MaxFiles> outputOptions_;

    TTerminateCallback terminateCallback_;

    mutable std::mutex stateLock_;
    std::condition_variable stateChanged_;
    TState state_ = TState::Created;
    bool threadDone_ = true; // no body is running
    bool inThread_ = false;
    std::thread::id runningThread_;
    bool exceptionRaised_ = false;
    std::string exceptionMessage_;
    std::atomic<bool> pauseRequested_{false};
    bool parked_ = false;
    std::thread worker_;
};

// Marks the calling thread as running an event of a task while it exists. A stop or pause
// asked for inside such an event does not wait: that task's worker is waiting for the
// event to return, and other workers may be waiting for that worker's event lock.
class TTaskEventScope {
public:
    explicit TTaskEventScope(const TTranscoder* task);
    ~TTaskEventScope();
    TTaskEventScope(const TTaskEventScope&) = delete;
    TTaskEventScope& operator=(const TTaskEventScope&) = delete;

private:
    const TTranscoder* previous_;
};

// Owns the tasks of a converter. Structural changes happen while no task runs; lookups
// may come from workers at any time.
class TTranscoderList {
public:
    TTranscoderList() = default;
    ~TTranscoderList() { Clear(); }
    TTranscoderList(const TTranscoderList&) = delete;
    TTranscoderList& operator=(const TTranscoderList&) = delete;

    int Add(std::unique_ptr<TTranscoder> task);
    void Clear();
    void Delete(int index);
    // Null when Index is out of range.
    TTranscoder* Item(int index) const;
    int IndexOf(const TTranscoder* task) const;
    int Count() const;

    // Parks every task running on a worker at its next packet boundary and returns when
    // all of them are parked or have ended.
    void SuspendAll(bool pauseUnstarted);
    void ResumeAll();
    void StopAll(bool waitForEnd, bool noticeIfUnstarted);
    // Sets or clears one task flag bit in every task.
    void SetFlagBit(int bit, bool on);

private:
    std::vector<TTranscoder*> Snapshot() const;

    mutable std::mutex lock_;
    std::vector<std::unique_ptr<TTranscoder>> tasks_;
};

} // namespace tessaro
