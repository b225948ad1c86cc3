#include "run/ConversionRun.h"

#include "DVDPlugIn.h"
#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/MainThread.h"
#include "converter/Converter.h"
#include "core/DialogService.h"
#include "core/IniFile.h"

#include <chrono>

namespace tessaro {

namespace {

constexpr const char* FailedText = "Failed";

std::int64_t MonotonicNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One line of the log: the engine's text without its line break.
std::string LogLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

} // namespace

namespace {

// Rebuilds with the answer when the user takes the default size; otherwise the build stands
// (at the source's size).
bool UserTakesDefaultFrameSize() {
    const TMessageRequest question{"Warning", FrameSizeQuestion, TMessageIcon::Question,
                                   TMessageButtons::YesNo};
    return Dialogs().ShowMessage(nullptr, question) == TMessageResult::Yes;
}

TBuiltJob BuildJobOfKind(const TJobContext& context, const TSourceRow& row,
                         const std::string& dvdFolder, TMediaProbe& probe,
                         const TJobAnswers& answers) {
    if (row.Kind == TRowKind::File) {
        return BuildFileJob(context, row.Caption(), row.Record, probe, answers);
    }
    return BuildDvdTitleJob(context, dvdFolder, row.Record, answers);
}

} // namespace

TBuiltJob BuildRowJob(const TJobContext& context, const TSourceRow& row,
                      const std::string& dvdFolder, TMediaProbe& probe) {
    TBuiltJob built = BuildJobOfKind(context, row, dvdFolder, probe, {});
    if (!built.Ok()) {
        return built;
    }
    if (const TJobProblem* outside = built.Problem(TJobProblemKind::WindowOutsideChapters)) {
        built.Error = outside->Message;
        return built;
    }
    if (built.Problem(TJobProblemKind::UnreadableFrameSize) && UserTakesDefaultFrameSize()) {
        TJobAnswers answers;
        answers.FrameSize = FrameSizeQuestionDefault;
        built = BuildJobOfKind(context, row, dvdFolder, probe, answers);
    }
    return built;
}

TConversionRun::TConversionRun(TConverter& converter, TSourceListModel& list, TBitmap& previewFrame,
                               TPost post)
    : converter_(converter), list_(list), previewFrame_(previewFrame), post_(std::move(post)) {
    converter_.SetPreviewBitmap(true);
    converter_.SetTriggerEventInMainThread(true);
    // On the worker, with the frame's canvas locked by the converter.
    converter_.SetOnCustomHook([this](TConverter&, PHookInfo info) { effects_.Hook(*info); });
    converter_.SetOnProgress([this](TConverter&, PProgressInfo info) { OnProgress(*info); });
    converter_.SetOnPreviewBitmap(
        [this](TConverter&, const TPreviewInfo& info) { OnPreview(info); });
    // The notice comes on a thread of the converter's own; its work is done on the main
    // thread, in the order the notices come.
    converter_.SetOnTerminate([post = post_, alive = std::weak_ptr<char>(alive_),
                               this](TConverter&, const TTerminateInfo& info) {
        post([alive, this, info] {
            if (alive.lock()) {
                OnTerminate(info);
            }
        });
    });
}

TConversionRun::~TConversionRun() {
    EndMediaWork();
    converter_.SetOnPreviewBitmap(nullptr);
    DetachLog();
}

void TConversionRun::EndMediaWork() {
    converter_.SetOnCustomHook(nullptr);
    converter_.SetOnProgress(nullptr);
    converter_.SetOnTerminate(nullptr);
    converter_.StopAll(true);
}

// ---- preparing -------------------------------------------------------------------------

int TConversionRun::Prepare(const TRunSetup& setup) {
    TIniFile settings(setup.SettingsPath);
    const TIniFile formats(setup.FormatPath);
    ApplyRunPriority(converter_, settings);
    const std::vector<int> checked = list_.CheckedRows();
    if (checked.empty()) {
        return 0;
    }
    if (!converter_.LibrariesLoaded() && !converter_.LoadLibraries(setup.LibraryFolder)) {
        throw EngineException(converter_.LastError());
    }
    converter_.ClearTasks();
    effects_.Clear();
    taskRows_.clear();
    planned_.clear();
    log_.clear();
    outcome_ = TRunOutcome{};

    const TJobContext context{settings, formats, StoredFormatCode(settings)};
    const std::string zoomMode = ReadRunFormat(settings, formats, context.FormatCode).ZoomMode;
    for (const int index : checked) {
        list_.EditRecord(index, [&](TlvFilesRecord& record) { record.ZoomMode = zoomMode; });
        const TSourceRow& row = list_.Row(index);
        std::string error;
        const int taskIndex = PrepareRow(context, setup, row, error);
        if (taskIndex < 0) {
            MarkFailed(index, error);
            ++outcome_.Skipped;
            continue;
        }
        if (HasFrameEffects(row.Record)) {
            effects_.SetTask(taskIndex, EffectSettingsOf(row.Record));
        }
        taskRows_.push_back(row.Id);
        planned_.push_back(PlannedLength(row));
        list_.SetProgressText(index, std::string());
    }
    return int(taskRows_.size());
}

int TConversionRun::PrepareRow(const TJobContext& context, const TRunSetup& setup,
                               const TSourceRow& row, std::string& error) {
    if (row.Kind == TRowKind::DvdTitle && !LoadDVDPlugIn(setup.LibraryFolder)) {
        error = "DVD plug-in library is not loaded.";
        return -1;
    }
    const TBuiltJob built = BuildRowJob(context, row, setup.DvdFolder, converter_.Probe());
    if (!built.Ok()) {
        error = built.Error;
        return -1;
    }
    const int taskIndex = converter_.AddJob(built.Job);
    if (taskIndex < 0) {
        error = converter_.LastError();
    }
    return taskIndex;
}

std::int64_t TConversionRun::PlannedLength(const TSourceRow& row) const {
    const TlvFilesRecord& record = row.Record;
    if (record.TrimLength > 0) {
        return record.TrimLength;
    }
    const std::int64_t start = record.TrimStart > 0 ? record.TrimStart : 0;
    return std::int64_t(record.DurationSeconds) * 1'000'000 - start;
}

// ---- running ---------------------------------------------------------------------------

void TConversionRun::Start(TRunView& view) {
    view_ = &view;
    running_ = true;
    paused_ = false;
    stopRequested_ = false;
    outcome_.Tasks = int(taskRows_.size());
    eta_.emplace(planned_, MonotonicNow());
    for (const std::string& line : log_) {
        view_->AppendLog(line);
    }
    AttachLog();
    converter_.StartTask(1);
}

void TConversionRun::Pause() {
    if (!running_ || paused_) {
        return;
    }
    converter_.PauseAll();
    paused_ = true;
    eta_->Pause(MonotonicNow());
}

void TConversionRun::Resume() {
    if (!paused_) {
        return;
    }
    paused_ = false;
    eta_->Resume(MonotonicNow());
    converter_.ResumeAll();
}

void TConversionRun::Stop() {
    if (!running_ || stopRequested_) {
        return;
    }
    stopRequested_ = true;
    if (paused_) {
        paused_ = false;
        eta_->Resume(MonotonicNow());
    }
    converter_.StopAll(true);
}

int TConversionRun::RowOfTask(int taskIndex) const {
    if (taskIndex < 0 || taskIndex >= int(taskRows_.size())) {
        return -1;
    }
    return list_.IndexOf(taskRows_[std::size_t(taskIndex)]);
}

void TConversionRun::OnProgress(const TProgressInfo& info) {
    const int row = RowOfTask(info.TaskIndex);
    if (row < 0 || view_ == nullptr) {
        return;
    }
    const TProgressFigures figures =
        FiguresOf(info, converter_.TaskCount(), list_.Row(row).Caption());
    if (figures.Percent) {
        list_.SetProgressText(row, PercentText(*figures.Percent));
    }
    const std::int64_t now = MonotonicNow();
    eta_->Report(info.TaskIndex, info.CurrentDuration, info.TotalDuration, now);
    view_->ShowProgress(
        figures, RunTimesOf(eta_->Elapsed(now), eta_->TaskRemaining(), eta_->BatchRemaining()));
}

void TConversionRun::OnPreview(const TPreviewInfo& info) {
    if (info.Bitmap == nullptr || info.Bitmap->Width() < 1 || info.Bitmap->Height() < 1) {
        return;
    }
    std::lock_guard source(*info.Bitmap);
    std::lock_guard target(previewFrame_);
    previewFrame_.Assign(*info.Bitmap);
}

void TConversionRun::OnTerminate(const TTerminateInfo& info) {
    if (!running_) {
        return;
    }
    if (info.TaskIndex < 0) {
        RunEnded();
    } else {
        TaskEnded(info);
    }
}

void TConversionRun::TaskEnded(const TTerminateInfo& info) {
    eta_->TaskEnded(info.TaskIndex, MonotonicNow());
    const int row = RowOfTask(info.TaskIndex);
    if (info.Exception || (!info.Finished && !stopRequested_)) {
        ++outcome_.Failed;
        const std::string reason =
            info.Exception ? info.ExceptionMsg : "The conversion did not finish.";
        if (row >= 0) {
            MarkFailed(row, reason);
        }
    } else if (info.Finished) {
        ++outcome_.Written;
        if (row >= 0) {
            list_.SetProgressText(row, PercentText(100));
        }
        view_->ShowBar(100);
    }
}

void TConversionRun::RunEnded() {
    running_ = false;
    paused_ = false;
    outcome_.Stopped = stopRequested_;
    DetachLog();
    converter_.ClearTasks();
    // The outputs now exist: the next run's names pass over them.
    list_.RefreshDestinations();
    TRunView* view = view_;
    view_ = nullptr;
    view->RunEnded();
}

void TConversionRun::MarkFailed(int row, const std::string& reason) {
    list_.SetProgressText(row, FailedText, reason);
    AddLog(list_.Row(row).Caption() + ": " + reason);
}

// ---- the log ---------------------------------------------------------------------------

void TConversionRun::AddLog(std::string line) {
    log_.push_back(std::move(line));
    if (view_ != nullptr) {
        view_->AppendLog(log_.back());
    }
}

void TConversionRun::OnLog(const std::string& message) {
    AddLog(LogLine(message));
}

void TConversionRun::AttachLog() {
    TEngineLogger::GetLogger().SetOnLog(
        [post = post_, alive = std::weak_ptr<char>(alive_),
         this](const void*, std::uint32_t, TLogLevel, const std::string& message) {
            if (IsMainThread()) {
                OnLog(message);
                return;
            }
            post([alive, this, message] {
                if (alive.lock()) {
                    OnLog(message);
                }
            });
        });
}

void TConversionRun::DetachLog() {
    TEngineLogger::GetLogger().SetOnLog(nullptr);
}

} // namespace tessaro
