#include "shell/FrmMain.h"

#include "HelpMenu.h"
#include "ThemeManager.h"
#include "WebLinks.h"
#include "runtime/LibraryLoader.h"
#include "settings/DefaultSettings.h"
#include "settings/IniFile.h"
#include "shell/Application.h"
#include "shell/DialogService.h"
#include "shell/StartState.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>

namespace tessaro {

namespace {

constexpr int ToolbarTop = 4;
constexpr int ToolbarButtonHeight = 30;

template <typename Widget> Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = Named(new QPushButton(QString::fromUtf8(caption), parent), name);
    button->setGeometry(geometry);
    return button;
}

QToolButton* MakeImageButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                             const char* hint, QRect geometry) {
    auto* button = Named(new QToolButton(parent), name);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(QString::fromUtf8(hint));
    button->setAutoRaise(true);
    button->setGeometry(geometry);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(geometry);
    return label;
}

QAction* MakeItem(QMenu* menu, const char* name, const char* caption) {
    return Named(menu->addAction(QString::fromUtf8(caption)), name);
}

// A labelled combo box in a two-column grid of a parameter group.
QComboBox* AddParameterBox(QGridLayout* grid, int row, int column, const char* name,
                           const char* caption, bool editable) {
    auto* box = Named(new QComboBox, name);
    box->setEditable(editable);
    box->setMinimumContentsLength(4);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    grid->addWidget(new QLabel(QString::fromUtf8(caption)), row, column * 2);
    grid->addWidget(box, row, column * 2 + 1);
    return box;
}

} // namespace

