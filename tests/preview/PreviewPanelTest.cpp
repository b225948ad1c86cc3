// The preview panel driven like a user does, with real playback of the fixture files and the
// fixture disc: the state table, the position bar, the time texts, volume and mute, snapshots.
#include "PreviewPanel.h"
#include "AppTestSupport.h"
#include "DVDPlugIn.h"
#include "EngineTestSupport.h"
#include "PositionBar.h"
#include "PreviewTestSupport.h"
#include "QtTestApplication.h"
#include "RecordingOpener.h"
#include "TestPaths.h"
#include "VideoSurfaceWidget.h"
#include "core/DialogService.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"
#include "sources/SourceListModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QImageReader>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolButton>

#include <filesystem>

using tessaro::test::FixtureDir;
using tessaro::test::LibAvDir;

using namespace tessaro;
using test::WaitUntil;

namespace {

namespace fs = std::filesystem;

using AppEnvironment = test::TQtTestEnvironment<QApplication>;
const bool registered = (AppEnvironment::Register(), true);

const std::string DvdFolder = FixtureDir() + "/dvd";

std::string Fixture(const std::string& name) {
    return FixtureDir() + "/" + name;
}

// The mean brightness (0 to 255) of a picture.
int MeanValue(const QImage& image) {
    long long sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += image.pixelColor(x, y).value();
        }
    }
    return image.isNull() ? 0 : int(sum / (qint64(image.width()) * image.height()));
}

class PreviewPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadDVDPlugIn(LibAvDir())); }

    void SetUp() override {
        panel_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel_));
    }
    void TearDown() override { opener_.Opened(); }

    const TPreviewWidgets& W() const { return panel_.Widgets(); }
    const TPreviewModel& Model() const { return panel_.Model(); }
    std::string Text(QLabel* label) const { return label->text().toStdString(); }

    void AddFile(const std::string& name) { sources_.AddFileRows({{Fixture(name), 0, 0, "lbox"}}); }
    // One row per title of the fixture disc, as the title browser adds them.
    void AddDiscTitles() {
        const int count = DVDEnumTitle(DvdFolder);
        ASSERT_EQ(count, 3);
        for (int index = 0; index < count; ++index) {
            TlvFilesRecord record;
            record.TitleIndex = index;
            ASSERT_TRUE(DVDGetTitle(index, record.TitleInfo));
            record.AudioID = record.TitleInfo.Audio[0].StreamID;
            record.SubtitleID = 0;
            sources_.AddDvdTitleRow({"DVD Title " + std::to_string(index + 1)}, record);
        }
        sources_.SetCurrent(-1);
    }

    // Play (the button, or as a double click on a row does while playing), then wait for the
    // first painted picture.
    void PlayUntilShown(bool doubleClick = false) {
        QSignalSpy painted(W().pan1, &TVideoSurfaceWidget::picturePainted);
        if (doubleClick) {
            panel_.imgbtnPlayClick();
        } else {
            QTest::mouseClick(W().imgbtnPlay, Qt::LeftButton);
        }
        ASSERT_EQ(Model().State(), TPreviewState::Playing) << panel_.Player().LastError();
        ASSERT_TRUE(WaitUntil([&] { return painted.count() > 0; })) << "no picture painted";
    }

    // The position text as microseconds.
    std::int64_t ShownPosition() const {
        int h = 0, m = 0, s = 0, ms = 0;
        std::sscanf(W().lblTime->text().toUtf8().constData(), "%d:%d:%d.%d", &h, &m, &s, &ms);
        return ((std::int64_t(h) * 60 + m) * 60 + s) * 1000000 + std::int64_t(ms) * 1000;
    }

    // Enabled states of Play, Pause, Stop, Snapshot and the position bar.
    std::string Buttons() const {
        std::string flags;
        for (QWidget* w : std::initializer_list<QWidget*>{
                 W().imgbtnPlay, W().imgbtnPAuse, W().imgbtnStop, W().imgbtnSnap, W().trcPreview}) {
            flags += w->isEnabled() ? '1' : '0';
        }
        return flags;
    }

    test::TTempDir temp_;
    const std::string settingsPath_ = (temp_.Path() / "tessaro.ini").string();
    test::TRecordingOpener opener_{temp_.Path()};
    test::TScopedEnv home_{"HOME", temp_.Str().c_str()};
    TScriptedDialogService dialogs_;
    TScopedDialogService dialogScope_{dialogs_};
    TSourceListModel sources_;
    TPreviewPanel panel_{sources_, {settingsPath_, LibAvDir(), [] { return DvdFolder; }}};
};

