// The DVD side of the main window: the "&Add DVD" menu with a drive item per optical drive
// (refreshed each time it opens), "Open DVD Folder..." and "Open DVD Image...", discs dropped
// onto the list, and the DVD group (audio track, subtitle, chapter range of the selected row)
// over TDvdSource.
#pragma once

#include "dvd/DvdDrives.h"
#include "dvd/DvdSource.h"

#include <QObject>
#include <string>
#include <utility>

class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QWidget;

namespace tessaro {

class TSourceListPanel;

struct TDvdPanelWidgets {
    QMenu* PopupMenuAddDVD = nullptr;
    QMenu* AddDVDDriver1 = nullptr;
    QAction* OpenDVDFolder1 = nullptr;
    QAction* OpenDVDImage1 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QComboBox* cmbAudioLanguage = nullptr;
    QComboBox* cmbSubtitle = nullptr;
    QLineEdit* edtFrom = nullptr;
    QLineEdit* edtTo = nullptr;
    QToolButton* btnUp = nullptr;
    QToolButton* btnDown = nullptr;
    QToolButton* btnUp1 = nullptr;
    QToolButton* btnDown1 = nullptr;
};

class TDvdPanel : public QObject, private TSourceListObserver {
    Q_OBJECT
public:
    // The group goes into client, the menu belongs to window; the plug-in is loaded from
    // libraryFolder.
    TDvdPanel(QWidget* window, QWidget* client, TSourceListModel& list, TSourceListPanel& sources,
              std::string libraryFolder);
    ~TDvdPanel() override;

    const TDvdPanelWidgets& Widgets() const { return w_; }
    TDvdSource& Source() { return source_; }
    const std::string& Folder() const { return source_.Folder(); }

    // The "&Add DVD" button and the list menu's "Add" open the drive menu below the button.
    void Connect(QPushButton* addDvdButton);
    void PopupDriveMenu();
    // The drive items of the optical drives present now.
    void RefreshDrives();
    // Where the drives are looked up (the system's own by default).
    void SetDriveSources(TDriveSources sources) { driveSources_ = std::move(sources); }

    // Reads the disc at path into the list (messages and the replace question as dialogs).
    int OpenDvd(const QString& path);
    // The folder (image false) and image items: a dialog, then the chosen DVD.
    void OpenChosenDvd(bool image);

    // First showing: boxes off, no DVD location.
    void Reset();

private:
    void BuildMenu(QWidget* window);
    void BuildGroup(QWidget* client);
    void ConnectGroup();
    QString ChooseDvd(bool image);
    void ShowGroup();

    void RowsChanged(int first, int last) override;
    void CurrentRowChanged(int index) override;
    void RowsRemoved(int first, int count) override;

    TSourceListModel& list_;
    TSourceListPanel& sources_;
    TDvdSource source_;
    TDvdPanelWidgets w_;
    QWidget* window_ = nullptr;
    QPushButton* addDvdButton_ = nullptr;
    TDriveSources driveSources_;
};

} // namespace tessaro
