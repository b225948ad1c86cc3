// The preview's state table and its position bar, without widgets.
#include "PreviewModel.h"

#include <gtest/gtest.h>

using namespace tessaro;

namespace {

// Play, Pause, Stop, Snapshot, bar enabled; PreviewPaused, PreviewStopped.
struct TRow {
    bool play, pause, stop, snap, bar, paused, stopped;
};

TRow RowOf(const TPreviewModel& model) {
    const TPreviewControls& c = model.Controls();
    return {c.PlayEnabled, c.PauseEnabled,        c.StopEnabled,         c.SnapEnabled,
            c.BarEnabled,  model.PreviewPaused(), model.PreviewStopped()};
}

void ExpectRow(const TPreviewModel& model, TRow expected, const char* when) {
    const TRow row = RowOf(model);
    EXPECT_EQ(row.play, expected.play) << when;
    EXPECT_EQ(row.pause, expected.pause) << when;
    EXPECT_EQ(row.stop, expected.stop) << when;
    EXPECT_EQ(row.snap, expected.snap) << when;
    EXPECT_EQ(row.bar, expected.bar) << when;
    EXPECT_EQ(row.paused, expected.paused) << when;
    EXPECT_EQ(row.stopped, expected.stopped) << when;
}

constexpr TRow Stopped{true, false, false, false, false, false, true};
constexpr TRow Opening{false, false, false, false, false, false, false};
constexpr TRow Playing{false, true, true, true, true, false, false};
constexpr TRow Paused{true, false, true, true, true, true, false};

void Open(TPreviewModel& model, std::int64_t duration) {
    model.BeginOpen();
    model.FileOpened(duration, 193);
    model.OpenReturned();
}

TEST(PreviewModel, StateTable) {
    TPreviewModel model;
    ExpectRow(model, Stopped, "at start");
    EXPECT_FALSE(model.Pause()) << "nothing to pause";
    EXPECT_FALSE(model.Stop()) << "Stop on a stopped preview does nothing";
    EXPECT_FALSE(model.ResumeFromPause());

    model.BeginOpen();
    ExpectRow(model, Opening, "opening");
    model.FileOpened(3726000000, 193);
    model.OpenReturned();
    ExpectRow(model, Playing, "playing");
    EXPECT_EQ(model.Controls().LengthText, "1:02:06");

    EXPECT_TRUE(model.Pause());
    ExpectRow(model, Paused, "paused");
    EXPECT_FALSE(model.Pause()) << "Pause on a paused preview does nothing";
    EXPECT_TRUE(model.ResumeFromPause());
    ExpectRow(model, Playing, "resumed");

    model.PositionChanged(3723040000);
    EXPECT_EQ(model.Controls().TimeText, "01:02:03.040");
    EXPECT_TRUE(model.Ended());
    ExpectRow(model, Stopped, "after the end");
    EXPECT_EQ(model.Controls().TimeText, "00:00:00");
    EXPECT_EQ(model.Controls().LengthText, "00:00:00");
    EXPECT_EQ(model.Controls().BarPosition, 0);
    EXPECT_FALSE(model.Ended()) << "a second end notice changes nothing";
    model.PositionChanged(1000000);
    EXPECT_EQ(model.Controls().TimeText, "00:00:00") << "late notices are dropped";

    Open(model, 5000000); // Play again opens afresh
    ExpectRow(model, Playing, "playing again");
    EXPECT_TRUE(model.Pause());
    EXPECT_TRUE(model.Stop());
    ExpectRow(model, Stopped, "stopped while paused");
}

TEST(PreviewModel, BarFollowsPlaybackUnlessHeldAndSeeksToTheTruncatedShare) {
    TPreviewModel model;
    Open(model, 20000000);
    EXPECT_EQ(model.Controls().BarMaximum, 193);
    EXPECT_TRUE(model.Controls().ThumbVisible);

    model.PositionChanged(10000000);
    EXPECT_EQ(model.Controls().BarPosition, 96); // 193 / 2 truncated
    model.PositionChanged(25000000);
    EXPECT_EQ(model.Controls().BarPosition, 193);

    model.SetBarDragging(true);
    model.SetBarPosition(40);
    model.PositionChanged(2000000);
    EXPECT_EQ(model.Controls().BarPosition, 40) << "the user holds the thumb";
    EXPECT_EQ(model.Controls().TimeText, "00:00:02.000");
    model.SetBarDragging(false);

    // 96 / 193 x 20 s = 9.948186... s
    EXPECT_EQ(model.SeekTarget(96), 9948186);
    EXPECT_EQ(model.SeekTarget(193), 20000000);
    EXPECT_EQ(model.SeekTarget(0), 0);
}

TEST(PreviewModel, TitleWithoutDurationHidesTheThumbAndNeverMovesIt) {
    TPreviewModel model;
    Open(model, 0);
    EXPECT_FALSE(model.Controls().ThumbVisible);
    model.PositionChanged(3000000);
    EXPECT_EQ(model.Controls().BarPosition, 0);
    EXPECT_EQ(model.Controls().TimeText, "00:00:03.000");
    EXPECT_EQ(model.SeekTarget(96), 0);

    Open(model, -1); // no value
    EXPECT_FALSE(model.Controls().ThumbVisible);
    EXPECT_EQ(model.Controls().LengthText, "0:00:00");
}

} // namespace
