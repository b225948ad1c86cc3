#include "converter/TranscoderTask.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/MainThread.h"
#include "runtime/LibraryLoader.h"

#include <cerrno>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tessaro {

void ApplyThreadPriority(TThreadPriority priority) {
    // Set in full each time: a worker started by a finishing worker inherits its settings.
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), priority == tpIdle ? SCHED_IDLE : SCHED_OTHER, &param);
    int offset = 0;
    if (priority == tpLowest) {
        offset = 10;
    } else if (priority == tpLower) {
        offset = 5;
    }
    // Relative to the main thread (whose thread id is the process id). On Linux the nice
    // value of a thread id applies to that thread alone.
    errno = 0;
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (errno == 0) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), base + offset);
    }
}

void WaitServingMainThread(std::mutex& lock, std::condition_variable& changed,
                           const std::function<bool()>& ready) {
    if (IsMainThread()) {
        for (;;) {
            {
                std::lock_guard guard(lock);
                if (ready()) {
                    return;
                }
            }
            WaitAndProcessPendingMessages(std::chrono::milliseconds(10));
        }
    }
    std::unique_lock guard(lock);
    changed.wait(guard, ready);
}

namespace {
thread_local const TTranscoder* eventTask = nullptr;
} // namespace

TTaskEventScope::TTaskEventScope(const TTranscoder* task) : previous_(eventTask) {
    eventTask = task;
}

TTaskEventScope::~TTaskEventScope() {
    eventTask = previous_;
}

// ---- TTranscoder ---------------------------------------------------------------------

TTranscoder::TTranscoder() {
    Callbacks().packetGate = [this] { PassPacketGate(); };
}

TTranscoder::~TTranscoder() {
    Stop(true, false);
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id()) {
            worker_.detach();
        } else {
            worker_.join();
        }
    }
    DetachProbes();
    FreeFiles();
}

void TTranscoder::ResetTask() {
    if (TLibraryLoader::Instance().IsLibSetLoaded(ConverterLibraries)) {
        DetachProbes();
        FreeFiles();
        ResetOptions();
    }
    ClearStopRequest();
    std::lock_guard guard(stateLock_);
    exceptionRaised_ = false;
    exceptionMessage_.clear();
}

// ---- per-file records ----------------------------------------------------------------

TMediaProbe* TTranscoder::InputProbe(int fileIndex) const {
    if (fileIndex < 0 || fileIndex >= MaxFiles) {
        return nullptr;
    }
    return probes_[std::size_t(fileIndex)].get();
}

TMediaProbe& TTranscoder::AttachInputProbe(int fileIndex) {
    std::unique_ptr<TMediaProbe>& probe = probes_.at(std::size_t(fileIndex));
    if (!probe) {
        probe = std::make_unique<TMediaProbe>();
    }
    probe->AttachContext(InputContext(fileIndex));
    return *probe;
}

void TTranscoder::DetachProbes() {
    for (auto& probe : probes_) {
        if (probe && probe->FormatContext() != nullptr) {
            probe->AttachContext(nullptr);
        }
    }
}

void TTranscoder::StoreInputOptions(int fileIndex, const TInputOptions& options) {
    inputOptions_.at(std::size_t(fileIndex)) = std::make_unique<TInputOptions>(options);
}

const TInputOptions* TTranscoder::InputOptions(int fileIndex) const {
    return fileIndex >= 0 && fileIndex < MaxFiles ? inputOptions_[std::size_t(fileIndex)].get()
                                                  : nullptr;
}

void TTranscoder::StoreOutputOptions(int fileIndex, const TOutputOptions& options) {
    outputOptions_.at(std::size_t(fileIndex)) = std::make_unique<TOutputOptions>(options);
}

void TTranscoder::ResetOutputOptions(int fileIndex) {
    std::unique_ptr<TOutputOptions>& slot = outputOptions_.at(std::size_t(fileIndex));
    if (slot) {
        InitOutputOptions(*slot);
    }
}

const TOutputOptions* TTranscoder::OutputOptions(int fileIndex) const {
    return fileIndex >= 0 && fileIndex < MaxFiles ? outputOptions_[std::size_t(fileIndex)].get()
                                                  : nullptr;
}

// ---- life cycle ----------------------------------------------------------------------

