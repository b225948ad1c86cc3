#include "crop/FrmCrop.h"

#include "EditorSource.h"
#include "PositionBar.h"
#include "VideoSurfaceWidget.h"
#include "base/TimeTexts.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "crop/RectTracker.h"
#include "probe/DisplayRotation.h"
#include "sources/SourceListModel.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <cstring>
#include <utility>

namespace tessaro {

namespace {

// The spinners have no limits of their own; the editor's rules keep them on the picture.
constexpr int SpinnerLimit = 99999;

QRect ToQRect(const TCropRect& r) {
    return {r.Left, r.Top, r.Width, r.Height};
}

TCropRect ToCropRect(const QRect& r) {
    return {r.left(), r.top(), r.width(), r.height()};
}

} // namespace

TfrmCrop::TfrmCrop(TSourceListModel& sources, int row, TEditorSetup setup, QWidget* parent)
    : QDialog(parent), sources_(sources), row_(row), setup_(std::move(setup)) {
    setObjectName(QStringLiteral("frmCrop"));
    setWindowTitle(QStringLiteral("Crop"));
    setFixedSize(FormWidth, FormHeight);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    BuildPreview();
    BuildCropSize();
    w_.btnDefault = MakeButton(this, "btnDefault", "&Default", QRect(392, 222, 100, 26));
    w_.btnOk = MakeButton(this, "btnOk", "Ok", QRect(420, 396, 88, 28));
    w_.btnCancel = MakeButton(this, "btnCancel", "Cancel", QRect(516, 396, 88, 28));
    w_.btnOk->setDefault(true);
    w_.Timer = Named(new QTimer(this), "Timer");
    w_.Timer->setInterval(100);
    SetTabOrder();
    ConnectControls();

    player_.SetOnFileOpen([this](TCustomPlayer*, std::int64_t duration, int, int, int&, int&) {
        PlayerFileOpen(duration);
    });
    player_.SetOnPosition(
        [this](TCustomPlayer*, std::int64_t position) { PlayerPosition(position); });
    player_.SetOnState([this](TCustomPlayer*, TPlayState state) { PlayerState(state); });
    player_.SetOnHook([this](TCustomPlayer*, TBitmap& frame, std::int64_t) { PlayerHook(frame); });
}

TfrmCrop::~TfrmCrop() {
    StopPlayer();
}

// ---- Controls --------------------------------------------------------------------------

void TfrmCrop::BuildPreview() {
    // The player's own window, covered by the preview image: the hook's frames are what
    // the user sees.
    w_.pan1 = Named(new TVideoSurfaceWidget(this), "pan1");
    w_.pan1->setGeometry(12, 12, 33, 41);
    w_.pan1->setAccessibleName(QStringLiteral("Player window"));

    w_.imgPreview = Named(new QLabel(this), "imgPreview");
    w_.imgPreview->setGeometry(10, 10, 370, 253);
    w_.imgPreview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    w_.imgPreview->setAutoFillBackground(true);
    w_.imgPreview->setAccessibleName(QStringLiteral("Preview picture"));
    canvas_ = QImage(w_.imgPreview->size(), QImage::Format_RGB32);
    canvas_.fill(PreviewBackground);
    w_.imgPreview->setPixmap(QPixmap::fromImage(canvas_));
    w_.pan1->stackUnder(w_.imgPreview);

    // Laid exactly over the picture once it is known; until then over the whole image.
    w_.RectTracker = new TRectTracker(this);
    w_.RectTracker->setGeometry(w_.imgPreview->geometry());
    w_.RectTracker->setEnabled(false);
    w_.RectTracker->raise();

    w_.trcPreview = MakePreviewPositionBar(this, QRect(10, 270, 370, 22));
    w_.trcPreview->setTickInterval(5);
    w_.imgbtnPlay =
        MakeImageButton(this, "imgbtnPlay", QStyle::SP_MediaPlay, "play", QRect(10, 298, 26, 26));
    w_.imgbtnpause = MakeImageButton(this, "imgbtnpause", QStyle::SP_MediaPause, "pause",
                                     QRect(38, 298, 26, 26));
    MakeLabel(this, "Time:", QRect(72, 300, 40, 22));
    w_.lblPTS = Named(MakeLabel(this, "", QRect(112, 300, 100, 22)), "lblPTS");
    w_.lblPTS->setAccessibleName(QStringLiteral("Time"));
    MakeLabel(this, "Length:", QRect(220, 300, 50, 22));
    w_.lblLength = Named(MakeLabel(this, "", QRect(272, 300, 110, 22)), "lblLength");
    w_.lblLength->setAccessibleName(QStringLiteral("Length"));
    MakeLabel(this, "Source File:", QRect(10, 336, 80, 22));
    w_.lblSourceName = Named(MakeLabel(this, "", QRect(92, 336, 512, 22)), "lblSourceName");
    w_.lblSourceName->setAccessibleName(QStringLiteral("Source File"));
}

void TfrmCrop::BuildCropSize() {
    w_.grpCropSize = Named(new QGroupBox(QStringLiteral("Crop Size"), this), "grpCropSize");
    w_.grpCropSize->setGeometry(392, 10, 213, 200);
    const auto spinner = [this](const char* name, const char* caption, int top) {
        auto* spin = MakeArrowSpinner(w_.grpCropSize, name, -SpinnerLimit, SpinnerLimit,
                                      QString::fromUtf8(caption), QRect(80, top, 110, 24));
        MakeLabel(w_.grpCropSize, caption, QRect(14, top, 60, 24))->setBuddy(spin);
        spin->setEnabled(false);
        return spin;
    };
    w_.spedUp = spinner("spedUp", "Up", 28);
    w_.spedDown = spinner("spedDown", "Down", 62);
    w_.spedLeft = spinner("spedLeft", "Left", 96);
    w_.spedRight = spinner("spedRight", "Right", 130);
    w_.btnReset = MakeButton(w_.grpCropSize, "btnReset", "Reset", QRect(80, 164, 110, 26));
}

void TfrmCrop::SetTabOrder() {
    QWidget* const order[] = {
        w_.imgbtnPlay, w_.imgbtnpause, w_.trcPreview, w_.RectTracker, w_.spedUp, w_.spedDown,
        w_.spedLeft,   w_.spedRight,   w_.btnReset,   w_.btnDefault,  w_.btnOk,  w_.btnCancel,
    };
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void TfrmCrop::ConnectControls() {
    for (auto [spin, side] :
         {std::pair{w_.spedUp, TCropSide::Up}, std::pair{w_.spedDown, TCropSide::Down},
          std::pair{w_.spedLeft, TCropSide::Left}, std::pair{w_.spedRight, TCropSide::Right}}) {
        connect(spin, &QSpinBox::valueChanged, this,
                Guarded([this, side = side](int value) { SpinnerChanged(side, value); }));
    }
    connect(w_.RectTracker, &TRectTracker::pressed, this, [this] {
        w_.RectTracker->update();
        model_.Pressed(ToCropRect(w_.RectTracker->geometry()));
    });
    connect(w_.RectTracker, &TRectTracker::mouseMoved, this, [this](QPoint position) {
        model_.Moved(ToCropRect(w_.RectTracker->geometry()), position.x(), position.y());
        ShowRect();
        ShowMargins();
    });
    connect(w_.btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
    connect(w_.btnDefault, &QPushButton::clicked, this, [this] { btnResetClick(); });
    connect(w_.btnOk, &QPushButton::clicked, this, Guarded([this] { btnOkClick(); }));
    connect(w_.btnCancel, &QPushButton::clicked, this, Guarded([this] { btnCancelClick(); }));
    connect(w_.imgbtnPlay, &QToolButton::clicked, this, Guarded([this] { imgbtnPlayClick(); }));
    connect(w_.imgbtnpause, &QToolButton::clicked, this, Guarded([this] { imgbtnpauseClick(); }));
    connect(w_.trcPreview, &TPositionBar::valueChanged, this,
            Guarded([this](int position) { trcPreviewChange(position); }));
    // A drag or a click on the bar seeks when the button comes up.
    connect(w_.trcPreview, &TPositionBar::released, this,
            Guarded([this](int position, bool) { trcPreviewChange(position); }));
    connect(w_.Timer, &QTimer::timeout, this, [this] { TimerTick(); });
}

// ---- Rectangle and spinners ------------------------------------------------------------

void TfrmCrop::ShowRect() {
    w_.RectTracker->setGeometry(ToQRect(model_.Rect()));
    w_.RectTracker->update();
}

// The spinners show the model's margins without reacting to their own change.
void TfrmCrop::ShowMargins() {
    const TViewMargins& m = model_.Margins();
    for (auto [spin, value] : {std::pair{w_.spedUp, m.Up}, std::pair{w_.spedDown, m.Down},
                               std::pair{w_.spedLeft, m.Left}, std::pair{w_.spedRight, m.Right}}) {
        const QSignalBlocker updating(spin);
        spin->setValue(value);
    }
}

void TfrmCrop::SpinnerChanged(TCropSide side, int value) {
    model_.SpinnerChanged(side, value);
    ShowRect();
    ShowMargins();
}

void TfrmCrop::btnResetClick() {
    model_.Reset();
    ShowMargins();
    ShowRect();
}

// ---- Preview ---------------------------------------------------------------------------

void TfrmCrop::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // After the window is on screen: opening a DVD title takes a moment.
        QMetaObject::invokeMethod(this, Guarded([this] { FormShow(); }), Qt::QueuedConnection);
    }
}

// Plays the row (a file row its file, a DVD title row its title of the DVD location) and
// lays the rectangle over its picture. Without the libraries, or when the open fails, there
// is no preview and nothing to crop: Ok then stores zero margins.
void TfrmCrop::FormShow() {
    w_.lblSourceName->clear();
    w_.lblPTS->clear();
    w_.lblLength->clear();
    paused_ = true;
    stopped_ = true;
    canvas_.fill(PreviewBackground);
    w_.imgPreview->setPixmap(QPixmap::fromImage(canvas_));
    const TSourceRow& row = sources_.Row(row_);
    if ((!player_.LibrariesLoaded() && !player_.LoadLibraries(setup_.LibraryFolder)) ||
        !player_.Open(EditorSourceAddress(row, setup_.DvdFolder), w_.pan1, false)) {
        w_.imgbtnPlay->setEnabled(false);
        w_.imgbtnpause->setEnabled(false);
        return;
    }
    paused_ = false;
    stopped_ = false;
    w_.imgbtnPlay->setEnabled(false);
    w_.imgbtnpause->setEnabled(true);
    SetUpPicture();
    ShowSourceName(row.Record.SourceName);
    TFileStreamInfo file;
    player_.Probe().GetFileStreamInfo(file);
    w_.lblLength->setText(QString::fromStdString(CropLengthText(file.Duration)));
    player_.Probe().CloseFile();
    w_.Timer->start();
    w_.RectTracker->update();
}

void TfrmCrop::SetUpPicture() {
    TMediaProbe& probe = player_.Probe();
    const bool video = probe.VideoStreamCount() > 0;
    w_.RectTracker->setVisible(video);
    w_.RectTracker->setEnabled(video);
    for (QSpinBox* spin : {w_.spedUp, w_.spedDown, w_.spedLeft, w_.spedRight}) {
        spin->setEnabled(video);
    }
    if (!video) {
        model_.Reset();
        ShowMargins();
        return;
    }
    TVideoStreamInfo info;
    probe.GetVideoStreamInfo(probe.FirstVideoStream(), info);
    // Margins are taken on the picture as it is shown, which is upright.
    int width = info.Width;
    int height = info.Height;
    if (RotationSwapsSides(info.Rotation)) {
        std::swap(width, height);
    }
    model_.SetSourceSize(width, height);
    // The player's pictures have this size once turned; before its first picture its
    // current frame may still have the stored size, so the probe's size is the one fitted.
    model_.PlacePicture(width, height, ToCropRect(w_.imgPreview->geometry()));
    model_.LoadMargins(sources_.Record(row_));
    ShowMargins();
    ShowRect();
}

void TfrmCrop::ShowSourceName(const std::string& name) {
    const std::string shown = ShortSourceName(name);
    w_.lblSourceName->setText(QString::fromStdString(shown));
    if (shown != name) {
        w_.lblSourceName->resize(ShortSourceNameLabelWidth, w_.lblSourceName->height());
    }
}

void TfrmCrop::PlayerFileOpen(std::int64_t duration) {
    player_.SetHook(true);
    duration_ = duration;
    w_.lblLength->setText(QString::fromStdString(RoundedLengthText(duration)));
    w_.lblPTS->setText(QStringLiteral("0.0"));
    TPositionBar* bar = w_.trcPreview;
    programmaticMove_ = true;
    bar->setTickPosition(QSlider::NoTicks);
    bar->setRange(0, bar->width());
    bar->SetThumbVisible(duration > 0);
    bar->setValue(0);
    programmaticMove_ = false;
}

void TfrmCrop::PlayerPosition(std::int64_t position) {
    w_.lblPTS->setText(QString::fromStdString(RoundedLengthText(position)));
}

void TfrmCrop::PlayerState(TPlayState state) {
    if (state == psPause) {
        paused_ = true;
        stopped_ = false;
        w_.imgbtnPlay->setEnabled(true);
        w_.imgbtnpause->setEnabled(false);
    } else if (state == psEnd) {
        w_.imgbtnPlay->setEnabled(true);
        w_.imgbtnpause->setEnabled(false);
        stopped_ = true;
        player_.Seek(0, false, 0);
        player_.Pause();
    }
}

// On the player's video thread, with the frame locked.
void TfrmCrop::PlayerHook(const TBitmap& frame) {
    if (paused_ || stopped_ || frame.Width() <= 0 || frame.Height() <= 0) {
        return;
    }
    const std::lock_guard lock(frameLock_);
    if (frameCopy_.width() != frame.Width() || frameCopy_.height() != frame.Height()) {
        frameCopy_ = QImage(frame.Width(), frame.Height(), QImage::Format_BGR888);
    }
    const std::size_t rowBytes = std::size_t(frame.Width()) * TBitmap::BytesPerPixel;
    for (int y = 0; y < frame.Height(); ++y) {
        std::memcpy(frameCopy_.scanLine(y), frame.ScanLine(y), rowBytes);
    }
    freshFrame_ = true;
}

// Paints the latest frame fitted into the preview image; the light blue stays around it.
void TfrmCrop::TimerTick() {
    {
        const std::lock_guard lock(frameLock_);
        if (frameCopy_.isNull() || !freshFrame_) {
            return;
        }
        const std::optional<TCropRect> fitted = FitPicture(
            frameCopy_.width(), frameCopy_.height(), {0, 0, canvas_.width(), canvas_.height()});
        if (!fitted) {
            return;
        }
        QPainter painter(&canvas_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(ToQRect(*fitted), frameCopy_);
        freshFrame_ = false;
    }
    w_.imgPreview->setPixmap(QPixmap::fromImage(canvas_));
}

// A move of the bar seeks unless the editor moves it itself or the primary button still
// holds it; position 0 does not seek.
void TfrmCrop::trcPreviewChange(int position) {
    const int max = w_.trcPreview->maximum();
    if (programmaticMove_ || max <= 0 || w_.trcPreview->isSliderDown() ||
        (QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        return;
    }
    if (duration_ * position / max > 0) {
        ++seekCount_;
        player_.Seek(0, false, std::int64_t(double(position) / max * double(duration_)));
    }
}

void TfrmCrop::imgbtnPlayClick() {
    if (!player_.Paused()) {
        return;
    }
    player_.Resume();
    paused_ = false;
    stopped_ = false;
    w_.imgbtnPlay->setEnabled(false);
    w_.imgbtnpause->setEnabled(true);
}

void TfrmCrop::imgbtnpauseClick() {
    paused_ = true;
    stopped_ = false;
    player_.Pause();
    w_.imgbtnPlay->setEnabled(true);
    w_.imgbtnpause->setEnabled(false);
}

// ---- Ok, Cancel, closing ---------------------------------------------------------------

void TfrmCrop::btnOkClick() {
    sources_.EditRecord(row_, [this](TlvFilesRecord& record) { model_.Store(record); });
    StopPlayer();
    accept();
}

void TfrmCrop::btnCancelClick() {
    StopPlayer();
    reject();
}

void TfrmCrop::done(int result) {
    StopPlayer();
    QDialog::done(result);
}

// The hook is off and the player's threads have ended: no frame arrives any more.
void TfrmCrop::StopPlayer() {
    stopped_ = true;
    w_.Timer->stop();
    player_.SetHook(false);
    player_.Stop(true);
    player_.SetOnPosition(nullptr);
    player_.SetOnState(nullptr);
    player_.SetOnHook(nullptr);
    const std::lock_guard lock(frameLock_);
    frameCopy_ = QImage();
}

} // namespace tessaro
