#include "sources/SourceListPanel.h"

#include "core/AppPaths.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "core/IniFile.h"
#include "formats/RunChoices.h"
#include "runtime/LibraryLoader.h"
#include "sources/SourceFiles.h"
#include "sources/SourceListView.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

namespace tessaro {

namespace {

// "Description (*.a *.b)"; the dialog hides the pattern part and matches in any letter case.
QStringList DialogFilters() {
    QStringList filters;
    for (const TFileFilter& filter : OpenDialogFilters()) {
        QStringList patterns;
        for (const std::string& pattern : filter.Patterns) {
            patterns << QString::fromStdString(pattern);
        }
        filters << QString::fromStdString(filter.Description) + QStringLiteral(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

bool IsDvdSource(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() || info.suffix().compare(QStringLiteral("iso"), Qt::CaseInsensitive) == 0;
}

} // namespace

TSourceListPanel::TSourceListPanel(QWidget* client, TSourceListModel& list, TSourcePaths paths,
                                   std::function<unsigned()> stripe, QObject* parent)
    : QObject(parent), list_(list), paths_(std::move(paths)) {
    itemModel_ = new TSourceItemModel(list_, this);
    view_ = new TSourceListView(*itemModel_, std::move(stripe), client);
    view_->setObjectName(QStringLiteral("lvFiles"));
    view_->setAccessibleName(QStringLiteral("Source files"));
    view_->setGeometry(8, 40, 510, 170);
    BuildContextMenu();
    connect(itemModel_, &TSourceItemModel::currentRowChanged, this,
            &TSourceListPanel::currentRowChanged);

    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupContextMenu(view_->viewport()->mapToGlobal(at)); });
    connect(view_, &TSourceListView::deletePressed, this, Guarded([this] { RemoveSelected(); }));
    connect(view_, &TSourceListView::pathsDropped, this,
            Guarded([this](const QStringList& paths) { Dropped(paths); }));
}

void TSourceListPanel::BuildContextMenu() {
    contextMenu_ = Named(new QMenu(view_), "PopupMenuFiles");
    const auto item = [this](const char* name, const char* caption) {
        return MakeItem(contextMenu_, name, caption);
    };
    QAction* crop = item("Crop2", "&Crop");
    QAction* trim = item("Trim2", "&Trim");
    QAction* effects = item("VideoEffect2", "&Video Effect && Water Mark");
    contextMenu_->addSeparator();
    item("Add2", "Add");
    QAction* remove = item("Remove2", "Remove");
    remove->setVisible(false);
    QAction* clear = item("Clear2", "Clear");
    QAction* start = item("Start2", "Start");
    contextRowItems_ = {crop, trim, effects, remove, clear, start};
    connect(remove, &QAction::triggered, this, Guarded([this] { RemoveSelected(); }));
    connect(clear, &QAction::triggered, this, Guarded([this] { ClearList(); }));
}

QAction* TSourceListPanel::ContextItem(const char* name) const {
    return contextMenu_->findChild<QAction*>(QString::fromUtf8(name));
}

void TSourceListPanel::Connect(const TSourceListActions& actions) {
    const auto run = [this](QAction* action, auto operation) {
        connect(action, &QAction::triggered, this, Guarded(operation));
    };
    run(actions.Add, [this] { AddFiles(); });
    run(actions.Remove, [this] { RemoveSelected(); });
    run(actions.Clear, [this] { ClearList(); });
    run(actions.CheckAll, [this] { list_.CheckAll(); });
    run(actions.UncheckAll, [this] { list_.UncheckAll(); });
    run(actions.ReverseCheck, [this] { list_.ReverseCheck(); });
    run(actions.Check, [this] { list_.SetCurrentChecked(true); });
    run(actions.Uncheck, [this] { list_.SetCurrentChecked(false); });
    std::vector<QAction*> editItems = actions.RowItems;
    editItems.insert(editItems.end(), {actions.CheckAll, actions.UncheckAll, actions.ReverseCheck,
                                       actions.Check, actions.Uncheck});
    connect(actions.EditMenu, &QMenu::aboutToShow, this,
            [this, editItems] { EnableRowItems(editItems); });
}

// Items that act on the selected row are enabled only while the list has a selected row.
void TSourceListPanel::EnableRowItems(const std::vector<QAction*>& items) const {
    for (QAction* item : items) {
        item->setEnabled(list_.HasCurrentRow());
    }
}

void TSourceListPanel::PopupContextMenu(const QPoint& globalPosition) {
    EnableRowItems(contextRowItems_);
    contextMenu_->popup(globalPosition);
}

bool TSourceListPanel::LoadConverterLibraries() const {
    TLibraryLoader& loader = TLibraryLoader::Instance();
    if (loader.IsLibSetLoaded(ConverterLibraries)) {
        return true;
    }
    loader.SetLibraryDir(LibraryFolder(paths_.ExeDir));
    return loader.LoadLibSet(ConverterLibraries);
}

QStringList TSourceListPanel::ChooseFiles() {
    QFileDialog dialog(view_->window(), QStringLiteral("Open"));
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    // Qt's own dialog: its patterns match file names in any letter case.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(DialogFilters());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

void TSourceListPanel::AddFiles() {
    if (!LoadConverterLibraries()) {
        return;
    }
    const QStringList chosen = ChooseFiles();
    if (!chosen.isEmpty()) {
        AddPaths(chosen);
    }
}

int TSourceListPanel::AddPaths(const QStringList& paths) {
    if (!LoadConverterLibraries()) {
        return 0;
    }
    TIniFile settings(paths_.SettingsPath);
    const TIniFile formats(paths_.FormatPath);
    const TRunFormat format = ReadRunFormat(settings, formats, StoredFormatCode(settings));
    list_.SetDestinationRule(ReadDestinationRule(settings, formats));
    std::vector<std::string> files;
    for (const QString& path : paths) {
        files.push_back(path.toStdString());
    }
    const int added = AddSourceFiles(list_, files, format.ZoomMode);
    if (added > 0) {
        view_->setFocus();
        emit filesAdded();
    }
    return added;
}

void TSourceListPanel::RemoveSelected() {
    if (list_.RemoveCurrent() && list_.Empty()) {
        emit listEmptied();
    }
    view_->setFocus();
}

void TSourceListPanel::ClearList() {
    if (list_.Empty()) {
        return;
    }
    list_.Clear();
    emit listEmptied();
}

// Media files are added as Add adds them; DVD folders and disc images go to the DVD side.
void TSourceListPanel::Dropped(const QStringList& paths) {
    QStringList media;
    QStringList dvd;
    for (const QString& path : paths) {
        (IsDvdSource(path) ? dvd : media) << path;
    }
    if (!media.isEmpty()) {
        AddPaths(media);
    }
    if (!dvd.isEmpty()) {
        emit dvdPathsDropped(dvd);
    }
}

} // namespace tessaro
