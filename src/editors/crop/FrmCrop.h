// The crop editor window ("Crop"): the selected row's picture, previewed live on its own
// file or DVD title, with a rubber-band rectangle and four margin spinners that cut borders
// away. The rules are the Qt-free TCropEditorModel's; the window shows its rectangle and
// margins after every change. The player draws into a small surface hidden behind the
// preview; its frame hook keeps a copy of the latest frame, which a 100 ms timer paints
// fitted into the preview image under the rectangle.
#pragma once

#include "EditorSource.h"
#include "crop/CropEditorModel.h"
#include "player/MediaPlayer.h"

#include <QDialog>
#include <QImage>
#include <atomic>
#include <mutex>
#include <string>

class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;

namespace tessaro {

class TPositionBar;
class TRectTracker;
class TSourceListModel;
class TVideoSurfaceWidget;

struct TCropControls {
    QLabel* imgPreview = nullptr;
    TRectTracker* RectTracker = nullptr;
    QGroupBox* grpCropSize = nullptr;
    QSpinBox* spedUp = nullptr;
    QSpinBox* spedDown = nullptr;
    QSpinBox* spedLeft = nullptr;
    QSpinBox* spedRight = nullptr;
    QPushButton* btnReset = nullptr;
    QPushButton* btnDefault = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QToolButton* imgbtnPlay = nullptr;
    QToolButton* imgbtnpause = nullptr;
    TPositionBar* trcPreview = nullptr;
    QLabel* lblSourceName = nullptr;
    QLabel* lblPTS = nullptr;
    QLabel* lblLength = nullptr;
    TVideoSurfaceWidget* pan1 = nullptr;
    QTimer* Timer = nullptr;
};

class TfrmCrop : public QDialog {
    Q_OBJECT
public:
    static constexpr int FormWidth = 615;
    static constexpr int FormHeight = 435;
    // The light blue the preview image shows where no picture is.
    static constexpr QRgb PreviewBackground = 0xFFA6CAF0;

    // Edits row of sources (which must exist while the window does).
    TfrmCrop(TSourceListModel& sources, int row, TEditorSetup setup, QWidget* parent = nullptr);
    ~TfrmCrop() override;

    const TCropControls& Controls() const { return w_; }
    const TCropEditorModel& Model() const { return model_; }
    TMediaPlayer& Player() { return player_; }
    // How many seeks the seek bar has asked the player for.
    int SeekCount() const { return seekCount_; }

    void btnOkClick();
    void btnCancelClick();
    // However the window closes, the player stops first.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildPreview();
    void BuildCropSize();
    void SetTabOrder();
    void ConnectControls();
    void ShowRect();
    void ShowMargins();
    void SpinnerChanged(TCropSide side, int value);
    void btnResetClick();

    void FormShow();
    void SetUpPicture();
    void ShowSourceName(const std::string& name);
    void PlayerFileOpen(std::int64_t duration);
    void PlayerPosition(std::int64_t position);
    void PlayerState(TPlayState state);
    void PlayerHook(const TBitmap& frame);
    void TimerTick();
    void trcPreviewChange(int position);
    void imgbtnPlayClick();
    void imgbtnpauseClick();
    void StopPlayer();

    TSourceListModel& sources_;
    int row_;
    TEditorSetup setup_;
    TCropControls w_;
    TCropEditorModel model_;
    QImage canvas_; // what imgPreview shows
    std::int64_t duration_ = 0;
    bool shown_ = false;
    bool programmaticMove_ = false;
    int seekCount_ = 0;
    // Frames are copied only while playing; the hook runs on the player's thread.
    std::atomic<bool> paused_{true};
    std::atomic<bool> stopped_{true};
    std::mutex frameLock_;
    QImage frameCopy_;
    bool freshFrame_ = false;
    TMediaPlayer player_;
};

} // namespace tessaro
