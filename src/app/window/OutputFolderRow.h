// The output folder row of the main window: the read-only box edDirectory with the folder of
// "settings"/"OutPutDir", "Browse" to choose another folder and "Open" to show it in the
// desktop's file manager.
#pragma once

#include <QObject>
#include <string>

class QLineEdit;
class QPushButton;
class QWidget;

namespace tessaro {

class TfmDirectory;

class TOutputFolderRow : public QObject {
    Q_OBJECT
public:
    TOutputFolderRow(QWidget* client, std::string settingsPath, QObject* parent);

    QLineEdit* Box() const { return edDirectory_; }
    QPushButton* BrowseButton() const { return btnBrows_; }
    QPushButton* OpenButton() const { return btnOpen_; }
    // Created on first use.
    TfmDirectory* Chooser() const { return chooser_; }

    // Shows the stored folder (first showing).
    void Load();
    void Browse();
    void Open();

signals:
    void folderChanged();

private:
    std::string settingsPath_;
    QLineEdit* edDirectory_;
    QPushButton* btnBrows_;
    QPushButton* btnOpen_;
    TfmDirectory* chooser_ = nullptr;
};

} // namespace tessaro
