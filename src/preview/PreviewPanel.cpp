#include "PreviewPanel.h"

#include "DVDPlugIn.h"
#include "PositionBar.h"
#include "Snapshot.h"
#include "VideoSurfaceWidget.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"
#include "core/StartState.h"
#include "dvdinput/DvdAddress.h"
#include "sources/SourceListModel.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace tessaro {

TPreviewPanel::TPreviewPanel(TSourceListModel& sources, TPreviewSetup setup, QWidget* parent)
    : QGroupBox(QStringLiteral("Preview"), parent), sources_(sources), setup_(std::move(setup)) {
    setObjectName(QStringLiteral("GroupBox1"));
    BuildControls();
    ConnectControls();
    player_.SetOnFileOpen([this](TCustomPlayer*, std::int64_t duration, int frameWidth,
                                 int frameHeight, int& screenWidth, int& screenHeight) {
        PlayerFileOpen(duration, frameWidth, frameHeight, screenWidth, screenHeight);
    });
    player_.SetOnPosition(
        [this](TCustomPlayer*, std::int64_t position) { PlayerPosition(position); });
    player_.SetOnState([this](TCustomPlayer*, TPlayState state) { PlayerState(state); });
    player_.SetAudioVolume(w_.trcVolume->value());
    player_.SetMute(w_.ckMute->isChecked());
    ShowControls();
}

TPreviewPanel::~TPreviewPanel() {
    player_.Stop(true);
}

void TPreviewPanel::BuildControls() {
    w_.pan1 = Named(new TVideoSurfaceWidget(this), "pan1");
    w_.pan1->setGeometry(4, 20, 243, 171);
    w_.pan1->setAccessibleName(QStringLiteral("Preview picture"));
    QPalette grey = w_.pan1->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    w_.pan1->setPalette(grey);

    w_.imgbtnPlay =
        MakeImageButton(this, "imgbtnPlay", QStyle::SP_MediaPlay, "play", QRect(4, 196, 26, 26));
    w_.imgbtnPAuse = MakeImageButton(this, "imgbtnPAuse", QStyle::SP_MediaPause, "pause",
                                     QRect(32, 196, 26, 26));
    w_.imgbtnStop =
        MakeImageButton(this, "imgbtnStop", QStyle::SP_MediaStop, "stop", QRect(60, 196, 26, 26));
    w_.imgbtnSnap = MakeImageButton(this, "imgbtnSnap", QStyle::SP_DialogSaveButton,
                                    "capture image", QRect(88, 196, 26, 26));
    w_.lblTime = Named(MakeLabel(this, "00:00:00", QRect(118, 198, 82, 22)), "lblTime");
    w_.lblTime->setAccessibleName(QStringLiteral("Position"));
    w_.lblPTS = Named(MakeLabel(this, "00:00:00", QRect(196, 198, 52, 22)), "lblPTS");
    w_.lblPTS->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    w_.lblPTS->setAccessibleName(QStringLiteral("Length"));

    w_.trcPreview = Named(new TPositionBar(this), "trcPreview");
    w_.trcPreview->setGeometry(4, 222, 193, 20);
    w_.trcPreview->setAccessibleName(QStringLiteral("Preview position"));
    w_.trcPreview->setFocusPolicy(Qt::StrongFocus);

    w_.lbl2 = Named(MakeLabel(this, "Volume:", QRect(4, 244, 50, 22)), "lbl2");
    w_.trcVolume = Named(new QSlider(Qt::Horizontal, this), "trcVolume");
    w_.trcVolume->setGeometry(54, 244, 128, 22);
    w_.trcVolume->setRange(0, MaxPlayerVolume);
    w_.lbl2->setBuddy(w_.trcVolume);
    w_.ckMute = Named(new QCheckBox(QStringLiteral("Mute"), this), "ckMute");
    w_.ckMute->setGeometry(188, 244, 60, 22);

    setTabOrder(w_.imgbtnPlay, w_.imgbtnPAuse);
    setTabOrder(w_.imgbtnPAuse, w_.imgbtnStop);
    setTabOrder(w_.imgbtnStop, w_.imgbtnSnap);
    setTabOrder(w_.imgbtnSnap, w_.trcPreview);
    setTabOrder(w_.trcPreview, w_.trcVolume);
    setTabOrder(w_.trcVolume, w_.ckMute);
}

