// One conversion run of the source list: a converter task for each checked row, made by the
// row's own kind, and the converter's events turned into what the user sees: each row's
// progress text, the progress window's figures and times, the live picture, the log of the
// run's engine messages, and at the end the outcome that decides the end-of-batch actions.
#pragma once

#include "EffectHooks.h"
#include "job/RowJobBuilders.h"
#include "run/RunEta.h"
#include "run/RunFigures.h"
#include "run/RunOutcome.h"
#include "sources/SourceListModel.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

class TBitmap;
class TConverter;
struct TPreviewInfo;
struct TTerminateInfo;

// What a run shows while it works; the progress window implements it. Called on the main
// thread.
class TRunView {
public:
    virtual ~TRunView() = default;
    // A progress report of the running task, with the run's times.
    virtual void ShowProgress(const TProgressFigures& figures, const TRunTimes& times) = 0;
    virtual void ShowBar(int percent) = 0;
    virtual void AppendLog(const std::string& line) = 0;
    // Every task has ended: the run is over.
    virtual void RunEnded() = 0;
};

// Where a run reads its settings and formats, and finds its libraries and DVD.
struct TRunSetup {
    std::string SettingsPath;
    std::string FormatPath;
    std::string LibraryFolder; // the media libraries and the DVD plug-in
    std::string DvdFolder;     // the DVD that DVD title rows are read from
};

// The job of a checked row: its kind's builder, with the questions the build raises asked
// through the dialog service (an unreadable stored frame size). Error is set when the row
// cannot be converted.
TBuiltJob BuildRowJob(const TJobContext& context, const TSourceRow& row,
                      const std::string& dvdFolder, TMediaProbe& probe);

class TConversionRun {
public:
    // Hands work to the main thread, to run later in the order posted.
    using TPost = std::function<void(std::function<void()>)>;

    // Attaches its handlers to the converter's hook, progress, preview and terminate events; the
    // converter, list and frame must outlive the run. Preview frames are copied into
    // previewFrame.
    TConversionRun(TConverter& converter, TSourceListModel& list, TBitmap& previewFrame,
                   TPost post);
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // Empties the converter's task list and adds a task for each checked row, in list order.
    // A row that cannot be prepared (a source that no longer opens, a DVD title without the
    // plug-in) shows "Failed" with the reason and gets no task. Returns the number of tasks;
    // with none there is nothing to start. Throws what the option builder throws (a format
    // setting that is no number) and when the media libraries cannot be loaded.
    int Prepare(const TRunSetup& setup);

    // Runs the prepared tasks one at a time on a worker thread; view shows them.
    void Start(TRunView& view);
    // Parks the running task at its next packet; Resume lets it go on.
    void Pause();
    void Resume();
    // Stops the running task, and the tasks not yet started never start. Returns when the
    // running task has ended; the final notice follows.
    void Stop();
    // From Start until the final notice has been handled.
    bool Running() const { return running_; }
    bool Paused() const { return paused_; }

    // The end of the main window: no more hook, progress or terminate events, and the
    // converter stopped and waited for.
    void EndMediaWork();

    // The row each task converts (task index → row identity).
    const std::vector<TRowId>& TaskRows() const { return taskRows_; }
    const TRunOutcome& Outcome() const { return outcome_; }
    const std::vector<std::string>& Log() const { return log_; }

private:
    void OnProgress(const TProgressInfo& info);
    void OnPreview(const TPreviewInfo& info);
    void OnTerminate(const TTerminateInfo& info);
    void OnLog(const std::string& message);
    void TaskEnded(const TTerminateInfo& info);
    void RunEnded();
    void AddLog(std::string line);
    void MarkFailed(int row, const std::string& reason);
    // The list position of the task's row, or -1 when the task or the row is gone.
    int RowOfTask(int taskIndex) const;
    std::int64_t PlannedLength(const TSourceRow& row) const;
    // Adds the row's task; its index, or -1 with the reason in error.
    int PrepareRow(const TJobContext& context, const TRunSetup& setup, const TSourceRow& row,
                   std::string& error);
    void AttachLog();
    void DetachLog();

    TConverter& converter_;
    TSourceListModel& list_;
    TBitmap& previewFrame_;
    TPost post_;
    // The watermark and colour effects of the rows that have them, by task.
    TConversionEffects effects_;
    // Work posted to the main thread does nothing once the run is gone.
    std::shared_ptr<char> alive_ = std::make_shared<char>();

    TRunView* view_ = nullptr;
    std::vector<TRowId> taskRows_;
    std::vector<std::int64_t> planned_;
    std::optional<TRunEta> eta_;
    TRunOutcome outcome_;
    std::vector<std::string> log_;
    bool running_ = false;
    bool paused_ = false;
    bool stopRequested_ = false;
};

} // namespace tessaro
