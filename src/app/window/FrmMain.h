// The main window: menus, toolbar, source list, DVD group, preview group, output
// parameter panel and output folder row. It builds the frame, composes the panels (source
// list, format panel, output folder row) and routes between them, and runs its creation,
// first showing and closing. Later parts plug in through SourceList() (the rows and their
// records), Sources() (the list widget and its operations), DvdFolder() (where DVD title rows
// are read from), Preview() (whose Stop they call before taking the list or the DVD) and
// currentRowChanged().
#pragma once

#include "base/Bitmap.h"
#include "core/AppPaths.h"
#include "core/GlobalObject.h"
#include "sources/SourceListModel.h"

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QToolButton;
class QTreeView;
class QWidget;

namespace tessaro {

class TThemeManager;
class TSkinMenu;
class THelpMenu;
class TDvdPanel;
class TFormatPanel;
class TOutputFolderRow;
class TPreviewPanel;
class TQtMainThreadDispatcher;
class TRunController;
class TSourceListPanel;
class TVersionNotice;
class TfrmPreference;
class TfrmTrim;
class TfrmWaterMark;
class TfrmCrop;

// The controls of the main window, named as the program's units refer to them.
struct TfrmMainControls {
    // Menus.
    QMenu* mnuFile = nullptr;
    QMenu* mnuEdit = nullptr;
    QMenu* mnuTools = nullptr;
    QMenu* mnuOptions = nullptr;
    QMenu* mnuHelp = nullptr;
    QMenu* Skin1 = nullptr;
    QAction* Add1 = nullptr;
    QAction* Remove1 = nullptr;
    QAction* Clear1 = nullptr;
    QAction* Start1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Crop1 = nullptr;
    QAction* Trim1 = nullptr;
    QAction* VideoEffect1 = nullptr;
    QAction* CheckAll1 = nullptr;
    QAction* UncheckAll1 = nullptr;
    QAction* ReverseCheck1 = nullptr;
    QAction* Check1 = nullptr;
    QAction* Uncheck1 = nullptr;
    QAction* Options1 = nullptr;
    QMenu* PopupMenuAddDVD = nullptr;
    QMenu* AddDVDDriver1 = nullptr;
    QAction* OpenDVDFolder1 = nullptr;
    QAction* OpenDVDImage1 = nullptr;

    // Toolbar row.
    QPushButton* BtnAdd = nullptr;
    QPushButton* BtnRemove = nullptr;
    QPushButton* BtnClear = nullptr;
    QPushButton* BtnEdit = nullptr;
    QPushButton* BtnStart = nullptr;
    QPushButton* BtnExit = nullptr;
    QPushButton* BtnAddDVD = nullptr;
    QPushButton* btnDVDStart = nullptr;

    // Source list and DVD group.
    QTreeView* lvFiles = nullptr;
    QMenu* PopupMenuFiles = nullptr; // the list's context menu
    QGroupBox* GroupBox3 = nullptr;
    QComboBox* cmbAudioLanguage = nullptr;
    QComboBox* cmbSubtitle = nullptr;
    QLineEdit* edtFrom = nullptr;
    QLineEdit* edtTo = nullptr;
    QToolButton* btnUp = nullptr;
    QToolButton* btnDown = nullptr;
    QToolButton* btnUp1 = nullptr;
    QToolButton* btnDown1 = nullptr;

    // Preview group.
    QGroupBox* GroupBox1 = nullptr;
    QWidget* pan1 = nullptr;
    QToolButton* imgbtnPlay = nullptr;
    QToolButton* imgbtnPAuse = nullptr;
    QToolButton* imgbtnStop = nullptr;
    QToolButton* imgbtnSnap = nullptr;
    QLabel* lblTime = nullptr;
    QLabel* lblPTS = nullptr;
    QSlider* trcPreview = nullptr;
    QLabel* lbl2 = nullptr;
    QSlider* trcVolume = nullptr;
    QCheckBox* ckMute = nullptr;

    // Output format and parameter panel.
    QLineEdit* edt1 = nullptr;
    QToolButton* imgbtn1 = nullptr;
    QListWidget* lst1 = nullptr;
    QGroupBox* grpVideo = nullptr;
    QGroupBox* grpAudio = nullptr;
    QComboBox* cmbVideoSize = nullptr;
    QComboBox* cmbVideoEncoder = nullptr;
    QComboBox* cmbVideoBitRate = nullptr;
    QComboBox* cmbFrameRate = nullptr;
    QComboBox* cmbZoom = nullptr;
    QComboBox* cmbSamplerate = nullptr;
    QComboBox* cmbAudioEncoder = nullptr;
    QComboBox* cmbChannel = nullptr;
    QComboBox* cmbAudioBitRate = nullptr;
    QComboBox* cmbVolume = nullptr;
    QPushButton* btnDefault = nullptr;
    QPushButton* btnStartBelow = nullptr;

