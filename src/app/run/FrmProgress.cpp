#include "run/FrmProgress.h"

#include "Snapshot.h"
#include "base/Bitmap.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "core/IniFile.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace tessaro {

namespace {

const QColor PictureBackground(166, 203, 240);
constexpr int LogLines = 2000;

// A caption and the label that shows its value; the value is announced under the caption.
QLabel* AddFigure(QWidget* parent, const char* name, const char* caption, QRect captionRect,
                  QRect valueRect) {
    MakeLabel(parent, caption, captionRect);
    auto* value = Named(MakeLabel(parent, "", valueRect), name);
    value->setAccessibleName(QString::fromUtf8(caption).chopped(1));
    return value;
}

} // namespace

TfrmProgress::TfrmProgress(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Progress"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    BuildPicture();
    BuildFigures();
    BuildControls();
    SetTabOrder();
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(PaintIntervalMs);
    connect(&Timer1, &QTimer::timeout, this, Guarded([this] { PaintPreview(); }));
}

void TfrmProgress::BuildPicture() {
    c_.mmoLog = Named(new QPlainTextEdit(this), "mmoLog");
    c_.mmoLog->setGeometry(12, 6, PictureWidth + 2, 44);
    c_.mmoLog->setReadOnly(true);
    c_.mmoLog->setMaximumBlockCount(LogLines);
    c_.mmoLog->setAccessibleName(QStringLiteral("Log"));

    picture_ = QImage(PictureWidth, PictureHeight, QImage::Format_RGB32);
    c_.imgPreview = Named(new QLabel(this), "imgPreview");
    c_.imgPreview->setGeometry(13, 54, PictureWidth, PictureHeight);
    c_.imgPreview->setAccessibleName(QStringLiteral("Preview"));
}

void TfrmProgress::BuildFigures() {
    constexpr int top = 256;
    constexpr int row = 17;
    const auto left = [](int line) { return QRect(13, top + line * row, 78, row); };
    const auto leftValue = [](int line) { return QRect(91, top + line * row, 120, row); };
    const auto right = [](int line) { return QRect(215, top + line * row, 86, row); };
    const auto rightValue = [](int line) { return QRect(301, top + line * row, 100, row); };
    c_.lblTime = AddFigure(this, "lblTime", "Current Time:", left(0), leftValue(0));
    c_.lblLength = AddFigure(this, "lblLength", "Length:", left(1), leftValue(1));
    c_.lblSize = AddFigure(this, "lblSize", "File Size:", left(2), leftValue(2));
    c_.lblProgress = AddFigure(this, "lblProgress", "Progress:", left(3), leftValue(3));
    c_.lblOutput =
        AddFigure(this, "lblOutput", "File:", left(4), QRect(91, top + 4 * row, 283, row));
    c_.lblElapsed = AddFigure(this, "lblElapsed", "Elapsed:", right(0), rightValue(0));
    c_.lblTaskLeft = AddFigure(this, "lblTaskLeft", "Time Left:", right(1), rightValue(1));
    c_.lblBatchLeft = AddFigure(this, "lblBatchLeft", "Total Left:", right(2), rightValue(2));
}