TEST_F(PreviewPanelTest, FileRowPlaysItsFileThroughTheStateTable) {
    QSignalSpy log(&panel_, &TPreviewPanel::logLine);
    EXPECT_EQ(Buttons(), "10000") << "stopped";
    AddFile("mpeg2_ac3.mpg");

    PlayUntilShown();
    EXPECT_EQ(panel_.Player().FileName(), Fixture("mpeg2_ac3.mpg"));
    EXPECT_EQ(Buttons(), "01111") << "playing";
    EXPECT_EQ(Text(W().lblPTS), "0:00:12");
    ASSERT_GE(log.count(), 2);
    EXPECT_TRUE(log.at(1).at(0).toString().startsWith("duration: 12.0"));
    EXPECT_TRUE(log.at(1).at(0).toString().endsWith(", frame size: 720x480"));
    // 4:3 inside the 243 x 171 panel: the full height, centred.
    const QRect rect = W().pan1->PictureRect();
    EXPECT_EQ(rect.height(), 171);
    EXPECT_NEAR(double(rect.width()) / rect.height(), 4.0 / 3.0, 0.02);
    EXPECT_NEAR(rect.center().x(), 121, 2);
    EXPECT_EQ(W().pan1->Picture().size(), rect.size());

    // The bar follows playback while nobody holds it.
    ASSERT_TRUE(WaitUntil([&] { return W().trcPreview->value() > 0; }));
    EXPECT_EQ(W().trcPreview->maximum(), 193);

    QTest::mouseClick(W().imgbtnPAuse, Qt::LeftButton);
    EXPECT_EQ(Buttons(), "10111") << "paused";
    EXPECT_TRUE(panel_.Player().Paused());
    const std::int64_t pausedAt = ShownPosition();
    panel_.imgbtnPauseClick(); // Pause on a paused preview does nothing
    EXPECT_TRUE(Model().PreviewPaused());

    QTest::mouseClick(W().imgbtnPlay, Qt::LeftButton); // resumes, no new open
    EXPECT_EQ(Buttons(), "01111");
    EXPECT_FALSE(panel_.Player().Paused());
    ASSERT_TRUE(WaitUntil([&] { return ShownPosition() > pausedAt + 200000; }));

    QTest::mouseClick(W().imgbtnStop, Qt::LeftButton);
    EXPECT_EQ(Buttons(), "10000") << "stopped";
    EXPECT_EQ(Text(W().lblTime), "00:00:00");
    EXPECT_EQ(Text(W().lblPTS), "00:00:00");
    EXPECT_EQ(W().trcPreview->value(), 0);
    EXPECT_TRUE(W().pan1->Picture().isNull()) << "Stop removes the last picture";
    EXPECT_EQ(panel_.Player().State(), psStop);
    panel_.imgbtnStopClick(); // Stop on a stopped preview does nothing
    EXPECT_TRUE(Model().PreviewStopped());

    PlayUntilShown(); // a new open
    EXPECT_EQ(Buttons(), "01111");
}

TEST_F(PreviewPanelTest, ReleaseOnTheBarSeeksAndTheEndStopsWithTheTitleAtItsStart) {
    AddFile("two_audio.mkv"); // 5 s
    PlayUntilShown();
    TPositionBar* bar = W().trcPreview;
    const std::int64_t duration = Model().Duration();
    ASSERT_GT(duration, 4900000);

    // The keyboard moves the thumb without seeking.
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_End);
    EXPECT_EQ(bar->value(), 193);
    EXPECT_LT(ShownPosition(), 3000000);

    // Press on the bar, drag the thumb to 96 of 193 and release over the bar.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(5, bar->height() / 2));
    bar->setSliderPosition(96);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(100, bar->height() / 2));
    const std::int64_t target = std::int64_t(96.0 / 193.0 * double(duration));
    EXPECT_EQ(Model().SeekTarget(96), target);
    ASSERT_TRUE(WaitUntil([&] {
        const std::int64_t shown = ShownPosition();
        return shown >= target - 100000 && shown < target + 1500000;
    })) << Text(W().lblTime);

    // The end: stopped, both texts at zero, the title open and paused at its start.
    ASSERT_TRUE(WaitUntil([&] { return Model().PreviewStopped(); }));
    EXPECT_EQ(Buttons(), "10000");
    EXPECT_EQ(Text(W().lblTime), "00:00:00");
    EXPECT_EQ(Text(W().lblPTS), "00:00:00");
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(WaitUntil([&] { return panel_.Player().State() == psPause; }));
    EXPECT_EQ(panel_.Player().FileName(), Fixture("two_audio.mkv"));

    // Play again opens the title from its start.
    PlayUntilShown();
    EXPECT_EQ(Buttons(), "01111");
    EXPECT_EQ(Text(W().lblPTS), "0:00:05");
    EXPECT_LT(ShownPosition(), 2000000);
}