bool TTranscoder::Start(bool inThread, TThreadPriority priority) {
    {
        std::lock_guard guard(stateLock_);
        if (state_ != TState::Created) {
            return false;
        }
        // Claimed under the lock: a concurrent Stop now asks this run to end instead of
        // sending a second notice for a task that never started.
        state_ = TState::Running;
        threadDone_ = false;
        inThread_ = inThread;
        // A task on the calling thread cannot wait for itself at the gate.
        if (!inThread) {
            pauseRequested_ = false;
        }
        runningThread_ = inThread ? std::thread::id() : std::this_thread::get_id();
        ClearStopRequest();
    }
    if (OutputFileCount() == 0 || InputFileCount() == 0) {
        RecordException(OutputFileCount() == 0 ? "At least one output file must be specified"
                                               : "At least one input file must be specified");
        DetachProbes();
        FreeFiles();
        SendTerminateNotice();
        std::lock_guard guard(stateLock_);
        threadDone_ = true;
        stateChanged_.notify_all();
        return false;
    }
    if (!inThread) {
        Run();
        return false;
    }
    std::lock_guard guard(stateLock_);
    worker_ = std::thread([this, priority] {
        ApplyThreadPriority(priority);
        Run();
    });
    runningThread_ = worker_.get_id();
    return true;
}

void TTranscoder::Run() {
    RunBody();
    std::lock_guard guard(stateLock_);
    threadDone_ = true;
    parked_ = false;
    // Notified under the lock: a waiter may free the task as soon as it sees the flag.
    stateChanged_.notify_all();
}

void TTranscoder::RunBody() {
    Guarded([this] { Transcode(); });
    Guarded([this] { ReleaseFilterGraphs(); });
    Guarded([this] { CloseOutputCodecs(); });
    Guarded([this] {
        DetachProbes();
        FreeFiles();
    });
    Guarded([this] { SendTerminateNotice(); });
}

void TTranscoder::Guarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& e) {
        RecordException(e.what());
    } catch (...) {
        RecordException("Unknown exception");
    }
}

void TTranscoder::RecordException(const std::string& message) {
    TEngineLogger::GetLogger().Log(LogSender(), llQuiet, message);
    std::lock_guard guard(stateLock_);
    exceptionRaised_ = true;
    exceptionMessage_ = message;
}

void TTranscoder::SendTerminateNotice() {
    {
        std::lock_guard guard(stateLock_);
        state_ = TState::Terminated;
    }
    CallTerminateCallback();
}

void TTranscoder::CallTerminateCallback() {
    if (terminateCallback_) {
        terminateCallback_(*this);
    }
}

void TTranscoder::Stop(bool waitForEnd, bool noticeIfUnstarted) {
    std::unique_lock guard(stateLock_);
    if (state_ == TState::Created) {
        if (noticeIfUnstarted) {
            // Marked under the lock, so a racing Start or Stop leaves it alone.
            state_ = TState::Terminated;
            guard.unlock();
            CallTerminateCallback();
        }
        return;
    }
    if (state_ != TState::Running && threadDone_) {
        return;
    }
    RequestStop();
    pauseRequested_ = false;
    stateChanged_.notify_all();
    guard.unlock();
    if (waitForEnd && !CannotWaitHere()) {
        WaitServingMainThread(stateLock_, stateChanged_, [this] { return threadDone_; });
    }
}

bool TTranscoder::CannotWaitHere() const {
    // Inside an event marshalled from any task: that task's worker holds the event lock
    // the other workers may be queued on, so waiting for any of them could block for good.
    if (eventTask != nullptr) {
        return true;
    }
    std::lock_guard guard(stateLock_);
    return runningThread_ == std::this_thread::get_id();
}

bool TTranscoder::RequestPause(bool pauseUnstarted) {
    std::lock_guard guard(stateLock_);
    if (state_ == TState::Created && pauseUnstarted) {
        pauseRequested_ = true;
        return false;
    }
    if (!inThread_ || threadDone_ || state_ != TState::Running) {
        return false;
    }
    pauseRequested_ = true;
    return true;
}

void TTranscoder::WaitUntilParked() {
    if (CannotWaitHere()) {
        return;
    }
    WaitServingMainThread(stateLock_, stateChanged_, [this] {
        return parked_ || threadDone_ || !pauseRequested_ || StopRequested();
    });
}

