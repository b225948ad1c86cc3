// The trim editor window ("Trim"): plays the selected row's own file or DVD title in its own
// player and lets the user take the range's start and end from the playback position. Ok
// stores the range in the row's record and its length in the list's "Trim Length" column.
// The range and its rules are the Qt-free TTrimEditorModel's. The main window makes the
// window once and shows it for each use, so the last range carries over.
#pragma once

#include "EditorSource.h"
#include "player/MediaPlayer.h"
#include "trim/TrimEditorModel.h"

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tessaro {

class TPositionBar;
class TSourceListModel;
class TVideoSurfaceWidget;

struct TTrimControls {
    TVideoSurfaceWidget* imgPreview = nullptr;
    TPositionBar* trcPreview = nullptr;
    QToolButton* imgbtnPlay = nullptr;
    QToolButton* imgbtnpause = nullptr;
    QLabel* lblSourceName = nullptr;
    QLabel* lblPTS = nullptr;
    QLabel* lblLength = nullptr;
    QLineEdit* edtStart = nullptr;
    QPushButton* btnOk1 = nullptr;
    QLineEdit* edtEnd = nullptr;
    QPushButton* btnOk2 = nullptr;
    QLineEdit* edtTrimLength = nullptr;
    QPushButton* btnReset = nullptr;
    QPushButton* btnDefault = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};

using TTrimSetup = TEditorSetup;

class TfrmTrim : public QDialog {
    Q_OBJECT
public:
    static constexpr int FormWidth = 615;
    static constexpr int FormHeight = 435;

    // Edits rows of sources (which must outlive the window).
    TfrmTrim(TSourceListModel& sources, TTrimSetup setup, QWidget* parent = nullptr);
    ~TfrmTrim() override;

    // The row the next showing edits, and the DVD location its DVD title rows play from now.
    void SetRow(int row, std::string dvdFolder) {
        row_ = row;
        setup_.DvdFolder = std::move(dvdFolder);
    }
    int Row() const { return row_; }

    const TTrimControls& Controls() const { return w_; }
    const TTrimEditorModel& Model() const { return model_; }
    TMediaPlayer& Player() { return player_; }
    // Whether this showing opened the row's source.
    bool SourceOpened() const { return sourceOpened_; }

    void btnOk1Click();
    void btnOk2Click();
    void btnResetClick();
    void btnOkClick();
    void btnCancelClick();
    // However the window closes, the player stops first.
    void done(int result) override;

signals:
    // The showing has opened the row's source (or found it cannot).
    void previewOpened(bool opened);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildPreview();
    void BuildRange();
    void ConnectControls();
    void SetTabOrder();

    void OpenPreview();
    void ClearShowing();
    void ShowRange();
    void ShowSelection(int start, int end);
    void PlayerFileOpen(std::int64_t duration, int& screenWidth, int& screenHeight);
    void PlayerPosition(std::int64_t position);
    void PlayerState(TPlayState state);
    void imgbtnPlayClick();
    void imgbtnpauseClick();
    void SeekBarReleased(int value, bool overBar);
    void StopPlayer();

    TSourceListModel& sources_;
    TTrimSetup setup_;
    int row_ = -1;
    TTrimControls w_;
    TTrimEditorModel model_;
    bool sourceOpened_ = false;
    TMediaPlayer player_;
};

} // namespace tessaro