void TPreviewPanel::ConnectControls() {
    connect(w_.imgbtnPlay, &QToolButton::clicked, this, Guarded([this] { imgbtnPlayClick(); }));
    connect(w_.imgbtnPAuse, &QToolButton::clicked, this, Guarded([this] { imgbtnPauseClick(); }));
    connect(w_.imgbtnStop, &QToolButton::clicked, this, Guarded([this] { imgbtnStopClick(); }));
    connect(w_.imgbtnSnap, &QToolButton::clicked, this, Guarded([this] { imgbtnSnapClick(); }));

    connect(w_.trcPreview, &TPositionBar::grabbed, this, [this] { model_.SetBarDragging(true); });
    connect(w_.trcPreview, &TPositionBar::valueChanged, this,
            [this](int value) { model_.SetBarPosition(value); });
    connect(w_.trcPreview, &TPositionBar::released, this,
            [this](int value, bool overBar) { PositionBarReleased(value, overBar); });

    // The player follows every change of the volume bar; the settings file keeps what the
    // user chose once a drag has ended (a click, the keyboard or the wheel end at once).
    connect(w_.trcVolume, &QSlider::valueChanged, this, Guarded([this](int value) {
                player_.SetAudioVolume(value);
                if (!w_.trcVolume->isSliderDown()) {
                    StoreVolume();
                }
            }));
    connect(w_.trcVolume, &QSlider::sliderReleased, this, Guarded([this] { StoreVolume(); }));
    connect(w_.ckMute, &QCheckBox::toggled, this, [this](bool on) { player_.SetMute(on); });
    connect(w_.ckMute, &QCheckBox::clicked, this,
            Guarded([this](bool checked) { ckMuteClick(checked); }));
}

void TPreviewPanel::ShowControls() {
    const TPreviewControls& c = model_.Controls();
    w_.imgbtnPlay->setEnabled(c.PlayEnabled);
    w_.imgbtnPAuse->setEnabled(c.PauseEnabled);
    w_.imgbtnStop->setEnabled(c.StopEnabled);
    w_.imgbtnSnap->setEnabled(c.SnapEnabled);
    w_.lblTime->setText(QString::fromStdString(c.TimeText));
    w_.lblPTS->setText(QString::fromStdString(c.LengthText));
    TPositionBar* bar = w_.trcPreview;
    bar->setEnabled(c.BarEnabled);
    bar->SetThumbVisible(c.ThumbVisible);
    if (!model_.BarDragging()) {
        const QSignalBlocker quiet(bar);
        bar->setRange(0, c.BarMaximum);
        bar->setValue(c.BarPosition);
    }
}

void TPreviewPanel::RestoreVolume(int volume, std::optional<bool> mute) {
    {
        const QSignalBlocker quiet(w_.trcVolume);
        w_.trcVolume->setValue(volume);
    }
    player_.SetAudioVolume(w_.trcVolume->value());
    if (mute) {
        w_.ckMute->setChecked(*mute);
    }
}

// ---- Buttons ---------------------------------------------------------------------------

void TPreviewPanel::imgbtnPlayClick() {
    if (model_.ResumeFromPause()) {
        ShowControls();
        if (player_.Paused()) {
            player_.Resume();
        }
        return;
    }
    if (!player_.LibrariesLoaded() && !player_.LoadLibraries(setup_.LibraryFolder)) {
        emit logLine(QString::fromStdString(player_.LastError()));
        return;
    }
    if (sources_.Empty()) {
        emit emptyListPlayed();
        return;
    }
    if (!sources_.HasCurrentRow()) {
        sources_.SetCurrent(0);
    }
    if (sources_.HasCurrentRow()) {
        OpenRow(sources_.Current());
    }
}

