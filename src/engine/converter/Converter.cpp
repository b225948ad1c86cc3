#include "converter/Converter.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/MainThread.h"
#include "converter/TranscoderTask.h"
#include "runtime/LibraryLoader.h"

namespace tessaro {

// Delivers terminate notices in the order they were queued. In a threaded run they go to
// one notifier thread, so a handler runs neither on the finishing worker nor under a
// component lock, and the final notice always comes last. In a run on the calling thread
// the thread that queued a notice delivers it after leaving the lock; a notice queued by a
// handler is delivered when that handler returns.
class TConverter::TNoticeQueue {
public:
    explicit TNoticeQueue(TConverter& owner) : owner_(owner) {}

    ~TNoticeQueue() {
        {
            std::lock_guard guard(lock_);
            quit_ = true;
            arrived_.notify_all();
        }
        if (notifier_.joinable()) {
            if (notifier_.get_id() == std::this_thread::get_id()) {
                notifier_.detach();
            } else {
                notifier_.join();
            }
        }
    }

    void Post(const TTerminateInfo& info, bool threaded) {
        std::lock_guard guard(lock_);
        if (!threaded) {
            direct_.push_back(info);
            return;
        }
        threadedQueue_.push_back(info);
        if (!notifier_.joinable()) {
            notifier_ = std::thread([this] { NotifierLoop(); });
        }
        arrived_.notify_all();
    }

    void DeliverDirect() {
        std::unique_lock guard(lock_);
        if (delivering_) {
            return;
        }
        delivering_ = true;
        while (!direct_.empty()) {
            const TTerminateInfo info = std::move(direct_.front());
            direct_.pop_front();
            guard.unlock();
            owner_.CallTerminateHandler(info);
            guard.lock();
        }
        delivering_ = false;
    }

private:
    void NotifierLoop() {
        std::unique_lock guard(lock_);
        for (;;) {
            arrived_.wait(guard, [this] { return quit_ || !threadedQueue_.empty(); });
            if (quit_) {
                return;
            }
            const TTerminateInfo info = std::move(threadedQueue_.front());
            threadedQueue_.pop_front();
            guard.unlock();
            owner_.CallTerminateHandler(info);
            guard.lock();
        }
    }