TEST_F(PreviewPanelTest, ReleaseAwayFromTheBarDoesNotSeek) {
    AddFile("mpeg2_ac3.mpg");
    PlayUntilShown();
    TPositionBar* bar = W().trcPreview;
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(5, bar->height() / 2));
    bar->setSliderPosition(150);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(100, bar->height() + 40));
    ASSERT_TRUE(WaitUntil([&] { return ShownPosition() > 500000; }));
    EXPECT_LT(ShownPosition(), 4000000) << "no seek to 150 / 193 of 12 s";
}

TEST_F(PreviewPanelTest, DvdRowsPlayTheirOwnTitleAndPlayWithoutSelectionTakesTheFirstRow) {
    AddDiscTitles();
    ASSERT_FALSE(sources_.HasCurrentRow());
    PlayUntilShown();
    EXPECT_EQ(sources_.Current(), 0);
    EXPECT_EQ(panel_.Player().FileName(), "opendvd:" + DvdFolder);
    EXPECT_EQ(Text(W().lblPTS), "0:00:20"); // title 1: 19.967 s
    EXPECT_NEAR(double(W().pan1->PictureRect().width()) / W().pan1->PictureRect().height(),
                4.0 / 3.0, 0.02);

    // The second row is the 16:9 title of 8 s: the picture keeps its shape, full width.
    sources_.SetCurrent(1);
    PlayUntilShown(true); // opened afresh
    EXPECT_EQ(Text(W().lblPTS), "0:00:08");
    const QRect rect = W().pan1->PictureRect();
    EXPECT_EQ(rect.width(), 243);
    EXPECT_NEAR(double(rect.width()) / rect.height(), 16.0 / 9.0, 0.03);
    EXPECT_NEAR(rect.center().y(), 85, 2);
}

TEST_F(PreviewPanelTest, PlayOnAnEmptyListAsksForADisc) {
    QSignalSpy asked(&panel_, &TPreviewPanel::emptyListPlayed);
    QTest::mouseClick(W().imgbtnPlay, Qt::LeftButton);
    EXPECT_EQ(asked.count(), 1);
    EXPECT_EQ(Buttons(), "10000");
    EXPECT_EQ(panel_.Player().State(), psStop);
    EXPECT_EQ(panel_.Player().FileName(), "");
}

TEST_F(PreviewPanelTest, VolumeAndMuteReachThePlayerAndTheSettingsFile) {
    TIniFile settings(settingsPath_);
    panel_.RestoreVolume(100, true);
    EXPECT_EQ(W().trcVolume->value(), 100);
    EXPECT_TRUE(W().ckMute->isChecked());
    EXPECT_EQ(panel_.Player().AudioVolume(), 100);
    EXPECT_TRUE(panel_.Player().Mute());
    EXPECT_FALSE(fs::exists(settingsPath_)) << "restoring writes nothing";

    // Dragging the thumb: the player follows at once, the file when the button comes up.
    QSlider* volume = W().trcVolume;
    QStyleOptionSlider option;
    option.initFrom(volume);
    option.orientation = Qt::Horizontal;
    option.minimum = volume->minimum();
    option.maximum = volume->maximum();
    option.sliderPosition = option.sliderValue = volume->value();
    const QPoint handle =
        volume->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, volume)
            .center();
    QTest::mousePress(volume, Qt::LeftButton, {}, handle);
    QTest::mouseMove(volume, handle - QPoint(40, 0));
    EXPECT_LT(volume->value(), 100);
    EXPECT_EQ(panel_.Player().AudioVolume(), volume->value());
    EXPECT_EQ(settings.ReadInteger("settings", "volume", -1), -1);
    QTest::mouseRelease(volume, Qt::LeftButton, {}, handle - QPoint(40, 0));
    EXPECT_EQ(settings.ReadInteger("settings", "volume", -1), volume->value());

    // The keyboard: stored at each step.
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_End);
    EXPECT_EQ(settings.ReadInteger("settings", "volume", -1), 128);
    EXPECT_EQ(panel_.Player().AudioVolume(), 128);

    QTest::mouseClick(W().ckMute, Qt::LeftButton);
    EXPECT_FALSE(panel_.Player().Mute());
    EXPECT_EQ(settings.ReadInteger("settings", "mute", -1), 0);
    QTest::mouseClick(W().ckMute, Qt::LeftButton);
    EXPECT_TRUE(panel_.Player().Mute());
    EXPECT_EQ(settings.ReadInteger("settings", "mute", -1), 1);
}