TfrmMain::TfrmMain(const TAppLocation& location, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    auto* client = Named(new QWidget(this), "clientArea");
    setCentralWidget(client);
    BuildMenus();
    BuildToolbar(client);
    BuildSourceList(client);
    BuildDvdGroup(client);
    BuildPreviewGroup(client);
    BuildFormatPanel(client);
    BuildOutputFolderRow(client);
    FormCreate(location);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::BuildMenus() {
    c_.mnuFile = Named(menuBar()->addMenu(QStringLiteral("&File")), "File1");
    c_.Add1 = MakeItem(c_.mnuFile, "Add1", "&Add");
    c_.Remove1 = MakeItem(c_.mnuFile, "Remove1", "&Remove");
    c_.Clear1 = MakeItem(c_.mnuFile, "Clear1", "&Clear");
    c_.Start1 = MakeItem(c_.mnuFile, "Start1", "&Start");
    c_.mnuFile->addSeparator();
    c_.Exit1 = MakeItem(c_.mnuFile, "Exit1", "&Exit");
    connect(c_.Exit1, &QAction::triggered, this, &QWidget::close);

    c_.mnuEdit = Named(menuBar()->addMenu(QStringLiteral("&Edit")), "Edit1");
    c_.Crop1 = MakeItem(c_.mnuEdit, "Crop1", "&Crop");
    c_.Trim1 = MakeItem(c_.mnuEdit, "Trim1", "&Trim");
    c_.VideoEffect1 = MakeItem(c_.mnuEdit, "VideoEffect1", "&Video Effect && Water Mark");
    c_.mnuEdit->addSeparator();
    c_.CheckAll1 = MakeItem(c_.mnuEdit, "CheckAll1", "&Check All");
    c_.UncheckAll1 = MakeItem(c_.mnuEdit, "UncheckAll1", "&Uncheck All");
    c_.ReverseCheck1 = MakeItem(c_.mnuEdit, "ReverseCheck1", "&Reverse Check");
    c_.mnuEdit->addSeparator();
    c_.Check1 = MakeItem(c_.mnuEdit, "Check1", "C&heck");
    c_.Uncheck1 = MakeItem(c_.mnuEdit, "Uncheck1", "U&ncheck");

    c_.mnuTools = Named(menuBar()->addMenu(QStringLiteral("&Tools")), "Tools1");
    c_.Options1 = MakeItem(c_.mnuTools, "Options1", "&Preference");

    c_.mnuOptions = Named(menuBar()->addMenu(QStringLiteral("&Options")), "Option1");
    c_.Skin1 = Named(c_.mnuOptions->addMenu(QStringLiteral("&Skin")), "Skin1");

    c_.mnuHelp = Named(menuBar()->addMenu(QStringLiteral("&Help")), "Help1");

    // The drive menu of the "&Add DVD" button. Its "Add DVD Driver" submenu receives
    // one item per optical drive, the DVD folder and DVD image items from the DVD unit.
    c_.PopupMenuAddDVD = Named(new QMenu(this), "PopupMenuAddDVD");
    c_.AddDVDDriver1 =
        Named(c_.PopupMenuAddDVD->addMenu(QStringLiteral("Add DVD Driver")), "AddDVDDriver1");
    c_.AddIFOFile1 = MakeItem(c_.PopupMenuAddDVD, "AddIFOFile1", "Add IFO Files");
    c_.AddIFOFile1->setVisible(false);
}

void TfrmMain::BuildToolbar(QWidget* client) {
    struct TButtonSpec {
        QPushButton** field;
        const char* name;
        const char* caption;
    };
    const TButtonSpec buttons[] = {
        {&c_.BtnAddDVD, "BtnAddDVD", "&Add DVD"}, {&c_.BtnAdd, "BtnAdd", "Add"},
        {&c_.BtnRemove, "BtnRemove", "Remove"},   {&c_.BtnClear, "BtnClear", "&Clear"},
        {&c_.BtnEdit, "BtnEdit", "&Edit"},        {&c_.btnDVDStart, "btnDVDStart", "&Start"},
        {&c_.BtnStart, "BtnStart", "Start"},      {&c_.BtnExit, "BtnExit", "Exit"},
    };
    int left = 8;
    for (const TButtonSpec& spec : buttons) {
        *spec.field =
            MakeButton(client, spec.name, spec.caption, QRect(left, 0, 88, ToolbarButtonHeight));
        left += 96;
    }
    c_.BtnAdd->setToolTip(QStringLiteral("Add media files"));
    c_.BtnStart->setToolTip(QStringLiteral("Convert the checked files"));
    c_.btnDVDStart->setToolTip(QStringLiteral("Convert the checked DVD titles"));
    connect(c_.BtnExit, &QPushButton::clicked, this, &QWidget::close);
    connect(c_.BtnAddDVD, &QPushButton::clicked, this, [this] {
        c_.PopupMenuAddDVD->popup(c_.BtnAddDVD->mapToGlobal(c_.BtnAddDVD->rect().bottomLeft()));
    });
}

void TfrmMain::BuildSourceList(QWidget* client) {
    c_.lvFiles = Named(new QTreeWidget(client), "lvFiles");
    c_.lvFiles->setGeometry(8, 40, 510, 170);
    c_.lvFiles->setRootIsDecorated(false);
    c_.lvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    c_.lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    c_.lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c_.lvFiles->setSortingEnabled(false);
    c_.lvFiles->header()->setStretchLastSection(false);
    c_.lvFiles->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TfrmMain::BuildDvdGroup(QWidget* client) {
    c_.GroupBox3 = Named(new QGroupBox(client), "GroupBox3");
    c_.GroupBox3->setGeometry(8, 214, 510, 56);
    QWidget* g = c_.GroupBox3;
    MakeLabel(g, "Audio:", QRect(8, 22, 38, 24));
    c_.cmbAudioLanguage = Named(new QComboBox(g), "cmbAudioLanguage");
    c_.cmbAudioLanguage->setGeometry(46, 22, 84, 24);
    MakeLabel(g, "Subtitle:", QRect(136, 22, 50, 24));
    c_.cmbSubtitle = Named(new QComboBox(g), "cmbSubtitle");
    c_.cmbSubtitle->setGeometry(186, 22, 84, 24);
    MakeLabel(g, "Rip Chapter from: ", QRect(278, 22, 114, 24));
    c_.edtFrom = Named(new QLineEdit(g), "edtFrom");
    c_.edtFrom->setGeometry(392, 22, 30, 24);
    c_.edtFrom->setEnabled(false);
    c_.btnUp = MakeImageButton(g, "btnUp", QStyle::SP_ArrowUp, "", QRect(423, 22, 14, 12));
    c_.btnDown = MakeImageButton(g, "btnDown", QStyle::SP_ArrowDown, "", QRect(423, 34, 14, 12));
    MakeLabel(g, "to", QRect(444, 22, 16, 24));
    c_.edtTo = Named(new QLineEdit(g), "edtTo");
    c_.edtTo->setGeometry(460, 22, 30, 24);
    c_.edtTo->setEnabled(false);
    c_.btnUp1 = MakeImageButton(g, "btnUp1", QStyle::SP_ArrowUp, "", QRect(492, 22, 14, 12));
    c_.btnDown1 = MakeImageButton(g, "btnDown1", QStyle::SP_ArrowDown, "", QRect(492, 34, 14, 12));
    for (QToolButton* arrow : {c_.btnUp, c_.btnDown, c_.btnUp1, c_.btnDown1}) {
        arrow->setAutoRepeat(true);
        arrow->setAutoRepeatInterval(100);
        arrow->setIconSize(QSize(10, 8));
    }
}

void TfrmMain::BuildPreviewGroup(QWidget* client) {
    c_.GroupBox1 = Named(new QGroupBox(QStringLiteral("Preview"), client), "GroupBox1");
    c_.GroupBox1->setGeometry(526, 36, 252, 270);
    QWidget* g = c_.GroupBox1;
    c_.pan1 = Named(new QWidget(g), "pan1");
    c_.pan1->setGeometry(4, 20, 243, 171);
    c_.pan1->setAutoFillBackground(true);
    QPalette grey = c_.pan1->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    c_.pan1->setPalette(grey);

    c_.imgbtnPlay =
        MakeImageButton(g, "imgbtnPlay", QStyle::SP_MediaPlay, "play", QRect(4, 196, 26, 26));
    c_.imgbtnPAuse =
        MakeImageButton(g, "imgbtnPAuse", QStyle::SP_MediaPause, "pause", QRect(32, 196, 26, 26));
    c_.imgbtnStop =
        MakeImageButton(g, "imgbtnStop", QStyle::SP_MediaStop, "stop", QRect(60, 196, 26, 26));
    c_.imgbtnSnap = MakeImageButton(g, "imgbtnSnap", QStyle::SP_DialogSaveButton, "capture image",
                                    QRect(88, 196, 26, 26));
    c_.lblTime = Named(MakeLabel(g, "00:00:00", QRect(122, 198, 60, 22)), "lblTime");
    c_.lblPTS = Named(MakeLabel(g, "00:00:00", QRect(186, 198, 60, 22)), "lblPTS");
    c_.lblPTS->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    c_.trcPreview = Named(new QSlider(Qt::Horizontal, g), "trcPreview");
    c_.trcPreview->setGeometry(4, 222, 193, 20);
    c_.trcPreview->setTickPosition(QSlider::NoTicks);

    c_.lbl2 = Named(MakeLabel(g, "Volume:", QRect(4, 244, 50, 22)), "lbl2");
    c_.trcVolume = Named(new QSlider(Qt::Horizontal, g), "trcVolume");
    c_.trcVolume->setGeometry(54, 244, 128, 22);
    c_.ckMute = Named(new QCheckBox(QStringLiteral("Mute"), g), "ckMute");
    c_.ckMute->setGeometry(188, 244, 60, 22);

    c_.imgPreview = Named(new QLabel(g), "imgPreview");
    c_.imgPreview->setVisible(false);
}

void TfrmMain::BuildFormatPanel(QWidget* client) {
    MakeLabel(client, "Output Format:", QRect(8, 276, 92, 24));
    c_.edt1 = Named(new QLineEdit(client), "edt1");
    c_.edt1->setGeometry(100, 276, 394, 24);
    c_.edt1->setReadOnly(true);
    c_.imgbtn1 =
        MakeImageButton(client, "imgbtn1", QStyle::SP_ArrowDown, "", QRect(494, 276, 24, 24));
    c_.lst1 = Named(new QListWidget(client), "lst1");
    c_.lst1->setVisible(false);

    struct TBoxSpec {
        QComboBox** field;
        const char* name;
        const char* caption;
        bool editable;
    };
    // Five labelled boxes in a two-column grid: (0,0) (0,1) (1,0) (1,1) (2,0).
    auto fillGroup = [](QGroupBox* group, std::initializer_list<TBoxSpec> boxes) {
        auto* grid = new QGridLayout(group);
        grid->setContentsMargins(6, 6, 6, 6);
        grid->setVerticalSpacing(4);
        int index = 0;
        for (const TBoxSpec& box : boxes) {
            *box.field =
                AddParameterBox(grid, index / 2, index % 2, box.name, box.caption, box.editable);
            ++index;
        }
    };
    c_.grpVideo = Named(new QGroupBox(QStringLiteral("Video Options"), client), "grpVideo");
    c_.grpVideo->setGeometry(8, 306, 384, 118);
    fillGroup(c_.grpVideo, {{&c_.cmbVideoSize, "cmbVideoSize", "Frame Size:", true},
                            {&c_.cmbVideoEncoder, "cmbVideoEncoder", "Encoder:", false},
                            {&c_.cmbVideoBitRate, "cmbVideoBitRate", "BitRate (Kbps):", true},
                            {&c_.cmbFrameRate, "cmbFrameRate", "FrameRate (Fps):", false},
                            {&c_.cmbZoom, "cmbZoom", "Zoom:", false}});
    c_.grpAudio = Named(new QGroupBox(QStringLiteral("Audio Options"), client), "grpAudio");
    c_.grpAudio->setGeometry(398, 306, 380, 118);
    fillGroup(c_.grpAudio, {{&c_.cmbSamplerate, "cmbSamplerate", "SampleRate (Hz):", true},
                            {&c_.cmbAudioEncoder, "cmbAudioEncoder", "Encoder:", false},
                            {&c_.cmbAudioBitRate, "cmbAudioBitRate", "BitRate (Kbps):", true},
                            {&c_.cmbChannel, "cmbChannel", "Channel:", false},
                            {&c_.cmbVolume, "cmbVolume", "Volume:", false}});
}

void TfrmMain::BuildOutputFolderRow(QWidget* client) {
    MakeLabel(client, "Output Folder:", QRect(8, 432, 90, 26));
    c_.edDirectory = Named(new QLineEdit(client), "edDirectory");
    c_.edDirectory->setGeometry(100, 432, 328, 26);
    c_.edDirectory->setReadOnly(true);
    c_.btnBrows = MakeButton(client, "btnBrows", "Brows", QRect(434, 432, 60, 26));
    c_.btnOpen = MakeButton(client, "btnOpen", "Open", QRect(500, 432, 60, 26));
    c_.btnDefault = MakeButton(client, "btnDefault", "Default", QRect(598, 432, 80, 26));
    c_.btnStartBelow = MakeButton(client, "btnStartBelow", "&Start", QRect(684, 432, 94, 26));

    c_.mmoLog = Named(new QPlainTextEdit(client), "mmoLog");
    c_.mmoLog->setReadOnly(true);
    c_.mmoLog->setVisible(false);
}

void TfrmMain::FormCreate(const TAppLocation& location) {
    global_ = std::make_unique<TGlobalObject>();
    global_->SetSettingsPath(location.settingsPath);
    global_->SetFormatPath(location.formatPath);
    // A first start gets the shipped current values of every format before anything reads
    // the settings file.
    InstallDefaultSettings(global_->SettingsPath(), DefaultSettingsPath(global_->FormatPath()));
    global_->SetProductName("Tessaro");
    global_->SetVersionText(" ver 1.50 ");
    global_->SetHomeUrl(TessaroHomeUrl);
    global_->SetHelpUrl(TessaroHelpUrl);
    QApplication::setApplicationDisplayName(QString::fromStdString(global_->ProductName()));

    themes_ = std::make_unique<TThemeManager>(this);
    themes_->ApplyStoredTheme(global_->SettingsPath());
    skinMenu_ = new TSkinMenu(c_.Skin1, this, *themes_, global_->SettingsPath());
    helpMenu_ = new THelpMenu(c_.mnuHelp, this);

    if (TApplication* app = Application()) {
        app->InstallExceptionHandler();
    }
    LoadPlayerLibraries(location.exeDir);
}

void TfrmMain::LoadPlayerLibraries(const std::string& exeDir) {
    TLibraryLoader& loader = TLibraryLoader::Instance();
    if (loader.IsLibSetLoaded(PlayerLibraries)) {
        return;
    }
    loader.SetLibraryDir(LibraryFolder(exeDir));
    if (!loader.LoadLibSet(PlayerLibraries)) {
        c_.mmoLog->appendPlainText(QString::fromStdString(loader.LastErrorText()));
    }
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

// The window's outer size, frame included, is fixed; the frame is known only once
// the window is on screen.
void TfrmMain::FixOuterSize() {
    const QSize frame = frameGeometry().size() - geometry().size();
    setFixedSize(QSize(OuterWidth, OuterHeight) - frame);
}

void TfrmMain::FormShow() {
    FixOuterSize();

    c_.imgbtnPlay->setEnabled(true);
    c_.imgbtnPAuse->setEnabled(false);
    c_.imgbtnStop->setEnabled(false);
    c_.imgbtnSnap->setEnabled(false);
    c_.trcPreview->setEnabled(false);
    previewStopped_ = true;
    previewPaused_ = false;
    playAfterAdd_ = false;

    for (QPushButton* button : {c_.BtnAdd, c_.BtnRemove, c_.BtnClear, c_.BtnEdit, c_.BtnStart,
                                c_.BtnExit, c_.BtnAddDVD, c_.btnDVDStart}) {
        button->move(button->x(), ToolbarTop);
    }

    previewFrame_ = std::make_unique<TBitmap>();

    const TMainWindowStartState start = ReadMainWindowStartState(TIniFile(global_->SettingsPath()));
    c_.edDirectory->setText(QString::fromStdString(start.outputDir));
    currentFormatCode_ = start.formatCode;
    currentFormatName_ = start.formatName;

    c_.edt1->setTextMargins(4, 2, 0, 0);

    c_.trcVolume->setRange(0, MaxPlayerVolume);
    c_.trcVolume->setValue(start.volume);
    if (start.mute) {
        c_.ckMute->setChecked(*start.mute);
    }

    c_.lvFiles->clear();
    c_.lvFiles->setHeaderLabels({QStringLiteral("Source"), QStringLiteral("Length"),
                                 QStringLiteral("Trimmed Length"),
                                 QStringLiteral("Destination File"), QStringLiteral("Progress")});
    const int widths[] = {140, 65, 90, 120, 60};
    for (int column = 0; column < 5; ++column) {
        c_.lvFiles->setColumnWidth(column, widths[column]);
    }

    global_->SetVersionText(TGlobalObject::FileVersionText());
    setWindowTitle(QString::fromStdString(global_->ProductName() + global_->VersionText()));

    c_.cmbAudioLanguage->setEnabled(false);
    c_.cmbSubtitle->setEnabled(false);
    dvdFolder_.clear();

    closingForUpgrade_ = false;
}

bool TfrmMain::FormCloseQuery() {
    if (!closingForUpgrade_) {
        const TMessageResult answer = Dialogs().ShowMessage(
            this, TMessageRequest{"Warning", "Do you really want to exit?", TMessageIcon::Question,
                                  TMessageButtons::YesNo});
        if (answer != TMessageResult::Yes) {
            return false;
        }
    }
    previewFrame_.reset();
    taskRows_.clear();
    global_.reset();
    return true;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (global_ == nullptr || FormCloseQuery()) {
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace tessaro
