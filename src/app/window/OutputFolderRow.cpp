#include "window/OutputFolderRow.h"

#include "core/AppPaths.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "core/IniFile.h"
#include "core/StoredFolder.h"
#include "window/FmDirectory.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tessaro {

TOutputFolderRow::TOutputFolderRow(QWidget* client, std::string settingsPath, QObject* parent)
    : QObject(parent), settingsPath_(std::move(settingsPath)) {
    QLabel* label = MakeLabel(client, "Output Folder:", QRect(8, 432, 90, 26));
    edDirectory_ = Named(new QLineEdit(client), "edDirectory");
    edDirectory_->setGeometry(100, 432, 328, 26);
    edDirectory_->setReadOnly(true);
    label->setBuddy(edDirectory_);
    btnBrows_ = MakeButton(client, "btnBrows", "Browse", QRect(434, 432, 60, 26));
    btnBrows_->setToolTip(QStringLiteral("Choose the output folder"));
    btnOpen_ = MakeButton(client, "btnOpen", "Open", QRect(500, 432, 60, 26));
    btnOpen_->setToolTip(QStringLiteral("Open the output folder"));

    // Every change of the box is stored at once.
    connect(edDirectory_, &QLineEdit::textChanged, this, Guarded([this](const QString& text) {
                TIniFile(settingsPath_).WriteString("settings", "OutPutDir", text.toStdString());
                emit folderChanged();
            }));
    connect(btnBrows_, &QPushButton::clicked, this, Guarded([this] { Browse(); }));
    connect(btnOpen_, &QPushButton::clicked, this, Guarded([this] { Open(); }));
}

void TOutputFolderRow::Load() {
    const QSignalBlocker blocker(edDirectory_);
    edDirectory_->setText(QString::fromStdString(
        TIniFile(settingsPath_).ReadString("settings", "OutPutDir", DefaultOutputDir())));
}

void TOutputFolderRow::Browse() {
    if (chooser_ == nullptr) {
        chooser_ = new TfmDirectory(edDirectory_->window());
    }
    const std::string chosen = chooser_->Choose(edDirectory_->text().toStdString());
    if (!chosen.empty() && QString::fromStdString(chosen) != edDirectory_->text()) {
        edDirectory_->setText(QString::fromStdString(chosen));
    }
}

void TOutputFolderRow::Open() {
    OpenStoredFolder(TIniFile(settingsPath_), "OutPutDir", edDirectory_->text().toStdString());
}

} // namespace tessaro
