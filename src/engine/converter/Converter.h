// The converter component: a list of conversion tasks built from the two option records
// and free option text, run one after another or several at once on worker threads, with
// progress, preview, per-frame hook and termination events.
#pragma once

#include "base/Bitmap.h"
#include "base/EngineComponent.h"
#include "converter/ConversionJob.h"
#include "converter/ConverterOptions.h"
#include "probe/MediaProbe.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tessaro {

struct TProgressInfo {
    std::int32_t TaskIndex = -1;
    std::int32_t FileIndex = -1;   // input whose packet was read last; -1 in the final report
    std::int32_t FrameNumber = -1; // frames written to the first video stream; -1 without video
    std::int32_t FPS = -1;
    float Quality = -1.0f;
    float BitRate = 0.0f; // kbit/s
    std::int64_t CurrentSize = 0;
    std::int64_t CurrentDuration = 0; // µs
    std::int64_t TotalDuration = -1;  // µs; -1 while unknown
};
using PProgressInfo = TProgressInfo*;

struct TTerminateInfo {
    std::int32_t TaskIndex = -1; // -1 in the final notice after every task
    bool Finished = false;       // the loop ran to its end without a stop request
    bool Exception = false;      // the task ended by an error
    std::string ExceptionMsg;
};

struct THookInfo {
    std::int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr; // the decoded picture, 24-bit, rows top-down
    std::int32_t FrameNumber = 0;
    std::int64_t PTS = 0;  // µs
    bool Update = true;    // write the bitmap back into the frame
    bool StopHook = false; // stop hooking for the rest of the task
};
using PHookInfo = THookInfo*;

struct TPreviewInfo {
    std::int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr;
    std::int32_t FrameNumber = 0;
    std::int64_t PTS = 0; // µs
};

class TConverter;
class TTranscoder;
class TTranscoderList;

using TCustomHookEvent = std::function<void(TConverter& sender, PHookInfo info)>;
using TPreviewBitmapEvent = std::function<void(TConverter& sender, const TPreviewInfo& info)>;
using TProgressEvent = std::function<void(TConverter& sender, PProgressInfo info)>;
using TTerminateEvent = std::function<void(TConverter& sender, const TTerminateInfo& info)>;

class TConverter : public TEngineComponent {
public:
    TConverter();
    ~TConverter() override;
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    // Loads the converter's libraries, looking in LibraryDir first.
    bool LoadLibraries(const std::string& libraryDir);
    bool LibrariesLoaded() const;

    // A new task reading FileName; its index, or -1 with LastError.
    int AddTask(const std::string& fileName, const TInputOptions* inputOptions = nullptr);
    // A new task that converts what job describes, with its one output; its index, or -1 with
    // LastError (nothing is left behind then).
    int AddJob(const TConversionJob& job);
    // One more output of a task; false with LastError.
    bool SetOutputFile(int taskIndex, const std::string& fileName,
                       const TOutputOptions* outputOptions = nullptr);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    // ParallelCount > 0 runs up to that many tasks at once on worker threads and returns at
    // once; otherwise every task runs inside the call on the calling thread.
    void StartTask(int parallelCount);
    // Parks every task running on a worker at its next packet boundary; returns when all
    // are parked. Tasks the run starts while it is paused wait at their first packet.
    void PauseAll();
    void ResumeAll();
    // Starts no more tasks and stops every one; never-started tasks of the run get their
    // terminate notice. With WaitForEnd, returns when every worker has finished.
    void StopAll(bool waitForEnd);
    int TaskCount() const;
    // The probe bound to an opened input of a task (null when there is none).
    TMediaProbe* InputProbe(int taskIndex, int fileIndex) const;
    // The task at Index (for inspection; null when out of range).
    TTranscoder* Task(int index) const;

    std::string LastError() const;
    TMediaProbe& Probe() { return *probe_; }

