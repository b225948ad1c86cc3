#include "window/OutputFolderRow.h"

#include "core/AppPaths.h"
#include "core/ErrorReport.h"
#include "core/IniFile.h"
#include "core/StoredFolder.h"
#include "window/FmDirectory.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tessaro {

TOutputFolderRow::TOutputFolderRow(QWidget* client, std::string settingsPath, QObject* parent)
    : QObject(parent), settingsPath_(std::move(settingsPath)) {
    auto* label = new QLabel(QStringLiteral("Output Folder:"), client);
    label->setGeometry(8, 432, 90, 26);
    edDirectory_ = new QLineEdit(client);
    edDirectory_->setObjectName(QStringLiteral("edDirectory"));
    edDirectory_->setGeometry(100, 432, 328, 26);
    edDirectory_->setReadOnly(true);
    label->setBuddy(edDirectory_);
    btnBrows_ = new QPushButton(QStringLiteral("Brows"), client);
    btnBrows_->setObjectName(QStringLiteral("btnBrows"));
    btnBrows_->setToolTip(QStringLiteral("Choose the output folder"));
    btnBrows_->setGeometry(434, 432, 60, 26);
    btnOpen_ = new QPushButton(QStringLiteral("Open"), client);
    btnOpen_->setObjectName(QStringLiteral("btnOpen"));
    btnOpen_->setToolTip(QStringLiteral("Open the output folder"));
    btnOpen_->setGeometry(500, 432, 60, 26);

    // Every change of the box is stored at once.
    connect(edDirectory_, &QLineEdit::textChanged, this, Guarded([this](const QString& text) {
                TIniFile(settingsPath_).WriteString("settings", "OutPutDir", text.toStdString());
                emit folderChanged();
            }));
    connect(btnBrows_, &QPushButton::clicked, this, Guarded([this] { Brows(); }));
    connect(btnOpen_, &QPushButton::clicked, this, Guarded([this] { Open(); }));
}

void TOutputFolderRow::Load() {
    const QSignalBlocker blocker(edDirectory_);
    edDirectory_->setText(QString::fromStdString(
        TIniFile(settingsPath_).ReadString("settings", "OutPutDir", DefaultOutputDir())));
}

void TOutputFolderRow::Brows() {
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