void TTranscoder::Resume() {
    std::lock_guard guard(stateLock_);
    pauseRequested_ = false;
    stateChanged_.notify_all();
}

bool TTranscoder::Parked() const {
    std::lock_guard guard(stateLock_);
    return parked_;
}

void TTranscoder::PassPacketGate() {
    if (!pauseRequested_) {
        return;
    }
    // A paused task does no work: what was read before the pause is written first.
    WaitUntilEncoded();
    std::unique_lock guard(stateLock_);
    while (pauseRequested_ && !StopRequested()) {
        parked_ = true;
        stateChanged_.notify_all();
        stateChanged_.wait(guard);
    }
    parked_ = false;
}

bool TTranscoder::Running() const {
    std::lock_guard guard(stateLock_);
    return state_ == TState::Running;
}

bool TTranscoder::Terminated() const {
    std::lock_guard guard(stateLock_);
    return state_ == TState::Terminated;
}

bool TTranscoder::ExceptionRaised() const {
    std::lock_guard guard(stateLock_);
    return exceptionRaised_;
}

std::string TTranscoder::ExceptionMessage() const {
    std::lock_guard guard(stateLock_);
    return exceptionMessage_;
}

// ---- TTranscoderList -----------------------------------------------------------------

int TTranscoderList::Add(std::unique_ptr<TTranscoder> task) {
    std::lock_guard guard(lock_);
    tasks_.push_back(std::move(task));
    return int(tasks_.size()) - 1;
}

void TTranscoderList::Clear() {
    std::vector<std::unique_ptr<TTranscoder>> removed;
    {
        std::lock_guard guard(lock_);
        removed.swap(tasks_);
    }
    // Freed outside the lock: freeing waits for a worker, which may look the list up.
    removed.clear();
}

void TTranscoderList::Delete(int index) {
    std::unique_ptr<TTranscoder> removed;
    {
        std::lock_guard guard(lock_);
        if (index < 0 || index >= int(tasks_.size())) {
            throw EngineException(FormatText("List index out of bounds (%d)", index));
        }
        removed = std::move(tasks_[std::size_t(index)]);
        tasks_.erase(tasks_.begin() + index);
    }
}

TTranscoder* TTranscoderList::Item(int index) const {
    std::lock_guard guard(lock_);
    return index >= 0 && index < int(tasks_.size()) ? tasks_[std::size_t(index)].get() : nullptr;
}

int TTranscoderList::IndexOf(const TTranscoder* task) const {
    std::lock_guard guard(lock_);
    for (std::size_t i = 0; i < tasks_.size(); ++i) {
        if (tasks_[i].get() == task) {
            return int(i);
        }
    }
    return -1;
}

int TTranscoderList::Count() const {
    std::lock_guard guard(lock_);
    return int(tasks_.size());
}

std::vector<TTranscoder*> TTranscoderList::Snapshot() const {
    std::lock_guard guard(lock_);
    std::vector<TTranscoder*> tasks;
    tasks.reserve(tasks_.size());
    for (const auto& task : tasks_) {
        tasks.push_back(task.get());
    }
    return tasks;
}

void TTranscoderList::SuspendAll(bool pauseUnstarted) {
    std::vector<TTranscoder*> paused;
    for (TTranscoder* task : Snapshot()) {
        if (task->RequestPause(pauseUnstarted)) {
            paused.push_back(task);
        }
    }
    for (TTranscoder* task : paused) {
        task->WaitUntilParked();
    }
}

void TTranscoderList::ResumeAll() {
    for (TTranscoder* task : Snapshot()) {
        task->Resume();
    }
}

void TTranscoderList::StopAll(bool waitForEnd, bool noticeIfUnstarted) {
    for (TTranscoder* task : Snapshot()) {
        task->Stop(waitForEnd, noticeIfUnstarted);
    }
}

void TTranscoderList::SetFlagBit(int bit, bool on) {
    std::lock_guard flags(PreviewLock());
    for (TTranscoder* task : Snapshot()) {
        task->SetFlags(on ? task->Flags() | bit : task->Flags() & ~bit);
    }
}

} // namespace tessaro
