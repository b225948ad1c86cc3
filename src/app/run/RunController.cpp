#include "run/RunController.h"

#include "converter/Converter.h"
#include "run/DesktopNotice.h"
#include "run/FrmProgress.h"
#include "run/FrmShutDown.h"

#include <QCheckBox>
#include <QCoreApplication>

namespace tessaro {

namespace {

// Runs work on the GUI thread's event loop, after what is already queued there.
void PostToMainThread(std::function<void()> work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

} // namespace

TRunController::TRunController(TRunHost host, QObject* parent)
    : QObject(parent), host_(std::move(host)), converter_(std::make_unique<TConverter>()) {
    if (!host_.Notify) {
        host_.Notify = [](const TBatchNotice& notice) { SendDesktopNotice(notice); };
    }
}

TRunController::~TRunController() {
    // The run detaches from the converter before the converter goes.
    run_.reset();
    converter_.reset();
}

bool TRunController::Running() const {
    return run_ != nullptr && run_->Running();
}

void TRunController::Start() {
    TBitmap* frame = host_.PreviewFrame ? host_.PreviewFrame() : nullptr;
    if (Running() || frame == nullptr || host_.List->CheckedCount() == 0) {
        return;
    }
    emit starting();
    EnsureRun(*frame);
    const TRunSetup setup = host_.Setup();
    if (run_->Prepare(setup) == 0) {
        return;
    }
    EnsureProgressWindow();
    progress_->Open(*run_, *frame, setup.SettingsPath);
}

void TRunController::EnsureRun(TBitmap& frame) {
    if (run_ == nullptr) {
        run_ = std::make_unique<TConversionRun>(*converter_, *host_.List, frame, PostToMainThread);
    }
}

void TRunController::EnsureProgressWindow() {
    if (progress_ == nullptr) {
        progress_ = new TfrmProgress(host_.Window);
        connect(progress_, &TfrmProgress::runEnded, this, &TRunController::BatchEnded);
    }
}

void TRunController::BatchEnded() {
    const TRunOutcome& outcome = run_->Outcome();
    host_.Notify(BatchNoticeOf(outcome));
    if (OpenOutputFolderAfter(outcome) && progress_->Controls().ckOpen->isChecked() &&
        host_.OpenOutputFolder) {
        host_.OpenOutputFolder();
    }
    if (BatchRanToItsEnd(outcome) && progress_->Controls().ckShutDown->isChecked()) {
        if (shutDown_ == nullptr) {
            shutDown_ = new TfrmShutDown(host_.Window);
        }
        shutDown_->Start();
    }
    emit finished();
}

void TRunController::EndMediaWork() {
    if (run_ != nullptr) {
        run_->EndMediaWork();
    } else {
        converter_->StopAll(true);
    }
    // No final notice comes any more to close the progress window.
    if (progress_ != nullptr) {
        progress_->CloseForExit();
    }
}

} // namespace tessaro
