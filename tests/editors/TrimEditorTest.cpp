// The trim editor driven like a user does, playing a real file and a DVD title: what a
// showing shows, the range taken from the playback position, Ok, Default, reopening, seeking
// by the bar, and a source that cannot be opened.
#include "DVDPlugIn.h"
#include "EditorSource.h"
#include "PositionBar.h"
#include "TestPaths.h"
#include "WindowTestSupport.h"
#include "base/TimeTexts.h"
#include "trim/FrmTrim.h"
#include "window/QtMainThreadDispatcher.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

using tessaro::test::FixtureDir;
using tessaro::test::LibAvDir;

namespace tessaro {
namespace {

using test::WaitUntil;

const bool registered = (test::TAppEnvironment::Register(), true);
const std::string DvdFolder = FixtureDir() + "/dvd";
const std::string FixtureFile = FixtureDir() + "/h264_aac.mp4";
constexpr std::int64_t FixtureDuration = 12'000'000;

std::string Shown(const QLineEdit* box) {
    return box->text().toStdString();
}

class TrimEditor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadDVDPlugIn(LibAvDir())); }
    void SetUp() override {
        sources_.AddFileRows({{FixtureFile, 0, 12, "lbox"}});
        sources_.SetCurrent(0);
    }

    // Shows the editor on row and waits until the showing has opened the row's source (or
    // found it cannot); returns whether it opened.
    bool Show(int row = 0) {
        editor_.SetRow(row, DvdFolder);
        QSignalSpy opened(&editor_, &TfrmTrim::previewOpened);
        editor_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&editor_));
        EXPECT_TRUE(!opened.isEmpty() || opened.wait(20000));
        return !opened.isEmpty() && opened.first().first().toBool();
    }
    // Lets the file play until the player's position has passed `time`.
    bool PlayPast(std::int64_t time) {
        return WaitUntil([&] { return editor_.Player().CurrentPosition() > time; }, 20000);
    }
    const TTrimControls& c() const { return editor_.Controls(); }

    TQtMainThreadDispatcher dispatcher_; // delivers the player's events
    TSourceListModel sources_;
    TfrmTrim editor_{sources_, TTrimSetup{LibAvDir(), DvdFolder}};
};

TEST_F(TrimEditor, AShowingPlaysTheRowsFileAndTheSeekBarFollowsPlayback) {
    ASSERT_TRUE(Show()) << editor_.Player().LastError();
    EXPECT_EQ(editor_.windowTitle(), "Trim");
    EXPECT_EQ(editor_.size(), QSize(615, 435));
    EXPECT_EQ(c().lblSourceName->text().toStdString(), ShortSourceName(FixtureFile));
    EXPECT_EQ(c().lblLength->text(), "Duration:    00:00:12.000");
    EXPECT_EQ(Shown(c().edtStart), "00:00:00.000");
    EXPECT_EQ(Shown(c().edtEnd), "00:00:12.000");
    EXPECT_EQ(Shown(c().edtTrimLength), "00:00:12.000");
    EXPECT_EQ(c().trcPreview->maximum(), c().trcPreview->width());
    EXPECT_EQ(c().trcPreview->SelectionStart(), 0);
    EXPECT_EQ(c().trcPreview->SelectionEnd(), c().trcPreview->maximum());
    EXPECT_FALSE(c().imgbtnPlay->isEnabled());
    EXPECT_TRUE(c().imgbtnpause->isEnabled());
    EXPECT_TRUE(WaitUntil([&] {
        return c().trcPreview->value() > 0 && c().lblPTS->text().startsWith("Time:    00:00:0");
    }));

    // Pause holds the position; Play goes on.
    QTest::mouseClick(c().imgbtnpause, Qt::LeftButton);
    EXPECT_TRUE(c().imgbtnPlay->isEnabled());
    EXPECT_FALSE(c().imgbtnpause->isEnabled());
    QTest::mouseClick(c().imgbtnPlay, Qt::LeftButton);
    EXPECT_FALSE(c().imgbtnPlay->isEnabled());
    QTest::mouseClick(c().btnCancel, Qt::LeftButton);
    EXPECT_FALSE(editor_.isVisible());
}

TEST_F(TrimEditor, TheRangeTakenWhilePlayingIsStoredAndShownAgainOnReopening) {
    ASSERT_TRUE(Show()) << editor_.Player().LastError();
    ASSERT_TRUE(PlayPast(1'000'000));
    QTest::mouseClick(c().btnOk1, Qt::LeftButton);
    const std::int64_t start = editor_.Model().Start();
    EXPECT_GT(start, 1'000'000);
    EXPECT_EQ(Shown(c().edtStart), TimeText(start));
    EXPECT_GT(c().trcPreview->SelectionStart(), 0);

    ASSERT_TRUE(PlayPast(start + 1'500'000));
    QTest::mouseClick(c().btnOk2, Qt::LeftButton);
    const std::int64_t end = editor_.Model().End();
    EXPECT_GT(end, start + 1'500'000);
    EXPECT_EQ(Shown(c().edtEnd), TimeText(end));
    EXPECT_EQ(Shown(c().edtTrimLength), TimeText(end - start));
    EXPECT_GT(c().trcPreview->SelectionEnd(), c().trcPreview->SelectionStart());

    QTest::mouseClick(c().btnOk, Qt::LeftButton);
    EXPECT_FALSE(editor_.isVisible());
    EXPECT_EQ(sources_.Record(0).TrimStart, start);
    EXPECT_EQ(sources_.Record(0).TrimLength, end - start);
    EXPECT_EQ(sources_.Row(0).Cells[fcTrimmedLength], TrimListText(end - start));

    // The same window shown again: the stored range in the boxes and on the bar.
    ASSERT_TRUE(Show());
    EXPECT_EQ(Shown(c().edtStart), TimeText(start));
    EXPECT_EQ(Shown(c().edtEnd), TimeText(end));
    EXPECT_EQ(Shown(c().edtTrimLength), TimeText(end - start));
    const int maximum = c().trcPreview->maximum();
    EXPECT_EQ(c().trcPreview->SelectionStart(), int(maximum * start / FixtureDuration));
    EXPECT_EQ(c().trcPreview->SelectionEnd(), int(maximum * end / FixtureDuration));
    QTest::mouseClick(c().btnCancel, Qt::LeftButton);
    EXPECT_EQ(sources_.Record(0).TrimStart, start) << "Cancel keeps the stored range";
}

