#include "dvd/DvdPanel.h"

#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "formatpanel/ParameterBoxDrawing.h"
#include "sources/SourceListPanel.h"
#include "sources/SourceListView.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <string>

namespace tessaro {
namespace {

constexpr int ArrowRepeatMs = 100; // a held arrow repeats its click

QToolButton* MakeArrow(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                       const char* hint, QRect geometry) {
    QToolButton* button = MakeImageButton(parent, name, icon, hint, geometry);
    button->setIconSize(QSize(10, 8));
    button->setAutoRepeat(true);
    button->setAutoRepeatInterval(ArrowRepeatMs);
    return button;
}

struct TChapterBoxNames {
    const char* caption;
    const char* box;
    const char* up;
    const char* down;
    const char* which; // "first" or "last"
};

struct TChapterBoxFields {
    QLineEdit** box;
    QToolButton** up;
    QToolButton** down;
};

// A label, a read-only chapter box after it and the up and down arrows beside the box.
void BuildChapterBox(QWidget* group, const TChapterBoxNames& names, int left, int labelWidth,
                     const TChapterBoxFields& fields) {
    QLabel* label = MakeLabel(group, names.caption, QRect(left, 22, labelWidth, 24));
    const int boxLeft = left + labelWidth;
    *fields.box = Named(new QLineEdit(group), names.box);
    (*fields.box)->setGeometry(boxLeft, 22, 30, 24);
    (*fields.box)->setEnabled(false);
    label->setBuddy(*fields.box);
    const std::string which = names.which;
    *fields.up = MakeArrow(group, names.up, QStyle::SP_ArrowUp,
                           ("next " + which + " chapter").c_str(), QRect(boxLeft + 31, 22, 14, 12));
    *fields.down =
        MakeArrow(group, names.down, QStyle::SP_ArrowDown,
                  ("previous " + which + " chapter").c_str(), QRect(boxLeft + 31, 34, 14, 12));
}

// Menu texts show "&" as a mnemonic mark; a label's own "&" is doubled.
QString MenuText(const std::string& text) {
    return QString::fromStdString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void ShowLines(QComboBox* box, bool enabled, const std::vector<std::string>& lines, int line) {
    const QSignalBlocker quiet(box);
    box->clear();
    for (const std::string& text : lines) {
        box->addItem(QString::fromStdString(text));
    }
    box->setCurrentIndex(line);
    box->setEnabled(enabled);
}

} // namespace

TDvdPanel::TDvdPanel(QWidget* window, QWidget* client, TSourceListModel& list,
                     TSourceListPanel& sources, std::string libraryFolder)
    : QObject(window), list_(list), sources_(sources), source_(list, std::move(libraryFolder)),
      window_(window) {
    BuildMenu(window);
    BuildGroup(client);
    ConnectGroup();
    list_.AddObserver(this);
}

TDvdPanel::~TDvdPanel() {
    list_.RemoveObserver(this);
}

void TDvdPanel::BuildMenu(QWidget* window) {
    w_.PopupMenuAddDVD = Named(new QMenu(window), "PopupMenuAddDVD");
    w_.AddDVDDriver1 =
        Named(w_.PopupMenuAddDVD->addMenu(QStringLiteral("Add DVD Driver")), "AddDVDDriver1");
    w_.OpenDVDFolder1 = Named(w_.PopupMenuAddDVD->addAction(QStringLiteral("Open DVD Folder...")),
                              "OpenDVDFolder1");
    w_.OpenDVDImage1 =
        Named(w_.PopupMenuAddDVD->addAction(QStringLiteral("Open DVD Image...")), "OpenDVDImage1");
    // A drive plugged in while the program runs appears the next time the menu opens.
    connect(w_.PopupMenuAddDVD, &QMenu::aboutToShow, this, Guarded([this] { RefreshDrives(); }));
    connect(w_.OpenDVDFolder1, &QAction::triggered, this,
            Guarded([this] { OpenChosenDvd(false); }));
    connect(w_.OpenDVDImage1, &QAction::triggered, this, Guarded([this] { OpenChosenDvd(true); }));
}

void TDvdPanel::BuildGroup(QWidget* client) {
    w_.GroupBox3 = Named(new QGroupBox(client), "GroupBox3");
    w_.GroupBox3->setGeometry(8, 214, 510, 56);
    QWidget* g = w_.GroupBox3;
    QLabel* audio = MakeLabel(g, "Audio:", QRect(8, 22, 38, 24));
    w_.cmbAudioLanguage = Named(new QComboBox(g), "cmbAudioLanguage");
    w_.cmbAudioLanguage->setGeometry(46, 22, 84, 24);
    audio->setBuddy(w_.cmbAudioLanguage);
    QLabel* subtitle = MakeLabel(g, "Subtitle:", QRect(136, 22, 50, 24));
    w_.cmbSubtitle = Named(new QComboBox(g), "cmbSubtitle");
    w_.cmbSubtitle->setGeometry(186, 22, 84, 24);
    subtitle->setBuddy(w_.cmbSubtitle);
    for (QComboBox* box : {w_.cmbAudioLanguage, w_.cmbSubtitle}) {
        UseParameterItemDrawing(box);
    }
    BuildChapterBox(g, {"Rip Chapter from: ", "edtFrom", "btnUp", "btnDown", "first"}, 278, 114,
                    {&w_.edtFrom, &w_.btnUp, &w_.btnDown});
    BuildChapterBox(g, {"to", "edtTo", "btnUp1", "btnDown1", "last"}, 444, 16,
                    {&w_.edtTo, &w_.btnUp1, &w_.btnDown1});
}

void TDvdPanel::ConnectGroup() {
    connect(w_.cmbAudioLanguage, &QComboBox::activated, this,
            Guarded([this](int line) { source_.ChooseAudio(line); }));
    connect(w_.cmbSubtitle, &QComboBox::activated, this,
            Guarded([this](int line) { source_.ChooseSubtitle(line); }));
    const std::pair<QToolButton*, TChapterArrow> arrows[] = {
        {w_.btnUp, TChapterArrow::FromUp},
        {w_.btnDown, TChapterArrow::FromDown},
        {w_.btnUp1, TChapterArrow::ToUp},
        {w_.btnDown1, TChapterArrow::ToDown},
    };
    for (const auto& [button, arrow] : arrows) {
        connect(button, &QToolButton::clicked, this,
                Guarded([this, arrow = arrow] { source_.Step(arrow); }));
    }
}

void TDvdPanel::Connect(QPushButton* addDvdButton) {
    addDvdButton_ = addDvdButton;
    connect(addDvdButton, &QPushButton::clicked, this, [this] { PopupDriveMenu(); });
    if (QAction* add = sources_.ContextItem("Add2")) {
        connect(add, &QAction::triggered, this, [this] { PopupDriveMenu(); });
    }
    // Of several dropped DVD sources the first is read: a disc replaces the list.
    connect(&sources_, &TSourceListPanel::dvdPathsDropped, this,
            Guarded([this](const QStringList& paths) { OpenDvd(paths.front()); }));
}

void TDvdPanel::PopupDriveMenu() {
    const QPoint below = addDvdButton_ != nullptr
                             ? addDvdButton_->mapToGlobal(addDvdButton_->rect().bottomLeft())
                             : window_->mapToGlobal(QPoint());
    w_.PopupMenuAddDVD->popup(below);
}

void TDvdPanel::RefreshDrives() {
    w_.AddDVDDriver1->clear();
    for (const TOpticalDrive& drive : FindOpticalDrives(driveSources_)) {
        QAction* item = w_.AddDVDDriver1->addAction(MenuText(drive.Caption()));
        const QString device = QString::fromStdString(drive.Device);
        connect(item, &QAction::triggered, this, Guarded([this, device] { OpenDvd(device); }));
    }
}

int TDvdPanel::OpenDvd(const QString& path) {
    const TDvdSource::THost host{
        [this](const TMessageRequest& request) { return Dialogs().ShowMessage(window_, request); },
        [this] { sources_.ClearList(); },
    };
    const int added = source_.Read(path.toStdString(), host);
    if (added > 0) {
        sources_.View()->setFocus();
    }
    return added;
}

QString TDvdPanel::ChooseDvd(bool image) {
    QFileDialog dialog(window_, image ? QStringLiteral("Open DVD Image")
                                      : QStringLiteral("Open DVD Folder"));
    dialog.setObjectName(image ? QStringLiteral("OpenDVDImageDialog")
                               : QStringLiteral("OpenDVDFolderDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (image) {
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(
            {QStringLiteral("DVD images (*.iso *.ISO)"), QStringLiteral("All files (*)")});
    } else {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

void TDvdPanel::OpenChosenDvd(bool image) {
    const QString chosen = ChooseDvd(image);
    if (!chosen.isEmpty()) {
        OpenDvd(chosen);
    }
}

void TDvdPanel::Reset() {
    source_.ForgetFolder();
    ShowGroup();
}

void TDvdPanel::ShowGroup() {
    const TDvdGroupView view = source_.Group();
    w_.GroupBox3->setTitle(QString::fromStdString(view.Caption));
    ShowLines(w_.cmbAudioLanguage, view.AudioEnabled, view.AudioLines, view.AudioLine);
    ShowLines(w_.cmbSubtitle, view.SubtitleEnabled, view.SubtitleLines, view.SubtitleLine);
    w_.edtFrom->setText(QString::fromStdString(view.From));
    w_.edtTo->setText(QString::fromStdString(view.To));
}

void TDvdPanel::RowsChanged(int first, int last) {
    if (list_.Current() >= first && list_.Current() <= last) {
        ShowGroup();
    }
}

void TDvdPanel::CurrentRowChanged(int) {
    ShowGroup();
}

void TDvdPanel::RowsRemoved(int, int) {
    if (!list_.HasCurrentRow()) {
        ShowGroup();
    }
}

} // namespace tessaro
