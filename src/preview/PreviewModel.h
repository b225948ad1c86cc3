// The preview panel without widgets: its state (stopped, opening, playing, paused), what
// each control shows and whether it is enabled, the time texts and the position bar. The
// panel asks it what to do for each button and player event and shows its controls.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {

enum class TPreviewState { Stopped, Opening, Playing, Paused };

// What the panel's controls show.
struct TPreviewControls {
    bool PlayEnabled = true;
    bool PauseEnabled = false;
    bool StopEnabled = false;
    bool SnapEnabled = false;
    bool BarEnabled = false;
    bool ThumbVisible = true;
    int BarPosition = 0;
    int BarMaximum = 0;
    std::string TimeText = "00:00:00"; // playing position
    std::string LengthText = "00:00:00";

    friend bool operator==(const TPreviewControls&, const TPreviewControls&) = default;
};

class TPreviewModel {
public:
    TPreviewState State() const { return state_; }
    // The user paused the preview.
    bool PreviewPaused() const { return state_ == TPreviewState::Paused; }
    // Nothing is playing (start, Stop, or the title's end).
    bool PreviewStopped() const { return state_ == TPreviewState::Stopped; }
    const TPreviewControls& Controls() const { return controls_; }
    // The open title's duration in microseconds as the player reported it.
    std::int64_t Duration() const { return duration_; }

    // Play while paused: true when the player is to resume (the title stays open).
    bool ResumeFromPause();
    // Play otherwise: the player is about to open a title; every button is off meanwhile.
    void BeginOpen();
    // The player's Open returned (whatever its result): the buttons take the playing state.
    void OpenReturned();
    // The player opened a title of duration microseconds; barWidth is the position bar's width
    // in pixels, which becomes its maximum.
    void FileOpened(std::int64_t duration, int barWidth);
    // The player's position: the time text, and the bar's thumb while nobody drags it.
    void PositionChanged(std::int64_t position);
    // The title played to its end: stopped, with the title left open at its start. True when
    // the player is to go back to the start and pause (not when the preview already stopped).
    bool Ended();
    // True when the player is to pause (only while playing).
    bool Pause();
    // True when the player is to stop (not when already stopped).
    bool Stop();

    // The user holds the bar's thumb; playback does not move it meanwhile.
    void SetBarDragging(bool dragging) { dragging_ = dragging; }
    bool BarDragging() const { return dragging_; }
    // The user moved the thumb to position.
    void SetBarPosition(int position) { controls_.BarPosition = position; }
    // Where a release of the bar at position seeks to: position / maximum x duration,
    // truncated toward zero (0 without a maximum).
    std::int64_t SeekTarget(int position) const;

private:
    void EnableButtons(bool play, bool pause, bool stop, bool snap);
    void ResetTimes();

    TPreviewState state_ = TPreviewState::Stopped;
    TPreviewControls controls_;
    std::int64_t duration_ = 0;
    bool dragging_ = false;
};

} // namespace tessaro
