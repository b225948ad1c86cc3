// The main window's conversion run: every Start control comes here. It owns the converter
// and the run, opens the progress window over the main window, and when the batch is over
// sends the desktop notice, opens the output folder and starts the shut-down countdown as the
// user chose in the progress window.
#pragma once

#include "run/ConversionRun.h"

#include <QObject>
#include <functional>
#include <memory>

class QWidget;

namespace tessaro {

class TBitmap;
class TConverter;
class TfrmProgress;
class TfrmShutDown;

// What the run needs from the main window.
struct TRunHost {
    QWidget* Window = nullptr; // owner of the progress and countdown windows
    TSourceListModel* List = nullptr;
    std::function<TRunSetup()> Setup;
    // Receives the converter's preview frames; null once the main window is closing.
    std::function<TBitmap*()> PreviewFrame;
    // The output folder row's "Open".
    std::function<void()> OpenOutputFolder;
    // The end-of-batch notice; the desktop notice when not given.
    std::function<void(const TBatchNotice&)> Notify;
};

class TRunController : public QObject {
    Q_OBJECT
public:
    explicit TRunController(TRunHost host, QObject* parent = nullptr);
    ~TRunController() override;

    TConverter& Converter() const { return *converter_; }
    // Null before the first run.
    TConversionRun* Run() const { return run_.get(); }
    TfrmProgress* ProgressWindow() const { return progress_; }
    TfrmShutDown* ShutDownWindow() const { return shutDown_; }

    // Converts the checked rows under the progress window. Does nothing without a checked
    // row or while a run is going; returns at once.
    void Start();
    bool Running() const;
    // The main window's end: no more hook, progress or terminate events, and the converter
    // stopped and waited for.
    void EndMediaWork();

signals:
    // A run is about to prepare its tasks (the preview stops playing).
    void starting();
    // The batch is over and its end-of-batch actions have been started.
    void finished();

private:
    void EnsureRun(TBitmap& frame);
    void EnsureProgressWindow();
    void BatchEnded();

    TRunHost host_;
    std::unique_ptr<TConverter> converter_;
    std::unique_ptr<TConversionRun> run_;
    TfrmProgress* progress_ = nullptr;
    TfrmShutDown* shutDown_ = nullptr;
};

} // namespace tessaro
