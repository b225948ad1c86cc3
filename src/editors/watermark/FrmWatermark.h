// The watermark and effects editor window ("Water Mark"): a text watermark, an image
// watermark and four picture adjustments for the selected row of the source list, previewed
// live on the row's own file or DVD title. The values and their rules are the Qt-free
// TWatermarkEditorModel's; every change is published to the player's hook, which paints the
// latest published values on the player's video thread and never reads the widgets.
#pragma once

#include "EditorSource.h"
#include "EffectHooks.h"
#include "player/MediaPlayer.h"
#include "watermark/WatermarkEditorModel.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace tessaro {

class TPositionBar;
class TSourceListModel;
class TVideoSurfaceWidget;

struct TWatermarkControls {
    QTabWidget* pgcWaterMark = nullptr;
    // Source Preview.
    TVideoSurfaceWidget* imgPreview = nullptr;
    TPositionBar* trcPreview = nullptr;
    QToolButton* spdBtnPlay = nullptr;
    QToolButton* spdBtnPause = nullptr;
    QLabel* lblPTS = nullptr;
    QLabel* lblLength = nullptr;
    // Add Text.
    QFontComboBox* cmbFont = nullptr;
    QComboBox* cmbFontSize = nullptr;
    QComboBox* cmbFontColor = nullptr;
    QCheckBox* chkBold = nullptr;
    QCheckBox* chkItalic = nullptr;
    QCheckBox* chkUnderline = nullptr;
    QCheckBox* chkStrikeOut = nullptr;
    QLineEdit* edtFont = nullptr;
    QSlider* trcTextHoriz = nullptr;
    QLineEdit* edtTextHoriz = nullptr;
    QSlider* trcTextVert = nullptr;
    QLineEdit* edtTextVert = nullptr;
    QPushButton* btnClearText = nullptr;
    // Add Image.
    QLineEdit* edtAddImage = nullptr;
    QPushButton* btnBrows = nullptr;
    QSlider* trcImageHoriz = nullptr;
    QLineEdit* edtImageHoriz = nullptr;
    QSlider* trcImageVert = nullptr;
    QLineEdit* edtImageVert = nullptr;
    QSlider* trcImageAlpha = nullptr;
    QLineEdit* edtImageAlpha = nullptr;
    QRadioButton* rbTransparent1 = nullptr;
    QRadioButton* rbTransparent2 = nullptr;
    QPushButton* btnClearImage = nullptr;
    // Effect.
    QSlider* trcBrightness = nullptr;
    QSpinBox* spedtBrightness = nullptr;
    QSlider* trcContrast = nullptr;
    QSpinBox* spedtContrast = nullptr;
    QSlider* trcSaturation = nullptr;
    QSpinBox* spedtSaturation = nullptr;
    QSlider* trcExposure = nullptr;
    QSpinBox* spedtExposure = nullptr;
    QCheckBox* chkProcessText = nullptr;
    QCheckBox* chkProcessImage = nullptr;
    QPushButton* btnReset = nullptr;
    // Bottom.
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};

using TWatermarkSetup = TEditorSetup;

class TfrmWaterMark : public QDialog {
    Q_OBJECT
public:
    static constexpr int FormWidth = 786;
    static constexpr int FormHeight = 415;

    // Edits row of sources (which must exist while the window does).
    TfrmWaterMark(TSourceListModel& sources, int row, TWatermarkSetup setup,
                  QWidget* parent = nullptr);
    ~TfrmWaterMark() override;

    const TWatermarkControls& Controls() const { return w_; }
    const TWatermarkEditorModel& Model() const { return model_; }
    TMediaPlayer& Player() { return player_; }
    // Where the preview hook last placed the text and the image.
    TEffectPlacement Placement() const { return effects_.Placement(); }

    void btnOkClick();
    void btnCancelClick();
    // However the window closes, the player stops first.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildPreview();
    void BuildTextPage(QWidget* page);
    void BuildImagePage(QWidget* page);
    void BuildEffectPage(QWidget* page);
    void SetTabOrder();
    void ConnectControls();
    void ConnectTextPage();
    void ConnectImagePage();
    void ConnectEffectPage();
    void ShowValues();
    void ShowTextFont();
    void ShowEnabling();
    void Publish();

    void OpenPreview();
    void PlayerFileOpen(std::int64_t duration, int& screenWidth, int& screenHeight);
    void PlayerPosition(std::int64_t position);
    void PlayerState(TPlayState state);
    void PreviewPainted();
    void spdBtnPlayClick();
    void spdBtnPauseClick();
    void btnBrowsClick();
    void btnClearImageClick();
    void btnClearTextClick();
    void StopPlayer();

    TSourceListModel& sources_;
    int row_;
    TWatermarkSetup setup_;
    TWatermarkControls w_;
    TWatermarkEditorModel model_;
    std::int64_t duration_ = 0;
    bool opened_ = false;
    // Before the player: its hook paints with these until the player has stopped.
    TPreviewEffects effects_;
    TMediaPlayer player_;
};

} // namespace tessaro
