#include "formatpanel/FormatPanel.h"

#include "core/DialogService.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "core/IniFile.h"
#include "formatpanel/FormatChooser.h"
#include "formatpanel/ParameterBoxDrawing.h"
#include "formats/RunChoices.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace tessaro {

namespace {

struct TBoxSpec {
    TParamBox box;
    const char* name;
    const char* caption;
    const char* accessibleName;
};

// Five labelled boxes per group in a two-column grid: (0,0) (0,1) (1,0) (1,1) (2,0).
constexpr TBoxSpec kVideoSpecs[] = {
    {pbVideoSize, "cmbVideoSize", "Frame Size:", "Video frame size"},
    {pbVideoEncoder, "cmbVideoEncoder", "Encoder:", "Video encoder"},
    {pbVideoBitRate, "cmbVideoBitRate", "BitRate (Kbps):", "Video bit rate (Kbps)"},
    {pbFrameRate, "cmbFrameRate", "FrameRate (Fps):", "Frame rate (Fps)"},
    {pbZoom, "cmbZoom", "Zoom:", "Zoom"},
};
constexpr TBoxSpec kAudioSpecs[] = {
    {pbSampleRate, "cmbSamplerate", "SampleRate (Hz):", "Audio sample rate (Hz)"},
    {pbAudioEncoder, "cmbAudioEncoder", "Encoder:", "Audio encoder"},
    {pbAudioBitRate, "cmbAudioBitRate", "BitRate (Kbps):", "Audio bit rate (Kbps)"},
    {pbChannel, "cmbChannel", "Channel:", "Audio channels"},
    {pbVolume, "cmbVolume", "Volume:", "Volume"},
};

QGroupBox* MakeGroup(QWidget* client, const char* name, const char* caption, QRect geometry,
                     const TBoxSpec (&specs)[5], std::array<QComboBox*, ParamBoxCount>& boxes) {
    auto* group = Named(new QGroupBox(QString::fromUtf8(caption), client), name);
    group->setGeometry(geometry);
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setVerticalSpacing(4);
    int index = 0;
    for (const TBoxSpec& spec : specs) {
        auto* box = Named(new QComboBox, spec.name);
        box->setAccessibleName(QString::fromUtf8(spec.accessibleName));
        box->setEditable(IsEditableBox(spec.box));
        if (box->isEditable()) {
            box->lineEdit()->setAccessibleName(QString::fromUtf8(spec.accessibleName));
        }
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMinimumContentsLength(4);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        UseParameterItemDrawing(box);
        auto* label = new QLabel(QString::fromUtf8(spec.caption));
        label->setBuddy(box);
        grid->addWidget(label, index / 2, (index % 2) * 2);
        grid->addWidget(box, index / 2, (index % 2) * 2 + 1);
        boxes[std::size_t(spec.box)] = box;
        ++index;
    }
    return group;
}

} // namespace

TFormatPanel::TFormatPanel(QWidget* client, std::string settingsPath, std::string formatPath,
                           QObject* parent)
    : QObject(parent), settingsPath_(settingsPath),
      parameters_(std::move(settingsPath), std::move(formatPath)) {
    BuildFormatBox(client);
    BuildBoxes(client);
}

void TFormatPanel::BuildFormatBox(QWidget* client) {
    QLabel* label = MakeLabel(client, "Output Format:", QRect(8, 276, 92, 24));
    w_.edt1 = Named(new QLineEdit(client), "edt1");
    w_.edt1->setGeometry(100, 276, 394, 24);
    w_.edt1->setReadOnly(true);
    w_.edt1->setTextMargins(4, 2, 0, 0);
    w_.edt1->setAccessibleDescription(QStringLiteral("Press Space to choose the output format"));
    label->setBuddy(w_.edt1);
    w_.edt1->installEventFilter(this);

    w_.imgbtn1 = MakeImageButton(client, "imgbtn1", QStyle::SP_ArrowDown,
                                 "Choose the output format", QRect(494, 276, 24, 24));
    connect(w_.imgbtn1, &QToolButton::clicked, this, Guarded([this] { ToggleChooser(true); }));

    popup_ = new TFormatChooserPopup(chooser_, client);
    popup_->SetPassThrough({w_.edt1, w_.imgbtn1});
    w_.lst1 = popup_->List();
    connect(w_.lst1, &TFormatChooserList::formatChosen, this,
            Guarded([this](int row) { ChooseFormat(row); }));
    connect(w_.edt1, &QLineEdit::textChanged, this, Guarded([this] { LoadBoxes(); }));
}

void TFormatPanel::BuildBoxes(QWidget* client) {
    w_.grpVideo = MakeGroup(client, "grpVideo", "Video Options", QRect(8, 306, 384, 118),
                            kVideoSpecs, w_.boxes);
    w_.grpAudio = MakeGroup(client, "grpAudio", "Audio Options", QRect(398, 306, 380, 118),
                            kAudioSpecs, w_.boxes);
    for (int index = 0; index < ParamBoxCount; ++index) {
        const auto box = TParamBox(index);
        QComboBox* combo = w_.boxes[std::size_t(index)];
        connect(combo, &QComboBox::activated, this, Guarded([this, box](int position) {
                    if (!showing_) {
                        React(parameters_.Choose(box, position));
                    }
                }));
        if (combo->isEditable()) {
            connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                    Guarded([this, box](const QString& text) {
                        React(parameters_.Type(box, text.toStdString()));
                    }));
            combo->installEventFilter(this);
        }
    }
    w_.btnDefault = MakeButton(client, "btnDefault", "Default", QRect(598, 432, 80, 26));
    w_.btnDefault->setToolTip(QStringLiteral("Restore the format's default values"));
    connect(w_.btnDefault, &QPushButton::clicked, this,
            Guarded([this] { React(parameters_.RestoreDefaults()); }));
}

