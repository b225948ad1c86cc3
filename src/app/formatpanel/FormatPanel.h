// The output format panel of the main window: the format box edt1 with its drop button and
// chooser, the "Video Options" and "Audio Options" boxes and "Default". The boxes show
// TParameterPanelModel; every user change goes through it into the settings file.
#pragma once

#include "formatpanel/ParameterPanelModel.h"
#include "formats/FormatCatalogue.h"

#include <QObject>
#include <array>
#include <string>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace tessaro {

class TFormatChooserPopup;
class TFormatChooserList;

struct TFormatPanelWidgets {
    QLineEdit* edt1 = nullptr;
    QToolButton* imgbtn1 = nullptr;
    TFormatChooserList* lst1 = nullptr;
    QGroupBox* grpVideo = nullptr;
    QGroupBox* grpAudio = nullptr;
    std::array<QComboBox*, ParamBoxCount> boxes{}; // indexed by TParamBox
    QPushButton* btnDefault = nullptr;
};

class TFormatPanel : public QObject {
    Q_OBJECT
public:
    TFormatPanel(QWidget* client, std::string settingsPath, std::string formatPath,
                 QObject* parent);

    const TFormatPanelWidgets& Widgets() const { return w_; }
    TFormatChooserPopup* Chooser() const { return popup_; }
    const TParameterPanelModel& Parameters() const { return parameters_; }

    // First showing: the chooser's rows from the settings file and the stored format in the
    // format box, which loads the boxes.
    void Fill();
    // The format whose values the boxes show.
    int FormatCode() const { return parameters_.FormatCode(); }

    // Checks and writes the frame size typed into its box, as leaving the box does. A run
    // does this before it reads the settings.
    void CommitFrameSize();
    // Writes the chooser's group states (when the program closes).
    void StoreGroupStates();

    // Opens the chooser, or closes it when it is open. fromDropButton also puts the name of
    // the stored format into the format box.
    void ToggleChooser(bool fromDropButton);
    bool ChooserOpen() const;

signals:
    // A format was chosen in the chooser: its display name and code.
    void formatChosen(const QString& name, int code);

private:
    void BuildFormatBox(QWidget* client);
    void BuildBoxes(QWidget* client);
    bool eventFilter(QObject* watched, QEvent* event) override;

    void SetFormatBoxText(const std::string& text);
    void LoadBoxes();
    void ShowBoxes();
    void ChooseFormat(int row);
    void React(const TPanelReaction& reaction);
    bool FilterKey(TParamBox box, QEvent* event);
    int BoxOf(QObject* watched) const;

    std::string settingsPath_;
    TFormatPanelWidgets w_;
    TFormatChooserModel chooser_;
    TFormatChooserPopup* popup_ = nullptr;
    TParameterPanelModel parameters_;
    int code_ = 1;         // "settings"/"FormatCode" as the chooser last set it
    bool showing_ = false; // boxes are being filled: their signals are not the user's
};

} // namespace tessaro
