#include "trim/FrmTrim.h"

#include "EditorSource.h"
#include "PositionBar.h"
#include "VideoSurfaceWidget.h"
#include "base/TimeTexts.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "sources/SourceListModel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace tessaro {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A read-only time box with its caption above and the "(HH:MM:SS)" note below.
QLineEdit* MakeTimeBox(QWidget* parent, const char* name, const char* caption,
                       const char* accessible, int top) {
    auto* box = Named(new QLineEdit(QStringLiteral("00:00:00"), parent), name);
    box->setReadOnly(true);
    box->setGeometry(392, top + 22, 120, 24);
    box->setAccessibleName(QString::fromUtf8(accessible));
    MakeLabel(parent, caption, QRect(392, top, 210, 20))->setBuddy(box);
    MakeLabel(parent, "(HH:MM:SS)", QRect(392, top + 48, 120, 20));
    return box;
}

} // namespace

TfrmTrim::TfrmTrim(TSourceListModel& sources, TTrimSetup setup, QWidget* parent)
    : QDialog(parent), sources_(sources), setup_(std::move(setup)) {
    setObjectName(QStringLiteral("frmTrim"));
    setWindowTitle(QStringLiteral("Trim"));
    setFixedSize(FormWidth, FormHeight);
    BuildPreview();
    BuildRange();
    SetTabOrder();
    ConnectControls();

    // Loaded once for the window's life; a failure shows at the first showing as no source.
    if (!player_.LibrariesLoaded()) {
        player_.LoadLibraries(setup_.LibraryFolder);
    }
    player_.SetOnFileOpen(
        [this](TCustomPlayer*, std::int64_t duration, int, int, int& screenWidth,
               int& screenHeight) { PlayerFileOpen(duration, screenWidth, screenHeight); });
    player_.SetOnPosition(
        [this](TCustomPlayer*, std::int64_t position) { PlayerPosition(position); });
    player_.SetOnState([this](TCustomPlayer*, TPlayState state) { PlayerState(state); });
}

TfrmTrim::~TfrmTrim() {
    StopPlayer();
    player_.SetOnFileOpen(nullptr);
    player_.SetOnPosition(nullptr);
    player_.SetOnState(nullptr);
}

// ---- Controls --------------------------------------------------------------------------

void TfrmTrim::BuildPreview() {
    w_.imgPreview = MakePreviewPicture(this, QRect(8, 8, 372, 260));
    w_.trcPreview = MakePreviewPositionBar(this, QRect(8, 274, 372, 26));
    w_.imgbtnPlay =
        MakeImageButton(this, "imgbtnPlay", QStyle::SP_MediaPlay, "play", QRect(8, 304, 26, 26));
    w_.imgbtnpause = MakeImageButton(this, "imgbtnpause", QStyle::SP_MediaPause, "pause",
                                     QRect(36, 304, 26, 26));
    w_.lblPTS = Named(MakeLabel(this, "", QRect(70, 306, 150, 22)), "lblPTS");
    w_.lblPTS->setAccessibleName(QStringLiteral("Position"));
    w_.lblLength = Named(MakeLabel(this, "", QRect(222, 306, 180, 22)), "lblLength");
    w_.lblLength->setAccessibleName(QStringLiteral("Duration"));

    MakeLabel(this, "Source Name:", QRect(8, 348, 90, 22));
    w_.lblSourceName = Named(MakeLabel(this, "", QRect(100, 348, 507, 22)), "lblSourceName");
    w_.lblSourceName->setAccessibleName(QStringLiteral("Source Name"));
}

void TfrmTrim::BuildRange() {
    w_.edtStart = MakeTimeBox(this, "edtStart", "Set Start Time:", "Start time", 16);
    w_.btnOk1 = MakeButton(this, "btnOk1", "&Ok", QRect(518, 38, 60, 24));
    w_.btnOk1->setAccessibleName(QStringLiteral("Set the start time to the playing position"));
    w_.edtEnd = MakeTimeBox(this, "edtEnd", "Set End Time:", "End time", 100);
    w_.btnOk2 = MakeButton(this, "btnOk2", "&Ok", QRect(518, 122, 60, 24));
    w_.btnOk2->setAccessibleName(QStringLiteral("Set the end time to the playing position"));
    w_.edtTrimLength = MakeTimeBox(this, "edtTrimLength", "Trim Length:", "Trim length", 184);
    QPalette face = w_.edtTrimLength->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    face.setColor(QPalette::Text, Qt::black);
    w_.edtTrimLength->setPalette(face);

    w_.btnReset = MakeButton(this, "btnReset", "&Reset", QRect(392, 276, 88, 26));
    w_.btnDefault = MakeButton(this, "btnDefault", "&Default", QRect(490, 276, 88, 26));
    w_.btnOk = MakeButton(this, "btnOk", "Ok", QRect(430, 398, 84, 28));
    w_.btnCancel = MakeButton(this, "btnCancel", "Cancel", QRect(523, 398, 84, 28));
    w_.btnOk->setDefault(true);
}