    TConverter& owner_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<TTerminateInfo> threadedQueue_;
    std::deque<TTerminateInfo> direct_;
    bool delivering_ = false;
    bool quit_ = false;
    std::thread notifier_;
};

TConverter::TConverter()
    : probe_(std::make_unique<TMediaProbe>()), tasks_(std::make_unique<TTranscoderList>()),
      notices_(std::make_unique<TNoticeQueue>(*this)) {}

int TConverter::TaskCount() const {
    return tasks_->Count();
}

TTranscoder* TConverter::Task(int index) const {
    return tasks_->Item(index);
}

TConverter::~TConverter() {
    // No events during destruction: the handlers' owners may already be gone.
    {
        std::lock_guard guard(handlersLock_);
        onCustomHook_ = nullptr;
        onPreviewBitmap_ = nullptr;
        onProgress_ = nullptr;
        onTerminate_ = nullptr;
    }
    {
        std::lock_guard guard(terminateLock_);
        pendingCount_ = 0;
    }
    tasks_->StopAll(true, false);
    // A handler still running finishes before the component goes.
    for (std::mutex* lock : {&hookLock_, &previewLock_, &progressLock_, &terminateLock_}) {
        std::lock_guard guard(*lock);
    }
    tasks_->Clear();
    notices_.reset();
}

// ---- libraries and properties --------------------------------------------------------

bool TConverter::LoadLibraries(const std::string& libraryDir) {
    TLibraryLoader& loader = TLibraryLoader::Instance();
    loader.SetLibraryDir(libraryDir);
    if (loader.LoadLibSet(ConverterLibraries)) {
        return true;
    }
    SetLastError(loader.LastErrorText());
    return false;
}

bool TConverter::LibrariesLoaded() const {
    return TLibraryLoader::Instance().IsLibSetLoaded(ConverterLibraries);
}

std::string TConverter::LastError() const {
    std::lock_guard guard(lastErrorLock_);
    return lastError_;
}

void TConverter::SetLastError(const std::string& text) {
    std::lock_guard guard(lastErrorLock_);
    lastError_ = text;
}

void TConverter::SetProgressInterval(int milliseconds) {
    progressInterval_ = milliseconds > 100 ? milliseconds : 100;
}

void TConverter::SetPreview(bool value) {
    preview_ = value;
    tasks_->SetFlagBit(TaskFlagPreviewWindow, value);
}

void TConverter::SetPreviewBitmap(bool value) {
    previewBitmap_ = value;
    tasks_->SetFlagBit(TaskFlagPreviewBitmap, value);
}

void TConverter::SetOnCustomHook(TCustomHookEvent handler) {
    std::lock_guard guard(handlersLock_);
    onCustomHook_ = std::move(handler);
}

void TConverter::SetOnPreviewBitmap(TPreviewBitmapEvent handler) {
    std::lock_guard guard(handlersLock_);
    onPreviewBitmap_ = std::move(handler);
}

void TConverter::SetOnProgress(TProgressEvent handler) {
    std::lock_guard guard(handlersLock_);
    onProgress_ = std::move(handler);
}

void TConverter::SetOnTerminate(TTerminateEvent handler) {
    std::lock_guard guard(handlersLock_);
    onTerminate_ = std::move(handler);
}

// ---- task list -----------------------------------------------------------------------

void TConverter::CheckNotWorking(const char* operation) const {
    if (working_) {
        throw EngineException(FormatText("Cannot %s while working.", operation));
    }
}

TTranscoder& TConverter::TaskAt(int index) const {
    TTranscoder* task = tasks_->Item(index);
    if (task == nullptr) {
        throw EngineException(FormatText("List index out of bounds (%d)", index));
    }
    return *task;
}

TMediaProbe* TConverter::InputProbe(int taskIndex, int fileIndex) const {
    TTranscoder* task = tasks_->Item(taskIndex);
    return task != nullptr ? task->InputProbe(fileIndex) : nullptr;
}

void TConverter::RemoveTask(int taskIndex) {
    CheckNotWorking("RemoveTask");
    tasks_->Delete(taskIndex);
}

void TConverter::ClearTasks() {
    if (working_ && !allDone_) {
        throw EngineException("Cannot ClearTasks while working.");
    }
    tasks_->Clear();
    std::lock_guard guard(terminateLock_);
    finishedCount_ = 0;
    nextTaskIndex_ = -1;
    pendingCount_ = 0;
    allDone_ = false;
    finalQueued_ = false;
    threaded_ = false;
    working_ = false;
}

// ---- running -------------------------------------------------------------------------

void TConverter::StartTask(int parallelCount) {
    CheckNotWorking("StartTask");
    {
        std::lock_guard guard(terminateLock_);
        finishedCount_ = 0;
        nextTaskIndex_ = 0;
        pendingCount_ = tasks_->Count();
        allDone_ = false;
        finalQueued_ = false;
        threaded_ = parallelCount > 0;
        working_ = true;
    }
    tasks_->ResumeAll(); // no pause left over from before the run
    if (tasks_->Count() == 0) {
        // Nothing to run: the run ends at once, so it cannot stay "working" forever.
        DoTerminate(nullptr);
        return;
    }
    for (;;) {
        TTranscoder* task = nullptr;
        {
            std::lock_guard guard(terminateLock_);
            task = ClaimNextTask();
        }
        if (task == nullptr) {
            break;
        }
        StartClaimedTask(*task);
        if (threaded_ && --parallelCount == 0) {
            break;
        }
    }
}

TTranscoder* TConverter::ClaimNextTask() {
    if (pendingCount_ <= 0) {
        return nullptr;
    }
    --pendingCount_;
    return tasks_->Item(nextTaskIndex_++);
}

void TConverter::StartClaimedTask(TTranscoder& task) {
    task.ProgressIntervalMicroseconds = std::int64_t(progressInterval_) * 1000;
    task.Start(threaded_, threadPriority_);
}

void TConverter::PauseAll() {
    tasks_->SuspendAll(working_ && !allDone_);
}

void TConverter::ResumeAll() {
    tasks_->ResumeAll();
}

void TConverter::StopAll(bool waitForEnd) {
    {
        std::lock_guard guard(terminateLock_);
        pendingCount_ = 0;
    }
    // Tasks that never started get their notice only within a run; outside one they stay
    // ready to run.
    tasks_->StopAll(waitForEnd, working_ && !allDone_);
}

// ---- events --------------------------------------------------------------------------

void TConverter::DoTerminate(TTranscoder* task) {
    TTranscoder* next = nullptr;
    bool threaded = false;
    bool finalQueued = false;
    {
        std::lock_guard guard(terminateLock_);
        threaded = threaded_;
        if (task == nullptr) {
            finalQueued = QueueFinalNotice();
        } else {
            TTerminateInfo info;
            info.TaskIndex = tasks_->IndexOf(task);
            info.Finished = task->Finished();
            info.Exception = task->ExceptionRaised();
            info.ExceptionMsg = task->ExceptionMessage();
            if (Handler(onTerminate_)) {
                notices_->Post(info, threaded);
            }
            ++finishedCount_;
            if (pendingCount_ < 1) {
                if (finishedCount_ >= tasks_->Count()) {
                    finalQueued = QueueFinalNotice();
                }
            } else if (threaded) {
                next = ClaimNextTask();
            }
        }
    }
    if (!threaded) {
        notices_->DeliverDirect();
        // Only now: a handler of the final notice runs inside the last task's body, which
        // must not be freed under it.
        if (finalQueued) {
            allDone_ = true;
        }
    }
    if (next != nullptr) {
        StartClaimedTask(*next);
    }
}

bool TConverter::QueueFinalNotice() {
    if (finalQueued_) {
        return false;
    }
    finalQueued_ = true;
    // In a threaded run the final handler may clear the list and start another run, on
    // another thread as soon as the notice is posted.
    if (threaded_) {
        allDone_ = true;
    }
    if (Handler(onTerminate_)) {
        TTerminateInfo info;
        info.TaskIndex = -1;
        info.Finished = true;
        notices_->Post(info, threaded_);
    }
    return true;
}

void TConverter::CallTerminateHandler(const TTerminateInfo& info) {
    const TTerminateEvent handler = Handler(onTerminate_);
    if (!handler) {
        return;
    }
    try {
        handler(*this, info);
    } catch (const std::exception& e) {
        TEngineLogger::GetLogger().Log(this, llError,
                                       std::string("Error occurs OnTerminate: ") + e.what());
    } catch (...) {
        TEngineLogger::GetLogger().Log(this, llError, "Error occurs OnTerminate");
    }
}

void TConverter::DoProgress(TTranscoder& task, int fileIndex, int frameNumber, int fps,
                            float quality, float bitRate, std::int64_t currentSize,
                            std::int64_t currentDuration, std::int64_t totalDuration) {
    std::lock_guard guard(progressLock_);
    const TProgressEvent handler = Handler(onProgress_);
    if (!handler) {
        return;
    }
    progressInfo_ = TProgressInfo{
        tasks_->IndexOf(&task), fileIndex,    frameNumber, fps, quality, bitRate, currentSize,
        currentDuration,        totalDuration};
    if (triggerEventInMainThread_) {
        CallInMainThread([&] {
            TTaskEventScope scope(&task);
            handler(*this, &progressInfo_);
        });
    } else {
        handler(*this, &progressInfo_);
    }
}

void TConverter::DoPreviewBitmap(TTranscoder& task, TBitmap& bitmap, int frameNumber,
                                 std::int64_t pts) {
    std::lock_guard guard(previewLock_);
    const TPreviewBitmapEvent handler = Handler(onPreviewBitmap_);
    if (!handler) {
        return;
    }
    previewInfo_ = TPreviewInfo{tasks_->IndexOf(&task), &bitmap, frameNumber, pts};
    if (triggerEventInMainThread_) {
        CallInMainThread([&] {
            TTaskEventScope scope(&task);
            handler(*this, previewInfo_);
        });
    } else {
        handler(*this, previewInfo_);
    }
}

void TConverter::DoCustomHook(TTranscoder& task, TBitmap& bitmap, int frameNumber, std::int64_t pts,
                              bool& update, bool& stopHook) {
    std::lock_guard guard(hookLock_);
    const TCustomHookEvent handler = Handler(onCustomHook_);
    if (!handler) {
        return;
    }
    hookInfo_ = THookInfo{tasks_->IndexOf(&task), &bitmap, frameNumber, pts, update, stopHook};
    {
        // Always on the worker: the hook holds the task while it paints.
        std::lock_guard canvas(bitmap);
        handler(*this, &hookInfo_);
    }
    update = hookInfo_.Update;
    stopHook = hookInfo_.StopHook;
}

} // namespace tessaro
