// The source list panel of the main window: the list lvFiles, its context menu and the
// list's operations reached from the File and Edit menus, the toolbar, the keyboard and drops.
#pragma once

#include "sources/SourceListModel.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace tessaro {

class TSourceItemModel;
class TSourceListView;

// The menu items and buttons the panel runs; they belong to the main window.
struct TSourceListActions {
    QAction* Add = nullptr;
    QAction* Remove = nullptr;
    QAction* Clear = nullptr;
    QAction* CheckAll = nullptr;
    QAction* UncheckAll = nullptr;
    QAction* ReverseCheck = nullptr;
    QAction* Check = nullptr;
    QAction* Uncheck = nullptr;
    QMenu* EditMenu = nullptr;
    // Items enabled only while a row is selected (the editors of the Edit menu).
    std::vector<QAction*> RowItems;
};

// The paths the panel reads when it adds files.
struct TSourcePaths {
    std::string ExeDir; // the media libraries are loaded from its "LibAV" folder
    std::string SettingsPath;
    std::string FormatPath;
};

class TSourceListPanel : public QObject {
    Q_OBJECT
public:
    TSourceListPanel(QWidget* client, TSourceListModel& list, TSourcePaths paths,
                     std::function<unsigned()> stripe, QObject* parent);

    TSourceListView* View() const { return view_; }
    // The list's context menu: "&Crop", "&Trim", "&Video Effect && Water Mark", "Add",
    // "Remove" (hidden), "Clear", "Start".
    QMenu* ContextMenu() const { return contextMenu_; }
    QAction* ContextItem(const char* name) const;

    // Connects the window's menu items and buttons to the list's operations.
    void Connect(const TSourceListActions& actions);

    // Add: the open dialog, then the chosen files.
    void AddFiles();
    // Adds paths as Add adds chosen files; returns the number of rows added.
    int AddPaths(const QStringList& paths);
    void RemoveSelected();
    void ClearList();
    // Shows the context menu at a global position, its items enabled for the selection.
    void PopupContextMenu(const QPoint& globalPosition);

signals:
    // Another row (or none, -1) became the selected row.
    void currentRowChanged(int row);
    // Files were added to the list (the preview may start playing them).
    void filesAdded();
    // The last row was removed or the list cleared.
    void listEmptied();
    // Folders and disc images dropped onto the list: DVD sources.
    void dvdPathsDropped(const QStringList& paths);

private:
    void BuildContextMenu();
    bool LoadConverterLibraries() const;
    QStringList ChooseFiles();
    void Dropped(const QStringList& paths);
    void EnableRowItems(const std::vector<QAction*>& items) const;

    TSourceListModel& list_;
    TSourcePaths paths_;
    TSourceItemModel* itemModel_ = nullptr;
    TSourceListView* view_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    std::vector<QAction*> contextRowItems_;
};

} // namespace tessaro