void TFormatPanel::Fill() {
    const TIniFile settings(settingsPath_);
    chooser_.Fill(settings);
    code_ = StoredFormatCode(settings);
    SetFormatBoxText(chooser_.FormatBoxText());
    LoadBoxes();
}

void TFormatPanel::SetFormatBoxText(const std::string& text) {
    w_.edt1->setText(QString::fromStdString(text));
    w_.edt1->setCursorPosition(0);
}

// Runs whenever the format box's text changes.
void TFormatPanel::LoadBoxes() {
    parameters_.Load(code_);
    ShowBoxes();
}

void TFormatPanel::ShowBoxes() {
    showing_ = true;
    for (int index = 0; index < ParamBoxCount; ++index) {
        const TParamBoxState& state = parameters_.Box(TParamBox(index));
        QComboBox* combo = w_.boxes[std::size_t(index)];
        const QSignalBlocker blocker(combo);
        combo->clear();
        for (const std::string& entry : state.Entries) {
            combo->addItem(QString::fromStdString(entry));
        }
        combo->setCurrentIndex(state.Position);
        if (combo->isEditable()) {
            combo->setEditText(QString::fromStdString(state.Text));
        }
        combo->setMaxVisibleItems(std::max(1, int(state.Entries.size())));
        combo->setEnabled(state.Enabled);
    }
    showing_ = false;
}

void TFormatPanel::React(const TPanelReaction& reaction) {
    QWidget* window = w_.edt1->window();
    for (TMessageRequest message : reaction.Messages) {
        if (message.caption.empty()) {
            message.caption = QApplication::applicationDisplayName().toStdString();
        }
        Dialogs().ShowMessage(window, message);
    }
    if (reaction.BoxesChanged) {
        ShowBoxes();
    }
}

void TFormatPanel::CommitFrameSize() {
    React(parameters_.LeaveVideoSize());
}

void TFormatPanel::StoreGroupStates() {
    TIniFile settings(settingsPath_);
    chooser_.StoreGroupStates(settings);
}

bool TFormatPanel::ChooserOpen() const {
    return popup_->isVisible();
}

void TFormatPanel::ToggleChooser(bool fromDropButton) {
    if (ChooserOpen()) {
        popup_->close();
        return;
    }
    chooser_.ShowStoredFormat(TIniFile(settingsPath_));
    if (fromDropButton) {
        SetFormatBoxText(chooser_.FormatBoxText());
    }
    popup_->OpenAbove(w_.edt1, w_.imgbtn1->geometry().right() - w_.edt1->x() + 1);
    if (!fromDropButton && chooser_.SelectedRow() >= 0) {
        const QRect row = w_.lst1->visualItemRect(w_.lst1->item(chooser_.SelectedRow()));
        QCursor::setPos(w_.lst1->viewport()->mapToGlobal(row.center()));
    }
}

void TFormatPanel::ChooseFormat(int row) {
    TIniFile settings(settingsPath_);
    if (!chooser_.StoreChosenFormat(row, settings)) {
        return;
    }
    const TChooserRow chosen = chooser_.Rows()[std::size_t(row)];
    code_ = chosen.Info.Code;
    popup_->close();
    SetFormatBoxText(chosen.Text);
    emit formatChosen(QString::fromStdString(chosen.Text), chosen.Info.Code);
}

int TFormatPanel::BoxOf(QObject* watched) const {
    for (int index = 0; index < ParamBoxCount; ++index) {
        QComboBox* combo = w_.boxes[std::size_t(index)];
        if (watched == combo) {
            return index;
        }
    }
    return -1;
}

// Keys typed into the number boxes and the frame size box: refused keys beep.
bool TFormatPanel::FilterKey(TParamBox box, QEvent* event) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    const bool backspace = key->key() == Qt::Key_Backspace;
    if (!backspace && (text.size() != 1 || text.at(0) < QLatin1Char(' '))) {
        return false;
    }
    bool showHint = false;
    const char typed = backspace ? '\b' : text.at(0).toLatin1();
    const std::string shown = w_.boxes[std::size_t(box)]->currentText().toStdString();
    if (TParameterPanelModel::AcceptsKey(box, shown, typed, showHint)) {
        return false;
    }
    if (showHint) {
        React(TPanelReaction{{TParameterPanelModel::NumbersOnlyHint()}, false});
    }
    QApplication::beep();
    return true;
}

bool TFormatPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w_.edt1) {
        const bool press = event->type() == QEvent::MouseButtonPress;
        // Only a key press is a QKeyEvent: the cast waits for the type check.
        const auto* key =
            event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        const bool openKey =
            key != nullptr && (key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
                               key->key() == Qt::Key_Enter ||
                               (key->key() == Qt::Key_Down && key->modifiers() & Qt::AltModifier));
        if (press || openKey) {
            Guarded([this] { ToggleChooser(false); })();
            return openKey;
        }
        return false;
    }
    const int box = BoxOf(watched);
    if (box < 0) {
        return false;
    }
    // An editable combo box has the focus itself and hands typed keys to its line edit.
    if (event->type() == QEvent::KeyPress) {
        return FilterKey(TParamBox(box), event);
    }
    if (event->type() == QEvent::FocusOut && box == pbVideoSize) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            Guarded([this] { CommitFrameSize(); })();
        }
    }
    return false;
}

} // namespace tessaro