    int ProgressInterval() const { return progressInterval_; }
    // Milliseconds; values up to 100 become 100.
    void SetProgressInterval(int milliseconds);
    // Codec threads of every task added from now on (a job's or option text's own count wins):
    // 0 (the default) lets each decoder, encoder and filter graph choose for the machine; n
    // gives each that many. Negative values become 0.
    int CodecThreads() const { return codecThreads_; }
    void SetCodecThreads(int count) { codecThreads_ = ClampCodecThreads(count); }
    TThreadPriority ThreadPriority() const { return threadPriority_; }
    void SetThreadPriority(TThreadPriority priority) { threadPriority_ = priority; }
    bool TriggerEventInMainThread() const { return triggerEventInMainThread_; }
    void SetTriggerEventInMainThread(bool value) { triggerEventInMainThread_ = value; }
    bool Preview() const { return preview_; }
    void SetPreview(bool value);
    bool PreviewBitmap() const { return previewBitmap_; }
    void SetPreviewBitmap(bool value);
    int Verbose() const { return verbose_; }
    void SetVerbose(int value) { verbose_ = value; }

    void SetOnCustomHook(TCustomHookEvent handler);
    void SetOnPreviewBitmap(TPreviewBitmapEvent handler);
    void SetOnProgress(TProgressEvent handler);
    void SetOnTerminate(TTerminateEvent handler);

protected:
    // The event dispatchers the tasks call.
    virtual void DoCustomHook(TTranscoder& task, TBitmap& bitmap, int frameNumber, std::int64_t pts,
                              bool& update, bool& stopHook);
    virtual void DoPreviewBitmap(TTranscoder& task, TBitmap& bitmap, int frameNumber,
                                 std::int64_t pts);
    virtual void DoProgress(TTranscoder& task, int fileIndex, int frameNumber, int fps,
                            float quality, float bitRate, std::int64_t currentSize,
                            std::int64_t currentDuration, std::int64_t totalDuration);
    // Null task: the final notice.
    virtual void DoTerminate(TTranscoder* task);

private:
    class TNoticeQueue;

    void CheckNotWorking(const char* operation) const;
    TTranscoder& TaskAt(int index) const;
    void SetLastError(const std::string& text);
    // A fresh task with the converter's verbosity, codec threads and preview flags.
    std::unique_ptr<TTranscoder> NewTask();
    // Opens the task's input with the option state as it is; false with LastError.
    bool OpenTaskInput(TTranscoder& task, const std::string& fileName);
    void RouteFramesThroughHook(TTranscoder& task);
    // Reads the output side of a job into the task and adds the output; false with LastError.
    bool ApplyJobOutput(TTranscoder& task, const TConversionJob& job);
    // Applies the output record and option text, adds the output and its extra streams.
    bool ApplyOutput(TTranscoder& task, const std::string& fileName,
                     const TOutputOptions* outputOptions);
    // Under terminateLock_: the next task of the run, or null when none is pending.
    TTranscoder* ClaimNextTask();
    void StartClaimedTask(TTranscoder& task);
    // Under terminateLock_: queues the final notice once per run; true when it did.
    bool QueueFinalNotice();
    void CallTerminateHandler(const TTerminateInfo& info);

    template <class T> T Handler(const T& handler) const {
        std::lock_guard guard(handlersLock_);
        return handler;
    }

    mutable std::mutex lastErrorLock_;
    std::string lastError_;
    std::atomic<int> progressInterval_{500};
    std::atomic<int> codecThreads_{AutomaticCodecThreads};
    std::atomic<TThreadPriority> threadPriority_{tpNormal};
    std::atomic<bool> triggerEventInMainThread_{true};
    std::atomic<bool> preview_{false};
    std::atomic<bool> previewBitmap_{false};
    std::atomic<int> verbose_{1};

    THookInfo hookInfo_;
    TProgressInfo progressInfo_;
    TPreviewInfo previewInfo_;

    mutable std::mutex handlersLock_; // guards the handler slots only, never held in a call
    TCustomHookEvent onCustomHook_;
    TPreviewBitmapEvent onPreviewBitmap_;
    TProgressEvent onProgress_;
    TTerminateEvent onTerminate_;

    std::mutex hookLock_;
    std::mutex previewLock_;
    std::mutex progressLock_;
    std::mutex terminateLock_;

    std::unique_ptr<TMediaProbe> probe_;
    std::unique_ptr<TTranscoderList> tasks_;
    std::unique_ptr<TNoticeQueue> notices_;

    // Run state; the counters change under terminateLock_ only.
    int finishedCount_ = 0;
    int nextTaskIndex_ = -1;
    int pendingCount_ = 0;
    std::atomic<bool> allDone_{false};
    std::atomic<bool> threaded_{false};
    std::atomic<bool> working_{false};
    bool finalQueued_ = false;
};

} // namespace tessaro
