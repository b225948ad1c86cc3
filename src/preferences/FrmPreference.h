// The preferences dialog: the snapshot folder, sizes, formats and JPEG quality, and the work
// priority of conversions. Made once by the main window and shown modally; each showing reads
// the settings file again, Ok writes it, Cancel leaves it.
#pragma once

#include "Preferences.h"

#include <QDialog>
#include <functional>
#include <string>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace tessaro {

struct TfrmPreferenceControls {
    QGroupBox* grpbx2 = nullptr;
    QLabel* lbl1 = nullptr;
    QLineEdit* edtSnapDirectory = nullptr;
    QPushButton* btnBrows = nullptr;
    QPushButton* btnOpen = nullptr;
    QLabel* lbl2 = nullptr;
    QCheckBox* ckSmallSize = nullptr;
    QCheckBox* ckFullSize = nullptr;
    QLabel* lbl3 = nullptr;
    QCheckBox* ckBmp = nullptr;
    QCheckBox* ckJpg = nullptr;
    QLabel* lbl4 = nullptr;
    QLabel* lbl5 = nullptr;
    QSpinBox* spedCmp = nullptr;
    QSlider* trcCmp = nullptr;
    QGroupBox* rdGrpPriority = nullptr;
    QButtonGroup* priorityItems = nullptr; // ids 0 idle, 1 normal, 2 lower, 3 lowest
    QPushButton* btnDefault = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};

class TfrmPreference : public QDialog {
    Q_OBJECT
public:
    // Shows a folder chooser modally over parent, starting at start, and returns the folder the
    // user confirmed, or an empty text when the user cancelled.
    using TFolderChooser = std::function<std::string(QWidget* parent, const std::string& start)>;

    TfrmPreference(std::string settingsPath, TFolderChooser chooseFolder,
                   QWidget* parent = nullptr);

    const TfrmPreferenceControls& Controls() const { return c_; }
    // What the controls hold now.
    TPreferences Shown() const;

    void btnOkClick();
    void btnCancelClick();
    void btnDefaultClick();
    void btnBrowsClick();
    void btnOpenClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void ConnectControls();
    void FormShow();
    void Show(const TPreferences& preferences);
    void EnableQuality();
    // A size or format box was clicked: it stays ticked while its partner is not.
    void KeepChoice(QCheckBox* clicked, QCheckBox* partner);

    std::string settingsPath_;
    TFolderChooser chooseFolder_;
    TfrmPreferenceControls c_;
};

} // namespace tessaro
