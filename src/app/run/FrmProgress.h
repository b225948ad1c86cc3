// The progress window of a conversion run: the live picture of the frames being converted,
// the figures of the current task, the run's times and log, pause, resume and stop, the
// snapshot button and the choices of what happens after the last task. Opening it starts the
// run; closing it in any way stops the run; the run's end closes it.
#pragma once

#include "run/ConversionRun.h"

#include <QDialog>
#include <QImage>
#include <QTimer>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace tessaro {

class TBitmap;

// Fills picture with the live picture's background and draws frame into it, fitted to the
// largest centred rectangle of the frame's proportions. A frame without pixels leaves the
// picture as it is.
void DrawFrameFitted(QImage& picture, const TBitmap& frame);

struct TfrmProgressControls {
    QPlainTextEdit* mmoLog = nullptr; // the run's engine messages
    QLabel* imgPreview = nullptr;
    QLabel* lblTime = nullptr;
    QLabel* lblLength = nullptr;
    QLabel* lblSize = nullptr;
    QLabel* lblProgress = nullptr;
    QLabel* lblOutput = nullptr;
    QLabel* lblElapsed = nullptr;
    QLabel* lblTaskLeft = nullptr;
    QLabel* lblBatchLeft = nullptr;
    QProgressBar* progbarFile = nullptr;
    QCheckBox* ckShutDown = nullptr;
    QCheckBox* ckOpen = nullptr;
    QToolButton* imgbtnSnap = nullptr;
    QPushButton* btnPause = nullptr;
    QPushButton* btnResume = nullptr;
    QPushButton* btnCancel = nullptr;
};

class TfrmProgress : public QDialog, public TRunView {
    Q_OBJECT
public:
    static constexpr int OuterWidth = 420;
    static constexpr int OuterHeight = 460;
    static constexpr int PictureWidth = 388;
    static constexpr int PictureHeight = 199;
    static constexpr int PaintIntervalMs = 100;

    explicit TfrmProgress(QWidget* owner);

    const TfrmProgressControls& Controls() const { return c_; }
    // What the live picture shows now: the latest frame fitted into the picture's background.
    const QImage& Picture() const { return picture_; }
    // The frame the live picture is painted from.
    const TBitmap* Frame() const { return frame_; }

    // Shows the window modally without blocking and starts the prepared run; frame receives
    // the run's preview frames. Snapshots follow the settings file's snapshot keys.
    void Open(TConversionRun& run, const TBitmap& frame, std::string settingsPath);

    // TRunView
    void ShowProgress(const TProgressFigures& figures, const TRunTimes& times) override;
    void ShowBar(int percent) override;
    void AppendLog(const std::string& line) override;
    void RunEnded() override;
    // The program ends: the window closes without waiting for the run's end.
    void CloseForExit();

signals:
    // A progress report is on show.
    void figuresShown();
    // The run is over (every task ended); the window has closed.
    void runEnded();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void BuildPicture();
    void BuildFigures();
    void BuildControls();
    void SetTabOrder();
    void ResetForRun();
    void ClearPicture();
    void PaintPreview();
    // Saves the frame in full and the picture as it shows it (the snapshot button).
    void SnapClick();
    void PauseClick();
    void ResumeClick();
    // Stops the run when it is still going (closing the window in any way).
    void StopRun();

    TfrmProgressControls c_;
    QTimer Timer1;
    QImage picture_;
    TConversionRun* run_ = nullptr;
    const TBitmap* frame_ = nullptr;
    std::string settingsPath_;
};

} // namespace tessaro
