#include "window/FrmMain.h"

#include "FrmPreference.h"
#include "HelpMenu.h"
#include "PositionBar.h"
#include "PreviewPanel.h"
#include "ThemeManager.h"
#include "VersionNotice.h"
#include "VideoSurfaceWidget.h"
#include "WebLinks.h"
#include "core/DefaultSettings.h"
#include "core/DialogService.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "core/IniFile.h"
#include "core/StartState.h"
#include "crop/FrmCrop.h"
#include "dvd/DvdPanel.h"
#include "formatpanel/FormatChooser.h"
#include "formatpanel/FormatPanel.h"
#include "run/RunController.h"
#include "runtime/LibraryLoader.h"
#include "sources/SourceFiles.h"
#include "sources/SourceListPanel.h"
#include "sources/SourceListView.h"
#include "trim/FrmTrim.h"
#include "watermark/FrmWatermark.h"
#include "window/Application.h"
#include "window/FmDirectory.h"
#include "window/OutputFolderRow.h"
#include "window/QtMainThreadDispatcher.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>

namespace tessaro {

namespace {

constexpr int ToolbarTop = 4;
constexpr int ToolbarButtonHeight = 30;

} // namespace

TfrmMain::TfrmMain(const TAppLocation& location, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    auto* client = Named(new QWidget(this), "clientArea");
    setCentralWidget(client);
    BuildMenus();
    BuildToolbar(client);
    BuildPanels(client, location);
    BuildPreviewGroup(client, location);
    FormCreate(location);
    ConnectPanels();
    BuildRun(location);
    ConnectPreview();
    SetTabOrder();
}

// The panels follow the source list, a member: they go first.
TfrmMain::~TfrmMain() {
    // The run stops its converter while the list and the dispatcher are still there.
    delete run_;
    delete centralWidget();
    delete dvd_;
    delete sources_;
}

const std::string& TfrmMain::DvdFolder() const {
    return dvd_->Folder();
}

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
    c_.BtnStart->setToolTip(QStringLiteral("Convert the checked rows"));
    c_.btnDVDStart->setToolTip(QStringLiteral("Convert the checked rows"));
    connect(c_.BtnExit, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmMain::BuildPanels(QWidget* client, const TAppLocation& location) {
    sources_ = new TSourceListPanel(
        client, sourceList_, {location.exeDir, location.settingsPath, location.formatPath},
        [this] { return RowStripeColor(themes_ != nullptr ? themes_->ActiveTheme() : 0); }, this);
    c_.lvFiles = sources_->View();
    c_.PopupMenuFiles = sources_->ContextMenu();

    formats_ = new TFormatPanel(client, location.settingsPath, location.formatPath, this);
    const TFormatPanelWidgets& f = formats_->Widgets();
    c_.edt1 = f.edt1;
    c_.imgbtn1 = f.imgbtn1;
    c_.lst1 = f.lst1;
    c_.grpVideo = f.grpVideo;
    c_.grpAudio = f.grpAudio;
    c_.cmbVideoSize = f.boxes[pbVideoSize];
    c_.cmbVideoEncoder = f.boxes[pbVideoEncoder];
    c_.cmbVideoBitRate = f.boxes[pbVideoBitRate];
    c_.cmbFrameRate = f.boxes[pbFrameRate];
    c_.cmbZoom = f.boxes[pbZoom];
    c_.cmbSamplerate = f.boxes[pbSampleRate];
    c_.cmbAudioEncoder = f.boxes[pbAudioEncoder];
    c_.cmbChannel = f.boxes[pbChannel];
    c_.cmbAudioBitRate = f.boxes[pbAudioBitRate];
    c_.cmbVolume = f.boxes[pbVolume];
    c_.btnDefault = f.btnDefault;

    dvd_ = new TDvdPanel(this, client, sourceList_, *sources_, LibraryFolder(location.exeDir));
    const TDvdPanelWidgets& d = dvd_->Widgets();
    c_.PopupMenuAddDVD = d.PopupMenuAddDVD;
    c_.AddDVDDriver1 = d.AddDVDDriver1;
    c_.OpenDVDFolder1 = d.OpenDVDFolder1;
    c_.OpenDVDImage1 = d.OpenDVDImage1;
    c_.GroupBox3 = d.GroupBox3;
    c_.cmbAudioLanguage = d.cmbAudioLanguage;
    c_.cmbSubtitle = d.cmbSubtitle;
    c_.edtFrom = d.edtFrom;
    c_.edtTo = d.edtTo;
    c_.btnUp = d.btnUp;
    c_.btnDown = d.btnDown;
    c_.btnUp1 = d.btnUp1;
    c_.btnDown1 = d.btnDown1;

    outputFolder_ = new TOutputFolderRow(client, location.settingsPath, this);
    c_.edDirectory = outputFolder_->Box();
    c_.btnBrows = outputFolder_->BrowseButton();
    c_.btnOpen = outputFolder_->OpenButton();

    c_.btnStartBelow = MakeButton(client, "btnStartBelow", "&Start", QRect(684, 432, 94, 26));
    c_.btnStartBelow->setToolTip(QStringLiteral("Convert the checked rows"));
    c_.mmoLog = Named(new QPlainTextEdit(client), "mmoLog");
    c_.mmoLog->setReadOnly(true);
    c_.mmoLog->setVisible(false);
}

void TfrmMain::ConnectPanels() {
    c_.Add1->setShortcut(QKeySequence::Open);
    sources_->Connect({c_.Add1,
                       c_.Remove1,
                       c_.Clear1,
                       c_.CheckAll1,
                       c_.UncheckAll1,
                       c_.ReverseCheck1,
                       c_.Check1,
                       c_.Uncheck1,
                       c_.mnuEdit,
                       {c_.Crop1, c_.Trim1, c_.VideoEffect1}});
    connect(c_.BtnAdd, &QPushButton::clicked, c_.Add1, &QAction::trigger);
    connect(c_.BtnRemove, &QPushButton::clicked, c_.Remove1, &QAction::trigger);
    connect(c_.BtnClear, &QPushButton::clicked, c_.Clear1, &QAction::trigger);
    dvd_->Connect(c_.BtnAddDVD);
    connect(c_.BtnEdit, &QPushButton::clicked, this, [this] {
        sources_->PopupContextMenu(c_.BtnEdit->mapToGlobal(c_.BtnEdit->rect().bottomLeft()));
    });
    connect(sources_, &TSourceListPanel::currentRowChanged, this, &TfrmMain::currentRowChanged);
    for (QAction* item : {c_.Trim1, sources_->ContextItem("Trim2")}) {
        connect(item, &QAction::triggered, this, Guarded([this] { Trim1Click(); }));
    }
    for (QAction* item : {c_.VideoEffect1, sources_->ContextItem("VideoEffect2")}) {
        connect(item, &QAction::triggered, this, Guarded([this] { WaterMark1Click(); }));
    }
    for (QAction* item : {c_.Crop1, sources_->ContextItem("Crop2")}) {
        connect(item, &QAction::triggered, this, Guarded([this] { Crop1Click(); }));
    }
    connect(formats_, &TFormatPanel::formatChosen, this,
            Guarded([this](const QString& name, int code) {
                currentFormatName_ = name.toStdString();
                currentFormatCode_ = std::to_string(code);
                RefreshDestinations();
            }));
    connect(outputFolder_, &TOutputFolderRow::folderChanged, this,
            Guarded([this] { RefreshDestinations(); }));
}

// Every Start control runs the one conversion run; it converts each checked row by its kind.
void TfrmMain::BuildRun(const TAppLocation& location) {
    TRunHost host;
    host.Window = this;
    host.List = &sourceList_;
    host.Setup = [this, libraryFolder = LibraryFolder(location.exeDir)] {
        return TRunSetup{global_->SettingsPath(), global_->FormatPath(), libraryFolder,
                         DvdFolder()};
    };
    host.PreviewFrame = [this] { return previewFrame_.get(); };
    host.OpenOutputFolder = [this] { outputFolder_->Open(); };
    run_ = new TRunController(std::move(host), this);
    // A frame size typed and not yet confirmed counts for the run.
    connect(run_, &TRunController::starting, formats_, &TFormatPanel::CommitFrameSize);
    for (QAction* start : {c_.Start1, sources_->ContextItem("Start2")}) {
        connect(start, &QAction::triggered, this, Guarded([this] { run_->Start(); }));
    }
    for (QPushButton* start : {c_.BtnStart, c_.btnDVDStart, c_.btnStartBelow}) {
        connect(start, &QPushButton::clicked, this, Guarded([this] { run_->Start(); }));
    }
    connect(run_, &TRunController::finished, c_.BtnClear,
            [this] { c_.BtnClear->setEnabled(true); });
}

void TfrmMain::RefreshDestinations() {
    TIniFile settings(global_->SettingsPath());
    sourceList_.SetDestinationRule(ReadDestinationRule(settings, TIniFile(global_->FormatPath())));
}

// Toolbar, list, DVD choices, preview, format and parameters, folder, start.
void TfrmMain::SetTabOrder() {
    const QList<QWidget*> order = {c_.BtnAddDVD,
                                   c_.BtnAdd,
                                   c_.BtnRemove,
                                   c_.BtnClear,
                                   c_.BtnEdit,
                                   c_.btnDVDStart,
                                   c_.BtnStart,
                                   c_.BtnExit,
                                   c_.lvFiles,
                                   c_.cmbAudioLanguage,
                                   c_.cmbSubtitle,
                                   c_.btnUp,
                                   c_.btnDown,
                                   c_.btnUp1,
                                   c_.btnDown1,
                                   c_.imgbtnPlay,
                                   c_.imgbtnPAuse,
                                   c_.imgbtnStop,
                                   c_.imgbtnSnap,
                                   c_.trcPreview,
                                   c_.trcVolume,
                                   c_.ckMute,
                                   c_.edt1,
                                   c_.imgbtn1,
                                   c_.cmbVideoSize,
                                   c_.cmbVideoEncoder,
                                   c_.cmbVideoBitRate,
                                   c_.cmbFrameRate,
                                   c_.cmbZoom,
                                   c_.cmbSamplerate,
                                   c_.cmbAudioEncoder,
                                   c_.cmbAudioBitRate,
                                   c_.cmbChannel,
                                   c_.cmbVolume,
                                   c_.edDirectory,
                                   c_.btnBrows,
                                   c_.btnOpen,
                                   c_.btnDefault,
                                   c_.btnStartBelow};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void TfrmMain::BuildPreviewGroup(QWidget* client, const TAppLocation& location) {
    preview_ = new TPreviewPanel(
        sourceList_,
        {location.settingsPath, LibraryFolder(location.exeDir), [this] { return DvdFolder(); }},
        client);
    preview_->setGeometry(526, 36, 252, 270);
    const TPreviewWidgets& w = preview_->Widgets();
    c_.GroupBox1 = preview_;
    c_.pan1 = w.pan1;
    c_.imgbtnPlay = w.imgbtnPlay;
    c_.imgbtnPAuse = w.imgbtnPAuse;
    c_.imgbtnStop = w.imgbtnStop;
    c_.imgbtnSnap = w.imgbtnSnap;
    c_.lblTime = w.lblTime;
    c_.lblPTS = w.lblPTS;
    c_.trcPreview = w.trcPreview;
    c_.lbl2 = w.lbl2;
    c_.trcVolume = w.trcVolume;
    c_.ckMute = w.ckMute;
}

// Play on an empty list offers the DVD drive menu and plays what the next file Add brings;
// the list's double click plays the selected row; an emptied list and a starting conversion
// run stop the preview.
void TfrmMain::ConnectPreview() {
    connect(preview_, &TPreviewPanel::logLine, c_.mmoLog, &QPlainTextEdit::appendPlainText);
    connect(preview_, &TPreviewPanel::emptyListPlayed, this, [this] {
        playAfterAdd_ = true;
        c_.BtnAddDVD->click();
    });
    connect(sources_, &TSourceListPanel::filesAdded, this, Guarded([this] {
                if (playAfterAdd_) {
                    playAfterAdd_ = false;
                    preview_->imgbtnPlayClick();
                }
            }));
    connect(c_.lvFiles, &QAbstractItemView::doubleClicked, this, Guarded([this] {
                if (sourceList_.HasCurrentRow()) {
                    preview_->imgbtnPlayClick();
                }
            }));
    connect(sources_, &TSourceListPanel::listEmptied, this,
            Guarded([this] { preview_->imgbtnStopClick(); }));
    connect(run_, &TRunController::starting, this,
            Guarded([this] { preview_->imgbtnStopClick(); }));
    connect(c_.Options1, &QAction::triggered, this, Guarded([this] { Options1Click(); }));
}

bool TfrmMain::PreviewStopped() const {
    return preview_->PreviewStopped();
}

bool TfrmMain::PreviewPaused() const {
    return preview_->PreviewPaused();
}

// The preferences dialog is made once and kept; its folder chooser is made on its first
// Browse and kept by the dialog.
void TfrmMain::Options1Click() {
    if (preference_ == nullptr) {
        preference_ = new TfrmPreference(
            global_->SettingsPath(),
            [chooser = QPointer<TfmDirectory>()](QWidget* dialog,
                                                 const std::string& start) mutable {
                if (chooser == nullptr) {
                    chooser = new TfmDirectory(dialog);
                }
                return chooser->Choose(start);
            },
            this);
    }
    preference_->exec();
}

// The check runs through the event loop; accepting the upgrade closes the window without
// the exit question.
void TfrmMain::StartVersionNotice() {
    if (versionNotice_ == nullptr) {
        versionNotice_ = new TVersionNotice({global_->SettingsPath(), global_->VersionText(),
                                             global_->ProductName(), global_->DownloadUrl()},
                                            this, this);
        connect(versionNotice_, &TVersionNotice::upgradeAccepted, this, [this] {
            closingForUpgrade_ = true;
            close();
        });
    }
    versionNotice_->Start();
}

void TfrmMain::FormCreate(const TAppLocation& location) {
    dispatcher_ = std::make_unique<TQtMainThreadDispatcher>();
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
    global_->SetDownloadUrl(TessaroDownloadUrl);
    QApplication::setApplicationDisplayName(QString::fromStdString(global_->ProductName()));

    themes_ = std::make_unique<TThemeManager>(this);
    themes_->ApplyStoredTheme(global_->SettingsPath());
    skinMenu_ = new TSkinMenu(c_.Skin1, this, *themes_, global_->SettingsPath());
    helpMenu_ = new THelpMenu(c_.mnuHelp, this);

    if (TApplication* app = Application()) {
        app->InstallExceptionHandler();
    }
    exeDir_ = location.exeDir;
    LoadPlayerLibraries(location.exeDir);
}

void TfrmMain::Trim1Click() {
    if (!sourceList_.HasCurrentRow()) {
        return;
    }
    preview_->imgbtnStopClick();
    if (trim_ == nullptr) {
        trim_ = new TfrmTrim(sourceList_, {LibraryFolder(exeDir_), DvdFolder()}, this);
    }
    trim_->SetRow(sourceList_.Current(), DvdFolder());
    trim_->exec();
}

void TfrmMain::WaterMark1Click() {
    if (!sourceList_.HasCurrentRow()) {
        return;
    }
    preview_->imgbtnStopClick();
    delete waterMark_;
    waterMark_ = new TfrmWaterMark(sourceList_, sourceList_.Current(),
                                   {LibraryFolder(exeDir_), DvdFolder()}, this);
    waterMark_->exec();
}

void TfrmMain::Crop1Click() {
    if (!sourceList_.HasCurrentRow()) {
        return;
    }
    preview_->imgbtnStopClick();
    delete crop_;
    crop_ = new TfrmCrop(sourceList_, sourceList_.Current(), {LibraryFolder(exeDir_), DvdFolder()},
                         this);
    crop_->exec();
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

    playAfterAdd_ = false;

    for (QPushButton* button : {c_.BtnAdd, c_.BtnRemove, c_.BtnClear, c_.BtnEdit, c_.BtnStart,
                                c_.BtnExit, c_.BtnAddDVD, c_.btnDVDStart}) {
        button->move(button->x(), ToolbarTop);
    }

    previewFrame_ = std::make_unique<TBitmap>();

    const TMainWindowStartState start = ReadMainWindowStartState(TIniFile(global_->SettingsPath()));
    outputFolder_->Load();
    currentFormatCode_ = start.formatCode;

    preview_->RestoreVolume(start.volume, start.mute);

    // The list shows file columns until DVD titles are read; the destinations follow the
    // stored folder and format.
    sourceList_.Clear();
    RefreshDestinations();
    formats_->Fill();
    currentFormatName_ = formats_->Widgets().edt1->text().toStdString();

    global_->SetVersionText(TGlobalObject::FileVersionText());
    setWindowTitle(QString::fromStdString(global_->ProductName() + global_->VersionText()));

    dvd_->Reset();

    closingForUpgrade_ = false;
    StartVersionNotice();
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
    formats_->StoreGroupStates();
    preview_->StopWithoutWaiting();
    run_->EndMediaWork();
    previewFrame_.reset();
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
