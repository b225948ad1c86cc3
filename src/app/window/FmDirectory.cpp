#include "window/FmDirectory.h"

#include "core/DialogService.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "formats/OutputNames.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tessaro {

TfmDirectory::TfmDirectory(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmDirectory"));
    setWindowTitle(QStringLiteral("Browse"));
    setModal(true);
    resize(322, 351);

    auto* label = new QLabel(QStringLiteral("Please select an output directory:"), this);
    folders_ = new QFileSystemModel(this);
    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    folders_->setRootPath(QDir::rootPath());
    tree_ = Named(new QTreeView(this), "tvFolders");
    tree_->setModel(folders_);
    tree_->setRootIndex(folders_->index(QDir::rootPath()));
    for (int column = 1; column < folders_->columnCount(); ++column) {
        tree_->hideColumn(column);
    }
    tree_->header()->hide();
    label->setBuddy(tree_);

    ok_ = Named(new QPushButton(QStringLiteral("Ok"), this), "btnOk");
    ok_->setDefault(true);
    auto* cancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(tree_);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, Guarded([this] { OkClick(); }));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { ok_->setEnabled(current.isValid()); });
}

std::string TfmDirectory::Choose(const std::string& start) {
    result_.clear();
    // The chooser takes the main window's colour theme.
    if (parentWidget() != nullptr) {
        setStyleSheet(parentWidget()->window()->styleSheet());
    }
    const QString folder = QString::fromStdString(start);
    SelectFolder(QDir(folder).exists() ? folder : QDir::homePath());
    exec();
    return result_;
}

void TfmDirectory::SelectFolder(const QString& folder) {
    const QModelIndex index = folders_->index(QDir(folder).absolutePath());
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    ok_->setEnabled(index.isValid());
}

std::string TfmDirectory::SelectedFolder() const {
    return folders_->filePath(tree_->currentIndex()).toStdString();
}

void TfmDirectory::OkClick() {
    const std::string folder = SelectedFolder();
    if (!CanHoldOutput(folder)) {
        Dialogs().ShowMessage(
            this, TMessageRequest{QApplication::applicationDisplayName().toStdString(),
                                  "Output folder cannot be located in CD-ROM.Please select "
                                  "another folder.",
                                  TMessageIcon::Information, TMessageButtons::Ok});
        return;
    }
    result_ = folder;
    accept();
}

} // namespace tessaro
