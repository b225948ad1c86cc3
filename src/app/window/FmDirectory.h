// The folder chooser of "Browse": the folders of the file system in a tree, "Ok" and "Cancel".
// A folder on a read-only or optical medium cannot hold the output: "Ok" then says so and the
// chooser stays open.
#pragma once

#include <QDialog>
#include <string>

class QFileSystemModel;
class QPushButton;
class QTreeView;

namespace tessaro {

class TfmDirectory : public QDialog {
    Q_OBJECT
public:
    explicit TfmDirectory(QWidget* parent);

    // Shows the chooser modally with start selected; returns the chosen folder, or empty
    // when the user cancelled.
    std::string Choose(const std::string& start);

    QTreeView* Tree() const { return tree_; }
    QPushButton* OkButton() const { return ok_; }
    // Selects folder in the tree (and opens the branches above it).
    void SelectFolder(const QString& folder);
    std::string SelectedFolder() const;

private:
    void OkClick();

    QFileSystemModel* folders_;
    QTreeView* tree_;
    QPushButton* ok_;
    std::string result_;
};

} // namespace tessaro
