#include "PreviewModel.h"

#include "base/TimeTexts.h"

#include <algorithm>
#include <cmath>

namespace tessaro {

void TPreviewModel::EnableButtons(bool play, bool pause, bool stop, bool snap) {
    controls_.PlayEnabled = play;
    controls_.PauseEnabled = pause;
    controls_.StopEnabled = stop;
    controls_.SnapEnabled = snap;
}

// The stopped look: thumb at the start, bar off, both texts at zero.
void TPreviewModel::ResetTimes() {
    controls_.BarPosition = 0;
    controls_.BarEnabled = false;
    controls_.TimeText = "00:00:00";
    controls_.LengthText = "00:00:00";
}

bool TPreviewModel::ResumeFromPause() {
    if (state_ != TPreviewState::Paused) {
        return false;
    }
    state_ = TPreviewState::Playing;
    EnableButtons(false, true, controls_.StopEnabled, true);
    return true;
}

void TPreviewModel::BeginOpen() {
    state_ = TPreviewState::Opening;
    EnableButtons(false, false, false, false);
}

void TPreviewModel::OpenReturned() {
    state_ = TPreviewState::Playing;
    EnableButtons(false, true, true, true);
    controls_.BarEnabled = true;
}

void TPreviewModel::FileOpened(std::int64_t duration, int barWidth) {
    duration_ = duration;
    controls_.LengthText = RoundedLengthText(duration);
    controls_.BarMaximum = std::max(barWidth, 0);
    controls_.ThumbVisible = duration > 0;
    controls_.BarPosition = 0;
}

void TPreviewModel::PositionChanged(std::int64_t position) {
    if (state_ != TPreviewState::Playing && state_ != TPreviewState::Paused) {
        return; // a late notice of a title that was stopped or ended
    }
    controls_.TimeText = PositionText(position);
    if (!dragging_ && duration_ > 0 && controls_.BarMaximum > 0) {
        const double share = std::clamp(double(position) / double(duration_), 0.0, 1.0);
        controls_.BarPosition = int(share * controls_.BarMaximum);
    }
}

// The end looks like a stop; the player is not closed but paused at the start by the panel.
bool TPreviewModel::Ended() {
    return Stop();
}

bool TPreviewModel::Pause() {
    if (state_ != TPreviewState::Playing) {
        return false;
    }
    state_ = TPreviewState::Paused;
    EnableButtons(true, false, true, true);
    return true;
}

bool TPreviewModel::Stop() {
    if (state_ == TPreviewState::Stopped) {
        return false;
    }
    state_ = TPreviewState::Stopped;
    EnableButtons(true, false, false, false);
    ResetTimes();
    return true;
}

std::int64_t TPreviewModel::SeekTarget(int position) const {
    if (controls_.BarMaximum <= 0) {
        return 0;
    }
    return std::int64_t(double(position) / double(controls_.BarMaximum) * double(duration_));
}

} // namespace tessaro