void TfrmTrim::SetTabOrder() {
    QWidget* order[] = {w_.trcPreview, w_.imgbtnPlay, w_.imgbtnpause, w_.edtStart,
                        w_.btnOk1,     w_.edtEnd,     w_.btnOk2,      w_.edtTrimLength,
                        w_.btnReset,   w_.btnDefault, w_.btnOk,       w_.btnCancel};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void TfrmTrim::ConnectControls() {
    const auto click = [this](QAbstractButton* button, void (TfrmTrim::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                Guarded([this, handler] { (this->*handler)(); }));
    };
    click(w_.imgbtnPlay, &TfrmTrim::imgbtnPlayClick);
    click(w_.imgbtnpause, &TfrmTrim::imgbtnpauseClick);
    click(w_.btnOk1, &TfrmTrim::btnOk1Click);
    click(w_.btnOk2, &TfrmTrim::btnOk2Click);
    click(w_.btnReset, &TfrmTrim::btnResetClick);
    click(w_.btnDefault, &TfrmTrim::btnResetClick);
    click(w_.btnOk, &TfrmTrim::btnOkClick);
    click(w_.btnCancel, &TfrmTrim::btnCancelClick);
    connect(w_.trcPreview, &TPositionBar::released, this,
            Guarded([this](int value, bool overBar) { SeekBarReleased(value, overBar); }));
}

// ---- Showing ---------------------------------------------------------------------------

void TfrmTrim::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ClearShowing();
    // After the window is on screen: opening a DVD title takes a moment.
    QMetaObject::invokeMethod(this, Guarded([this] { OpenPreview(); }), Qt::QueuedConnection);
}

void TfrmTrim::ClearShowing() {
    sourceOpened_ = false;
    w_.lblSourceName->clear();
    w_.lblPTS->clear();
    w_.lblLength->clear();
    w_.imgbtnPlay->setEnabled(false);
    w_.imgbtnpause->setEnabled(false);
}

// Plays the row's own source; without the libraries, a row or an openable source the
// window shows nothing of it and stays usable for Cancel.
void TfrmTrim::OpenPreview() {
    const bool usable = row_ >= 0 && row_ < sources_.Count() &&
                        (player_.LibrariesLoaded() || player_.LoadLibraries(setup_.LibraryFolder));
    if (!usable || !player_.Open(EditorSourceAddress(sources_.Row(row_), setup_.DvdFolder),
                                 w_.imgPreview, false)) {
        emit previewOpened(false);
        return;
    }
    const TlvFilesRecord& record = sources_.Record(row_);
    const std::string name = ShortSourceName(record.SourceName);
    w_.lblSourceName->setText(Text(name));
    if (name != record.SourceName) {
        w_.lblSourceName->resize(ShortSourceNameLabelWidth, w_.lblSourceName->height());
    }
    w_.lblSourceName->setToolTip(Text(record.SourceName));
    model_.ShowStored(record.TrimStart, record.TrimLength);
    w_.imgbtnPlay->setEnabled(false);
    w_.imgbtnpause->setEnabled(true);
    ShowRange();
    const int maximum = w_.trcPreview->maximum();
    ShowSelection(model_.BarPoint(model_.Start(), maximum), model_.BarPoint(model_.End(), maximum));
    sourceOpened_ = true;
    emit previewOpened(true);
}

void TfrmTrim::ShowRange() {
    w_.edtStart->setText(Text(TimeText(model_.Start())));
    w_.edtEnd->setText(Text(TimeText(model_.End())));
    w_.edtTrimLength->setText(Text(TimeText(model_.Length())));
}

void TfrmTrim::ShowSelection(int start, int end) {
    w_.trcPreview->SetSelection(start, end);
}

// ---- Player events ---------------------------------------------------------------------

void TfrmTrim::PlayerFileOpen(std::int64_t duration, int& screenWidth, int& screenHeight) {
    screenWidth = w_.imgPreview->width();
    screenHeight = w_.imgPreview->height();
    model_.FileOpened(duration);
    for (QLineEdit* box : {w_.edtStart, w_.edtEnd, w_.edtTrimLength}) {
        box->setText(QStringLiteral("00:00:00"));
    }
    w_.lblLength->setText(QStringLiteral("Duration:    ") + Text(TimeText(duration)));
    w_.lblPTS->setText(QStringLiteral("0.0"));
    TPositionBar* bar = w_.trcPreview;
    const QSignalBlocker quiet(bar);
    bar->setTickPosition(QSlider::NoTicks);
    bar->setTickInterval(1);
    bar->setRange(0, bar->width());
    ShowSelection(0, 0);
    bar->SetThumbVisible(duration > 0);
    bar->setValue(0);
    bar->setEnabled(true);
}