    // Output folder row.
    QLineEdit* edDirectory = nullptr;
    QPushButton* btnBrows = nullptr;
    QPushButton* btnOpen = nullptr;

    // Hidden log of library loading failures.
    QPlainTextEdit* mmoLog = nullptr;
};

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int OuterWidth = 786;
    static constexpr int OuterHeight = 522;

    explicit TfrmMain(const TAppLocation& location, QWidget* parent = nullptr);
    ~TfrmMain() override;

    const TfrmMainControls& Controls() const { return c_; }
    // The application object; nullptr once the window has agreed to close.
    TGlobalObject* Global() const { return global_.get(); }
    TThemeManager& Themes() const { return *themes_; }
    TSkinMenu& SkinMenu() const { return *skinMenu_; }
    THelpMenu& HelpMenu() const { return *helpMenu_; }

    const std::string& CurrentFormatCode() const { return currentFormatCode_; }
    const std::string& CurrentFormatName() const { return currentFormatName_; }
    // The DVD the title rows were read from; empty before the first disc.
    const std::string& DvdFolder() const;

    // The source list's rows with their records; its current row is the selected row.
    TSourceListModel& SourceList() { return sourceList_; }
    TSourceListPanel& Sources() const { return *sources_; }
    TFormatPanel& Formats() const { return *formats_; }
    TDvdPanel& Dvd() const { return *dvd_; }
    TOutputFolderRow& OutputFolder() const { return *outputFolder_; }
    // The conversion run every Start control starts.
    TRunController& Run() const { return *run_; }
    TPreviewPanel& Preview() const { return *preview_; }
    // The preferences dialog, made on the first "&Preference" (nullptr before).
    TfrmPreference* Preference() const { return preference_; }
    TVersionNotice* VersionNotice() const { return versionNotice_; }
    // The trim editor, made on the first "&Trim" and kept (nullptr before).
    TfrmTrim* Trim() const { return trim_; }
    // "&Trim": stops the preview and edits the selected row in the modal trim editor.
    void Trim1Click();
    // The watermark and effects editor last opened (nullptr before the first).
    TfrmWaterMark* WaterMark() const { return waterMark_; }
    // "&Video Effect && Water Mark": stops the preview and edits the selected row in a new
    // modal editor.
    void WaterMark1Click();
    // The crop editor last opened (nullptr before the first).
    TfrmCrop* CropEditor() const { return crop_; }
    // "&Crop": stops the preview and edits the selected row in a new modal crop editor.
    void Crop1Click();
    bool ClosingForUpgrade() const { return closingForUpgrade_; }
    void SetClosingForUpgrade(bool value) { closingForUpgrade_ = value; }
    bool PreviewStopped() const;
    bool PreviewPaused() const;
    bool PlayAfterAdd() const { return playAfterAdd_; }
    // Receives the converter's preview frames; exists from the first showing until the
    // window has agreed to close.
    TBitmap* PreviewFrame() const { return previewFrame_.get(); }

signals:
    // Another row (or none, -1) of the source list was selected.
    void currentRowChanged(int row);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildToolbar(QWidget* client);
    void BuildPanels(QWidget* client, const TAppLocation& location);
    void BuildPreviewGroup(QWidget* client, const TAppLocation& location);
    void ConnectPanels();
    void BuildRun(const TAppLocation& location);
    void ConnectPreview();
    void SetTabOrder();
    void Options1Click();
    void StartVersionNotice();
    // The source list's destinations follow the output folder and the chosen format.
    void RefreshDestinations();

    void FormCreate(const TAppLocation& location);
    void LoadPlayerLibraries(const std::string& exeDir);
    void FormShow();
    void FixOuterSize();
    bool FormCloseQuery();

    TfrmMainControls c_;
    TSourceListModel sourceList_;
    std::unique_ptr<TQtMainThreadDispatcher> dispatcher_;
    TSourceListPanel* sources_ = nullptr;
    TDvdPanel* dvd_ = nullptr;
    TFormatPanel* formats_ = nullptr;
    TOutputFolderRow* outputFolder_ = nullptr;
    TRunController* run_ = nullptr;
    TPreviewPanel* preview_ = nullptr;
    TfrmPreference* preference_ = nullptr;
    TfrmTrim* trim_ = nullptr;
    TfrmWaterMark* waterMark_ = nullptr;
    TfrmCrop* crop_ = nullptr;
    std::string exeDir_; // the program's folder, where the player libraries are found
    TVersionNotice* versionNotice_ = nullptr;
    std::unique_ptr<TGlobalObject> global_;
    std::unique_ptr<TThemeManager> themes_;
    TSkinMenu* skinMenu_ = nullptr;
    THelpMenu* helpMenu_ = nullptr;

    std::string currentFormatCode_;
    std::string currentFormatName_;
    std::unique_ptr<TBitmap> previewFrame_;
    bool closingForUpgrade_ = false;
    bool playAfterAdd_ = false;
    bool shownOnce_ = false;
};

} // namespace tessaro