TEST_F(PreviewPanelTest, SnapshotsFollowTheFourSwitchesAndOpenTheFolder) {
    const fs::path folder = temp_.Path() / "snaps";
    TIniFile settings(settingsPath_);
    settings.WriteString("settings", "SnapOutPutDir", folder.string());
    panel_.imgbtnSnapClick(); // nothing open: nothing happens
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(opener_.Opened().empty());

    AddFile("mpeg2_ac3.mpg");
    PlayUntilShown();
    // Pictures of the clip are flowing (on a busy machine the first paint may come before the
    // first decoded picture): the snapshots take the test pattern.
    ASSERT_TRUE(WaitUntil([&] { return ShownPosition() >= 200000; })) << "playback did not advance";
    QTest::mouseClick(W().imgbtnPAuse, Qt::LeftButton);

    struct TCase {
        int full, small, bmp, jpg;
        std::vector<std::string> files;
    };
    const TCase cases[] = {
        {1,
         1,
         1,
         1,
         {"Snapshot_full.bmp", "Snapshot_full.jpg", "Snapshot_small.bmp", "Snapshot_small.jpg"}},
        {1, 0, 1, 0, {"Snapshot_full.bmp"}},
        {0, 1, 0, 1, {"Snapshot_small.jpg"}},
        {1, 1, 0, 0, {}},
    };
    int openings = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.full << c.small << c.bmp << c.jpg);
        fs::remove_all(folder);
        settings.WriteInteger("settings", "snapFullSize", c.full);
        settings.WriteInteger("settings", "snapSmallSize", c.small);
        settings.WriteInteger("settings", "snapBmp", c.bmp);
        settings.WriteInteger("settings", "snapJpg", c.jpg);
        QTest::mouseClick(W().imgbtnSnap, Qt::LeftButton);

        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
            const QImage image(QString::fromStdString(entry.path().string()));
            const bool full = names.back().starts_with("Snapshot_full");
            EXPECT_EQ(image.size(), full ? QSize(720, 480) : QSize(243, 171)) << names.back();
            EXPECT_GT(MeanValue(image), 40) << "the test pattern, not a black picture";
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.files);
        ++openings;
        EXPECT_EQ(opener_.Opened().size(), std::size_t(openings)) << "the folder opens each time";
    }
    EXPECT_EQ(opener_.Opened().back(), folder.string());
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(PreviewPanelTest, SnapshotBeforeTheFirstPictureIsBlackAtTheCodedSize) {
    const fs::path folder = temp_.Path() / "snaps";
    TIniFile settings(settingsPath_);
    settings.WriteString("settings", "SnapOutPutDir", folder.string());
    AddFile("sync_beep.mp4"); // 320 x 240, black until 1 s
    panel_.imgbtnPlayClick();
    ASSERT_TRUE(W().imgbtnSnap->isEnabled());
    panel_.imgbtnSnapClick(); // before any event was served
    const QImage full(QString::fromStdString((folder / "Snapshot_full.bmp").string()));
    ASSERT_EQ(full.size(), QSize(320, 240));
    EXPECT_LE(MeanValue(full), 2);
    const QImage small(QString::fromStdString((folder / "Snapshot_small.jpg").string()));
    EXPECT_EQ(small.size(), QSize(243, 171));
}

} // namespace