// The seek bar follows playback unless the user holds it.
void TfrmTrim::PlayerPosition(std::int64_t position) {
    w_.lblPTS->setText(QStringLiteral("Time:    ") + Text(PositionText(position)));
    TPositionBar* bar = w_.trcPreview;
    if (bar->isEnabled() && !bar->isSliderDown()) {
        const QSignalBlocker quiet(bar);
        bar->setValue(model_.BarPoint(position, bar->maximum()));
    }
}

// At the end the player waits paused at the start; the range marks come back with Play.
void TfrmTrim::PlayerState(TPlayState state) {
    if (state != psEnd) {
        return;
    }
    {
        const QSignalBlocker quiet(w_.trcPreview);
        w_.trcPreview->setValue(0);
    }
    player_.Seek(TMediaPlayer::SeekAnyFrame, false, 0);
    player_.Pause();
    w_.imgbtnPlay->setEnabled(true);
    w_.imgbtnpause->setEnabled(false);
    ShowSelection(0, 0);
    w_.trcPreview->setEnabled(false);
    w_.lblPTS->setText(QStringLiteral("00:00:00"));
    w_.lblLength->setText(QStringLiteral("00:00:00"));
}

void TfrmTrim::imgbtnPlayClick() {
    player_.Resume();
    w_.imgbtnPlay->setEnabled(false);
    w_.imgbtnpause->setEnabled(true);
    w_.trcPreview->setEnabled(true);
}

void TfrmTrim::imgbtnpauseClick() {
    player_.Pause();
    w_.imgbtnpause->setEnabled(false);
    w_.imgbtnPlay->setEnabled(true);
}

// Only a release of the left button over the bar seeks; dragging and keys move the thumb.
void TfrmTrim::SeekBarReleased(int value, bool overBar) {
    if (overBar && w_.trcPreview->maximum() > 0) {
        player_.Seek(0, false, model_.BarTime(value, w_.trcPreview->maximum()));
    }
}

// ---- Range -----------------------------------------------------------------------------

void TfrmTrim::btnOk1Click() {
    if (model_.SetStart(player_.CurrentPosition())) {
        w_.edtStart->setText(Text(TimeText(model_.Start())));
        ShowSelection(w_.trcPreview->value(), w_.trcPreview->SelectionEnd());
    }
}

void TfrmTrim::btnOk2Click() {
    if (model_.SetEnd(player_.CurrentPosition())) {
        w_.edtEnd->setText(Text(TimeText(model_.End())));
        if (model_.HasRange()) {
            w_.edtTrimLength->setText(Text(TimeText(model_.Length())));
        }
        ShowSelection(w_.trcPreview->SelectionStart(), w_.trcPreview->value());
    }
}

void TfrmTrim::btnResetClick() {
    model_.Reset();
    w_.edtStart->setText(QStringLiteral("00:00:00"));
    w_.edtEnd->setText(Text(TimeText(model_.Duration())));
    w_.edtTrimLength->setText(Text(TimeText(model_.Duration())));
    ShowSelection(0, w_.trcPreview->maximum());
}

// ---- Ok, Cancel, closing ---------------------------------------------------------------

// A showing that could not open the row's source has no range of that row: Ok then leaves
// the row as it was.
void TfrmTrim::btnOkClick() {
    if (sourceOpened_ && row_ >= 0 && row_ < sources_.Count()) {
        const TTrimStored stored = model_.Store();
        sources_.EditRecord(row_, [&](TlvFilesRecord& record) {
            record.TrimStart = stored.TrimStart;
            record.TrimLength = stored.TrimLength;
        });
        if (stored.ListText) {
            const int column = sources_.Row(row_).Kind == TRowKind::DvdTitle
                                   ? static_cast<int>(dcTrimLength)
                                   : static_cast<int>(fcTrimmedLength);
            sources_.SetCellText(row_, column, *stored.ListText);
        }
    }
    accept();
}

void TfrmTrim::btnCancelClick() {
    reject();
}

// Ok, Cancel, Escape and the title bar all close through here.
void TfrmTrim::done(int result) {
    StopPlayer();
    QDialog::done(result);
}

void TfrmTrim::StopPlayer() {
    player_.Stop(true);
}

} // namespace tessaro