TEST_F(TrimEditor, DefaultTakesTheWholeSourceWhichIsStoredAsNoTrim) {
    sources_.EditRecord(0, [](TlvFilesRecord& record) {
        record.TrimStart = 2'000'000;
        record.TrimLength = 3'000'000;
    });
    ASSERT_TRUE(Show());
    EXPECT_EQ(Shown(c().edtEnd), "00:00:05.000");
    QTest::mouseClick(c().btnDefault, Qt::LeftButton);
    EXPECT_EQ(Shown(c().edtStart), "00:00:00");
    EXPECT_EQ(Shown(c().edtEnd), "00:00:12.000");
    EXPECT_EQ(Shown(c().edtTrimLength), "00:00:12.000");
    EXPECT_EQ(c().trcPreview->SelectionStart(), 0);
    EXPECT_EQ(c().trcPreview->SelectionEnd(), c().trcPreview->maximum());
    QTest::mouseClick(c().btnOk, Qt::LeftButton);
    EXPECT_EQ(sources_.Record(0).TrimStart, 0);
    EXPECT_EQ(sources_.Record(0).TrimLength, 0);
    EXPECT_EQ(sources_.Row(0).Cells[fcTrimmedLength], "   0:00:12");
}

TEST_F(TrimEditor, ReleasingTheLeftButtonOnTheSeekBarSeeksThere) {
    ASSERT_TRUE(Show());
    ASSERT_TRUE(PlayPast(200'000));
    // 95 % of the bar is 11.4 s; the seek lands on the key frame at 10 s (the file has key
    // frames at 0 and 10 s), long before playing would get there.
    TPositionBar* bar = c().trcPreview;
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 95 / 100, bar->height() / 2));
    EXPECT_TRUE(WaitUntil([&] { return editor_.Player().CurrentPosition() >= 9'900'000; }, 5000))
        << editor_.Player().CurrentPosition();
}

// Nothing of another source may land on a row whose own source did not open.
TEST_F(TrimEditor, ASourceThatCannotBeOpenedShowsNothingAndOkLeavesTheRowAlone) {
    test::TTempDir dir;
    ASSERT_EQ(sources_.AddFileRows({{dir.Str() + "/gone.mp4", 1, 12, "lbox"}}), 1);
    const int row = sources_.Count() - 1;
    sources_.EditRecord(row, [](TlvFilesRecord& record) {
        record.TrimStart = 4'000'000;
        record.TrimLength = 2'000'000;
    });
    EXPECT_FALSE(Show(row));
    EXPECT_TRUE(c().lblSourceName->text().isEmpty());
    EXPECT_TRUE(c().lblLength->text().isEmpty());
    QTest::mouseClick(c().btnOk, Qt::LeftButton);
    EXPECT_EQ(sources_.Record(row).TrimStart, 4'000'000);
    EXPECT_EQ(sources_.Record(row).TrimLength, 2'000'000);
}

TEST_F(TrimEditor, ADvdRowPlaysItsOwnTitleUnderItsShortenedName) {
    ASSERT_EQ(DVDEnumTitle(DvdFolder), 3);
    TlvFilesRecord record;
    record.TitleIndex = 1;
    ASSERT_TRUE(DVDGetTitle(1, record.TitleInfo));
    record.SourceName = std::string(60, 'n') + ".vob";
    const int row = sources_.AddDvdTitleRow({"DVD Title 2"}, record);
    ASSERT_TRUE(Show(row)) << editor_.Player().LastError();
    EXPECT_NE(editor_.Player().FileName().find("opendvd:" + DvdFolder + "|Title=2"),
              std::string::npos)
        << editor_.Player().FileName();
    EXPECT_EQ(c().lblSourceName->text().toStdString(), std::string(44, 'n') + "...vob  ");
    EXPECT_EQ(c().lblSourceName->width(), 290);
    EXPECT_NEAR(double(editor_.Model().Duration()), 8.0e6, 0.2e6);
    QTest::mouseClick(c().btnDefault, Qt::LeftButton);
    QTest::mouseClick(c().btnOk, Qt::LeftButton);
    EXPECT_EQ(sources_.Row(row).Cells[dcTrimLength], "   0:00:08");
}

TEST_F(TrimEditor, EveryControlHasANameForAssistiveTechnology) {
    ASSERT_TRUE(Show());
    for (QWidget* control : editor_.findChildren<QWidget*>()) {
        if (!control->isVisible() || control->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        EXPECT_TRUE(test::HasSpokenName(control)) << control->objectName().toStdString();
    }
    // The two "&Ok" buttons of the range say what they take.
    EXPECT_NE(c().btnOk1->accessibleName(), c().btnOk2->accessibleName());
}

} // namespace
} // namespace tessaro
