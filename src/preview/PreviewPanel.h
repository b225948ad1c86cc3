// The main window's preview group: plays the selected row of the source list into a video
// surface, with play, pause, stop and snapshot buttons, the position and length texts, a
// position bar that follows playback and seeks when released, and volume and mute. A file row
// plays its own file; a DVD title row plays its title of the DVD location. The decisions are
// the Qt-free TPreviewModel's; this widget runs the player and shows the model's controls.
#pragma once

#include "PreviewModel.h"
#include "player/MediaPlayer.h"

#include <QGroupBox>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QSlider;
class QToolButton;

namespace tessaro {

class TPositionBar;
class TSourceListModel;
class TVideoSurfaceWidget;

// The controls of the preview group, named as the rest of the program refers to them.
struct TPreviewWidgets {
    TVideoSurfaceWidget* pan1 = nullptr;
    QToolButton* imgbtnPlay = nullptr;
    QToolButton* imgbtnPAuse = nullptr;
    QToolButton* imgbtnStop = nullptr;
    QToolButton* imgbtnSnap = nullptr;
    QLabel* lblTime = nullptr;
    QLabel* lblPTS = nullptr;
    TPositionBar* trcPreview = nullptr;
    QLabel* lbl2 = nullptr;
    QSlider* trcVolume = nullptr;
    QCheckBox* ckMute = nullptr;
};

// What the panel needs from the window it sits in.
struct TPreviewSetup {
    std::string SettingsPath;               // volume, mute and the snapshot keys
    std::string LibraryFolder;              // where the player's libraries are loaded from
    std::function<std::string()> DvdFolder; // the DVD location DVD title rows play from
};

class TPreviewPanel : public QGroupBox {
    Q_OBJECT
public:
    TPreviewPanel(TSourceListModel& sources, TPreviewSetup setup, QWidget* parent = nullptr);
    // Stops the player and waits for its threads.
    ~TPreviewPanel() override;

    const TPreviewWidgets& Widgets() const { return w_; }
    const TPreviewModel& Model() const { return model_; }
    TMediaPlayer& Player() { return player_; }
    bool PreviewPaused() const { return model_.PreviewPaused(); }
    bool PreviewStopped() const { return model_.PreviewStopped(); }

    // The volume bar and the mute box as the settings file left them (mute: empty leaves the
    // box as it is); the player follows both.
    void RestoreVolume(int volume, std::optional<bool> mute);

    // The four buttons. Play also runs on a double click on a list row; Stop is also called
    // before other parts take the list or the DVD (removing rows, a conversion run, an
    // editor). Errors (a snapshot file that cannot be written) reach the caller.
    void imgbtnPlayClick();
    void imgbtnPauseClick();
    void imgbtnStopClick();
    void imgbtnSnapClick();
    // The window is closing: the player stops without waiting for its end.
    void StopWithoutWaiting();

signals:
    // Play found the list empty: the window offers to add a DVD and plays after adding.
    void emptyListPlayed();
    // A line for the window's hidden log (failed library loading, the opened title).
    void logLine(const QString& line);

private:
    void BuildControls();
    void ConnectControls();
    void ShowControls();

    void OpenRow(int index);
    std::string PrepareSource(int index);

    void PlayerFileOpen(std::int64_t duration, int frameWidth, int frameHeight, int& screenWidth,
                        int& screenHeight);
    void PlayerPosition(std::int64_t position);
    void PlayerState(TPlayState state);

    void PositionBarReleased(int value, bool overBar);
    void StoreVolume();
    void ckMuteClick(bool checked);

    TSourceListModel& sources_;
    TPreviewSetup setup_;
    TPreviewWidgets w_;
    TPreviewModel model_;
    // Last, so that it stops (and its threads stop calling the surface) before the widgets go.
    TMediaPlayer player_;
};

} // namespace tessaro
