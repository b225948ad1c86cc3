#include "FrmPreference.h"

#include "SnapshotFiles.h"
#include "core/AppPaths.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "core/IniFile.h"
#include "core/StoredFolder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tessaro {

namespace {

constexpr int DialogWidth = 480;
constexpr int DialogHeight = 390;

constexpr const char* QualityHint =
    "Use Compression Quality to set the compression quality of the \n"
    "JPEG image when writing out a snapshot jpeg image. Higher compression \n"
    "results in a poorer picture quality, but a smaller file size. \n"
    "\n"
    " The higher the Compression Quality value (up to a maximum of 100), \n"
    "the better the image quality, but the larger the file size. \n"
    "The lower the Compression Quality value (to a minimum of 1),\n"
    " the smaller the resulting file size, but at the expense of picture quality.";

QLabel* MakeLabel(const char* name, const char* text) {
    return Named(new QLabel(QString::fromUtf8(text)), name);
}

QCheckBox* MakeCheckBox(const char* name, const char* caption) {
    return Named(new QCheckBox(QString::fromUtf8(caption)), name);
}

// Puts widgets side by side into row of grid, one column each.
void AddRow(QGridLayout* grid, int row, std::initializer_list<QWidget*> widgets) {
    int column = 0;
    for (QWidget* widget : widgets) {
        grid->addWidget(widget, row, column++);
    }
}

QPushButton* MakeButton(const char* name, const char* caption) {
    auto* button = Named(new QPushButton(QString::fromUtf8(caption)), name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfrmPreference::TfrmPreference(std::string settingsPath, TFolderChooser chooseFolder,
                               QWidget* parent)
    : QDialog(parent), settingsPath_(std::move(settingsPath)),
      chooseFolder_(std::move(chooseFolder)) {
    setObjectName(QStringLiteral("frmPreference"));
    setWindowTitle(QStringLiteral("Preference"));
    setModal(true);
    BuildControls();
    ConnectControls();
}

void TfrmPreference::BuildControls() {
    c_.grpbx2 = Named(new QGroupBox(QStringLiteral("Snapshot")), "grpbx2");
    auto* snapshot = new QGridLayout(c_.grpbx2);

    c_.lbl1 = MakeLabel("lbl1", "Snapshot folder:");
    c_.edtSnapDirectory = Named(new QLineEdit, "edtSnapDirectory");
    c_.edtSnapDirectory->setReadOnly(true);
    c_.lbl1->setBuddy(c_.edtSnapDirectory);
    c_.btnBrows = MakeButton("btnBrows", "&Browse");
    c_.btnOpen = MakeButton("btnOpen", "&Open");
    snapshot->addWidget(c_.lbl1, 0, 0);
    snapshot->addWidget(c_.edtSnapDirectory, 0, 1, 1, 2);
    snapshot->addWidget(c_.btnBrows, 0, 3);
    snapshot->addWidget(c_.btnOpen, 0, 4);

    c_.lbl2 = MakeLabel("lbl2", "Snapshot size:");
    c_.ckSmallSize = MakeCheckBox("ckSmallSize", "Small Size");
    c_.ckFullSize = MakeCheckBox("ckFullSize", "Full Size");
    AddRow(snapshot, 1, {c_.lbl2, c_.ckSmallSize, c_.ckFullSize});
    c_.lbl3 = MakeLabel("lbl3", "Snapshot format:");
    c_.ckBmp = MakeCheckBox("ckBmp", "BMP");
    c_.ckJpg = MakeCheckBox("ckJpg", "JPG");
    AddRow(snapshot, 2, {c_.lbl3, c_.ckBmp, c_.ckJpg});

    c_.lbl4 = MakeLabel("lbl4", "Jpg Compression Quality:");
    c_.spedCmp = Named(new QSpinBox, "spedCmp");
    c_.spedCmp->setRange(1, 100);
    c_.spedCmp->setSingleStep(1);
    c_.spedCmp->setToolTip(QString::fromUtf8(QualityHint));
    // The value changes with the arrows and the arrow keys only, never by typing.
    if (auto* text = c_.spedCmp->findChild<QLineEdit*>()) {
        text->setReadOnly(true);
    }
    c_.lbl4->setBuddy(c_.spedCmp);
    c_.trcCmp = Named(new QSlider(Qt::Horizontal), "trcCmp");
    c_.trcCmp->setRange(1, 100);
    c_.trcCmp->setTickPosition(QSlider::TicksBelow);
    c_.trcCmp->setTickInterval(10);
    c_.trcCmp->setAccessibleName(QStringLiteral("Jpg Compression Quality"));
    c_.lbl5 = MakeLabel("lbl5", "(The higher the value, the better the image quality.)");
    snapshot->addWidget(c_.lbl4, 3, 0);
    snapshot->addWidget(c_.spedCmp, 3, 1);
    snapshot->addWidget(c_.trcCmp, 3, 2, 1, 3);
    snapshot->addWidget(c_.lbl5, 4, 0, 1, 5);

    c_.rdGrpPriority = Named(new QGroupBox(QStringLiteral("Work priority")), "rdGrpPriority");
    auto* priorities = new QHBoxLayout(c_.rdGrpPriority);
    c_.priorityItems = new QButtonGroup(this);
    int id = 0;
    for (const char* item : {"Idle", "Normal", "Lower", "Lowest"}) {
        auto* radio = new QRadioButton(QString::fromUtf8(item));
        radio->setObjectName(QStringLiteral("rdPriority%1").arg(id));
        c_.priorityItems->addButton(radio, id++);
        priorities->addWidget(radio);
    }

    c_.btnDefault = MakeButton("btnDefault", "&Default");
    c_.btnOk = MakeButton("btnOk", "&Ok");
    c_.btnCancel = MakeButton("btnCancel", "&Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(c_.btnDefault);
    buttons->addStretch();
    buttons->addWidget(c_.btnOk);
    buttons->addWidget(c_.btnCancel);

    auto* page = new QVBoxLayout(this);
    page->addWidget(c_.grpbx2);
    page->addWidget(c_.rdGrpPriority);
    page->addStretch();
    page->addLayout(buttons);
}

void TfrmPreference::ConnectControls() {
    connect(c_.btnOk, &QPushButton::clicked, this, Guarded([this] { btnOkClick(); }));
    connect(c_.btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(c_.btnDefault, &QPushButton::clicked, this, [this] { btnDefaultClick(); });
    connect(c_.btnBrows, &QPushButton::clicked, this, Guarded([this] { btnBrowsClick(); }));
    connect(c_.btnOpen, &QPushButton::clicked, this, Guarded([this] { btnOpenClick(); }));

    connect(c_.ckFullSize, &QCheckBox::clicked, this,
            [this] { KeepChoice(c_.ckFullSize, c_.ckSmallSize); });
    connect(c_.ckSmallSize, &QCheckBox::clicked, this,
            [this] { KeepChoice(c_.ckSmallSize, c_.ckFullSize); });
    connect(c_.ckBmp, &QCheckBox::clicked, this, [this] { KeepChoice(c_.ckBmp, c_.ckJpg); });
    connect(c_.ckJpg, &QCheckBox::clicked, this, [this] {
        KeepChoice(c_.ckJpg, c_.ckBmp);
        EnableQuality();
    });

    // Both quality controls show the same number.
    connect(c_.trcCmp, &QSlider::valueChanged, c_.spedCmp, &QSpinBox::setValue);
    connect(c_.spedCmp, &QSpinBox::valueChanged, c_.trcCmp, &QSlider::setValue);
}

void TfrmPreference::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfrmPreference::FormShow() {
    setFixedSize(DialogWidth, DialogHeight);
    QPalette light = c_.edtSnapDirectory->palette();
    light.setColor(QPalette::Base, light.color(QPalette::Midlight));
    c_.edtSnapDirectory->setPalette(light);
    Show(ReadPreferences(TIniFile(settingsPath_)));
}

void TfrmPreference::Show(const TPreferences& preferences) {
    c_.edtSnapDirectory->setText(QString::fromStdString(preferences.SnapFolder));
    c_.ckFullSize->setChecked(preferences.FullSize);
    c_.ckSmallSize->setChecked(preferences.SmallSize);
    c_.ckBmp->setChecked(preferences.Bmp);
    c_.ckJpg->setChecked(preferences.Jpg);
    EnableQuality();
    c_.spedCmp->setValue(preferences.JpegQuality);
    c_.priorityItems->button(preferences.Priority)->setChecked(true);
}

TPreferences TfrmPreference::Shown() const {
    TPreferences shown;
    shown.SnapFolder = c_.edtSnapDirectory->text().toStdString();
    shown.FullSize = c_.ckFullSize->isChecked();
    shown.SmallSize = c_.ckSmallSize->isChecked();
    shown.Bmp = c_.ckBmp->isChecked();
    shown.Jpg = c_.ckJpg->isChecked();
    shown.JpegQuality = c_.spedCmp->value();
    shown.Priority = c_.priorityItems->checkedId();
    return shown;
}

void TfrmPreference::EnableQuality() {
    const bool jpeg = c_.ckJpg->isChecked();
    c_.spedCmp->setEnabled(jpeg);
    c_.trcCmp->setEnabled(jpeg);
}

void TfrmPreference::KeepChoice(QCheckBox* clicked, QCheckBox* partner) {
    clicked->setChecked(KeepOneTicked(clicked->isChecked(), partner->isChecked()));
}

void TfrmPreference::btnOkClick() {
    TIniFile settings(settingsPath_);
    WritePreferences(settings, Shown());
    accept();
}

void TfrmPreference::btnCancelClick() {
    reject();
}

void TfrmPreference::btnDefaultClick() {
    Show(DefaultPreferences());
}

void TfrmPreference::btnBrowsClick() {
    const std::string chosen = chooseFolder_
                                   ? chooseFolder_(this, c_.edtSnapDirectory->text().toStdString())
                                   : std::string();
    if (chosen.empty() || chosen == c_.edtSnapDirectory->text().toStdString()) {
        return;
    }
    TIniFile(settingsPath_).WriteString("settings", SnapshotFolderKey, chosen);
    c_.edtSnapDirectory->setText(QString::fromStdString(chosen));
}

void TfrmPreference::btnOpenClick() {
    OpenStoredFolder(TIniFile(settingsPath_), SnapshotFolderKey,
                     c_.edtSnapDirectory->text().toStdString());
}

} // namespace tessaro