std::string TPreviewPanel::PrepareSource(int index) {
    const TSourceRow& row = sources_.Row(index);
    if (row.Kind == TRowKind::File) {
        return row.Record.SourceName;
    }
    const TlvFilesRecord& record = row.Record;
    TDVDParam param{};
    param.Title = record.TitleIndex;
    param.FromChapter = 0;
    param.ToChapter = record.TitleInfo.ChapterCount;
    param.AudioID = record.AudioID;
    param.SubtitleID = record.SubtitleID;
    param.AudioChannels = 2;
    param.Deinterlace = 0;
    DVDSetParam(param);
    return MakeDvdAddress(setup_.DvdFolder ? setup_.DvdFolder() : std::string());
}

void TPreviewPanel::OpenRow(int index) {
    const std::string source = PrepareSource(index);
    model_.BeginOpen();
    ShowControls();
    try {
        if (!player_.Open(source, w_.pan1, false)) {
            emit logLine(QString::fromStdString(player_.LastError()));
        }
    } catch (...) {
        model_.OpenReturned();
        ShowControls();
        throw;
    }
    model_.OpenReturned();
    ShowControls();
}

void TPreviewPanel::imgbtnPauseClick() {
    if (model_.Pause()) {
        player_.Pause();
        ShowControls();
    }
}

void TPreviewPanel::imgbtnStopClick() {
    if (!model_.Stop()) {
        return;
    }
    player_.Stop(true);
    ShowControls();
    w_.pan1->Clear();
}

void TPreviewPanel::StopWithoutWaiting() {
    player_.Stop(false);
    model_.Stop();
    ShowControls();
}

void TPreviewPanel::imgbtnSnapClick() {
    const TBitmap& frame = player_.CurrentFrame();
    if (frame.Width() <= 0) {
        return;
    }
    TIniFile settings(setup_.SettingsPath);
    const TSavedSnapshot saved = SaveSnapshot(
        settings, BitmapImage(frame), StretchedImage(frame, w_.pan1->width(), w_.pan1->height()));
    OpenWithDefaultHandler(saved.Folder);
}

// ---- Player events (main thread) -----------------------------------------------------

void TPreviewPanel::PlayerFileOpen(std::int64_t duration, int frameWidth, int frameHeight,
                                   int& screenWidth, int& screenHeight) {
    emit logLine(QString::fromStdString(player_.Probe().GetFileInfoText()));
    emit logLine(QString::asprintf("duration: %.2f, frame size: %dx%d", double(duration) / 1e6,
                                   frameWidth, frameHeight));
    screenWidth = w_.pan1->width();
    screenHeight = w_.pan1->height();
    model_.FileOpened(duration, w_.trcPreview->width());
    ShowControls();
}

void TPreviewPanel::PlayerPosition(std::int64_t position) {
    model_.PositionChanged(position);
    ShowControls();
}

void TPreviewPanel::PlayerState(TPlayState state) {
    if (state == psEnd && model_.Ended()) {
        player_.Seek(TMediaPlayer::SeekAnyFrame, false, 0);
        player_.Pause();
        ShowControls();
    }
}

// ---- Position bar, volume and mute ---------------------------------------------------

void TPreviewPanel::PositionBarReleased(int value, bool overBar) {
    model_.SetBarDragging(false);
    if (overBar) {
        model_.SetBarPosition(value);
        player_.Seek(0, false, model_.SeekTarget(value));
    }
}

void TPreviewPanel::StoreVolume() {
    TIniFile(setup_.SettingsPath).WriteInteger("settings", "volume", w_.trcVolume->value());
}

void TPreviewPanel::ckMuteClick(bool checked) {
    player_.SetMute(checked);
    TIniFile(setup_.SettingsPath).WriteInteger("settings", "mute", checked ? 1 : 0);
}

} // namespace tessaro