void TfrmProgress::BuildControls() {
    c_.progbarFile = Named(new QProgressBar(this), "progbarFile");
    c_.progbarFile->setGeometry(13, 345, 354, 20);
    c_.progbarFile->setTextVisible(true);
    c_.progbarFile->setAccessibleName(QStringLiteral("Progress"));

    c_.imgbtnSnap = MakeImageButton(this, "imgbtnSnap", QStyle::SP_DialogSaveButton,
                                    "Save snapshot picture", QRect(373, 341, 28, 28));
    connect(c_.imgbtnSnap, &QToolButton::clicked, this, Guarded([this] { SnapClick(); }));

    c_.ckShutDown = Named(
        new QCheckBox(QStringLiteral("Shut down computer after conversion"), this), "ckShutDown");
    c_.ckShutDown->setGeometry(13, 370, 388, 20);
    c_.ckOpen = Named(
        new QCheckBox(QStringLiteral("Open the output folder after conversion"), this), "ckOpen");
    c_.ckOpen->setGeometry(13, 390, 388, 20);

    c_.btnPause = MakeButton(this, "btnPause", "Pause", QRect(171, 414, 72, 26));
    c_.btnResume = MakeButton(this, "btnResume", "Resume", QRect(250, 414, 72, 26));
    c_.btnCancel = MakeButton(this, "btnCancel", "Cancel", QRect(329, 414, 72, 26));
    for (QPushButton* button : {c_.btnPause, c_.btnResume, c_.btnCancel}) {
        button->setAutoDefault(false);
    }
    connect(c_.btnPause, &QPushButton::clicked, this, Guarded([this] { PauseClick(); }));
    connect(c_.btnResume, &QPushButton::clicked, this, Guarded([this] { ResumeClick(); }));
    connect(c_.btnCancel, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmProgress::SetTabOrder() {
    QWidget* order[] = {c_.btnPause,   c_.btnResume, c_.btnCancel, c_.imgbtnSnap,
                        c_.ckShutDown, c_.ckOpen,    c_.mmoLog};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

// ---- a run -------------------------------------------------------------------------

void TfrmProgress::Open(TConversionRun& run, const TBitmap& frame, std::string settingsPath) {
    run_ = &run;
    frame_ = &frame;
    settingsPath_ = std::move(settingsPath);
    ResetForRun();
    show();
    Timer1.start();
    run.Start(*this);
}

void TfrmProgress::ResetForRun() {
    for (QLabel* value : {c_.lblTime, c_.lblLength, c_.lblSize, c_.lblProgress, c_.lblOutput,
                          c_.lblElapsed, c_.lblTaskLeft, c_.lblBatchLeft}) {
        value->clear();
    }
    c_.mmoLog->clear();
    c_.ckOpen->setChecked(true);
    c_.btnPause->setEnabled(true);
    c_.btnResume->setEnabled(false);
    ClearPicture();
    c_.progbarFile->setRange(0, 100);
    c_.progbarFile->setValue(0);
}

// The outer size is fixed; the frame is known only once the window is on screen.
void TfrmProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QSize frame = frameGeometry().size() - geometry().size();
    setFixedSize(QSize(OuterWidth, OuterHeight) - frame);
    if (parentWidget() != nullptr) {
        move(parentWidget()->frameGeometry().center() - QPoint(OuterWidth / 2, OuterHeight / 2));
    }
}

void TfrmProgress::ShowProgress(const TProgressFigures& figures, const TRunTimes& times) {
    if (figures.Percent) {
        ShowBar(*figures.Percent);
    }
    c_.lblTime->setText(QString::fromStdString(figures.Time));
    c_.lblLength->setText(QString::fromStdString(figures.Length));
    c_.lblSize->setText(QString::fromStdString(figures.Size));
    c_.lblProgress->setText(QString::fromStdString(figures.Progress));
    c_.lblOutput->setText(QString::fromStdString(figures.File));
    c_.lblElapsed->setText(QString::fromStdString(times.Elapsed));
    c_.lblTaskLeft->setText(QString::fromStdString(times.TaskRemaining));
    c_.lblBatchLeft->setText(QString::fromStdString(times.BatchRemaining));
    emit figuresShown();
}

void TfrmProgress::ShowBar(int percent) {
    c_.progbarFile->setValue(percent);
}

void TfrmProgress::AppendLog(const std::string& line) {
    c_.mmoLog->appendPlainText(QString::fromStdString(line));
}

void TfrmProgress::RunEnded() {
    Timer1.stop();
    run_ = nullptr;
    if (isVisible()) {
        done(Accepted);
    }
    emit runEnded();
}

void TfrmProgress::CloseForExit() {
    Timer1.stop();
    run_ = nullptr;
    hide();
}

// ---- pause, resume, stop -----------------------------------------------------------

void TfrmProgress::PauseClick() {
    if (run_ != nullptr) {
        run_->Pause();
    }
    c_.btnPause->setEnabled(false);
    c_.btnResume->setEnabled(true);
}

void TfrmProgress::ResumeClick() {
    if (run_ != nullptr) {
        run_->Resume();
    }
    c_.btnPause->setEnabled(true);
    c_.btnResume->setEnabled(false);
}

void TfrmProgress::StopRun() {
    Timer1.stop();
    if (run_ != nullptr) {
        run_->Stop();
    }
}

// Cancel, the title bar's close button and Escape all come here.
void TfrmProgress::reject() {
    StopRun();
    QDialog::reject();
}

void TfrmProgress::SnapClick() {
    if (frame_ == nullptr) {
        return;
    }
    QImage full;
    {
        std::lock_guard lock(*frame_);
        full = BitmapImage(*frame_).copy();
    }
    if (full.isNull()) {
        return;
    }
    TIniFile settings(settingsPath_);
    SaveSnapshot(settings, full, picture_);
}

// ---- the live picture --------------------------------------------------------------

void TfrmProgress::ClearPicture() {
    picture_.fill(PictureBackground);
    c_.imgPreview->setPixmap(QPixmap::fromImage(picture_));
}

void DrawFrameFitted(QImage& picture, const TBitmap& frame) {
    if (frame.Width() < 1 || frame.Height() < 1) {
        return;
    }
    const QImage source = BitmapImage(frame);
    const TFitRect fit = FitFrame(frame.Width(), frame.Height(), picture.width(), picture.height());
    picture.fill(PictureBackground);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(fit.Left, fit.Top, fit.Width, fit.Height), source);
}

void TfrmProgress::PaintPreview() {
    if (frame_ == nullptr) {
        return;
    }
    {
        std::lock_guard lock(*frame_);
        if (frame_->Width() < 1 || frame_->Height() < 1) {
            return;
        }
        DrawFrameFitted(picture_, *frame_);
    }
    c_.imgPreview->setPixmap(QPixmap::fromImage(picture_));
}

} // namespace tessaro
