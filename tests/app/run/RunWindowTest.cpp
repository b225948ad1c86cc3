// The conversion run through its windows: real conversions of short fixtures under the
// progress window, driven by clicks, checked on the rows, the figures and the decoded outputs;
// the shut-down countdown with a replaced power-off command; the desktop notice on a private
// session bus.
#include "AppTestSupport.h"
#include "DVDPlugIn.h"
#include "EngineTestSupport.h"
#include "QtTestApplication.h"
#include "TestPaths.h"
#include "TranscodeTestSupport.h"
#include "WindowTestSupport.h"
#include "converter/Converter.h"
#include "converter/TranscoderTask.h"
#include "core/DefaultSettings.h"
#include "core/DialogService.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"
#include "run/DesktopNotice.h"
#include "run/FrmProgress.h"
#include "run/FrmShutDown.h"
#include "run/RunController.h"
#include "sources/SourceListPanel.h"
#include "window/Application.h"
#include "window/FrmMain.h"
#include "window/QtMainThreadDispatcher.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

using namespace tessaro;
using tessaro::test::DataDir;
using tessaro::test::LibAvDir;
using tessaro::test::TTempDir;

namespace {

namespace fs = std::filesystem;

using AppEnvironment = tessaro::test::TAppEnvironment;
const bool registered = (AppEnvironment::Register(), true);

// Runs the event loop until done() holds. No time limit: the test runner's own limit ends a
// test that hangs.
void WaitUntil(const std::function<bool()>& done) {
    QTimer wake;
    wake.start(10);
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

const QColor Background(166, 203, 240);

class ConversionRunWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::LoadConverterLibraries(); }
    static void TearDownTestSuite() { test::UnloadConverterLibraries(); }

    void SetUp() override {
        AppEnvironment::App();
        InstallDefaultSettings(SettingsPath(), DataDir() + "/" + DefaultSettingsFileName);
        TIniFile(SettingsPath()).WriteString("settings", "OutPutDir", OutDir());
        fs::create_directories(OutDir());
        list_.SetDestinationRule({OutDir(), ".mp4"});
        window_.resize(300, 200);
        window_.show();

        TRunHost host;
        host.Window = &window_;
        host.List = &list_;
        host.Setup = [this] {
            return TRunSetup{SettingsPath(), DataDir() + "/plovupspformat.ini", LibAvDir(),
                             dvdFolder_};
        };
        host.PreviewFrame = [this] { return &frame_; };
        host.OpenOutputFolder = [this] { ++foldersOpened_; };
        host.Notify = [this](const TBatchNotice& notice) { notices_.push_back(notice); };
        controller_ = std::make_unique<TRunController>(std::move(host));
        QObject::connect(controller_.get(), &TRunController::finished, [this] { ++finished_; });
    }

    void TearDown() override { controller_.reset(); }

    std::string SettingsPath() const { return dir_.Str() + "/tessaro.ini"; }
    std::string OutDir() const { return dir_.Str() + "/out"; }
    std::string Output(const std::string& name) const { return OutDir() + "/" + name; }

    // A source of its own name: a link to a fixture.
    std::string Source(const std::string& name, const std::string& fixture = "two_audio.mkv") {
        const std::string path = dir_.Str() + "/" + name;
        fs::create_symlink(test::Fixture(fixture), path);
        return path;
    }

    void AddRows(const std::vector<std::string>& paths) {
        std::vector<TNewFileRow> rows;
        for (const std::string& path : paths) {
            rows.push_back(TNewFileRow{path, int(rows.size()), 5, "lbox"});
        }
        list_.AddFileRows(rows);
    }

    std::string ProgressOf(int row) const {
        const TSourceRow& r = list_.Row(row);
        return r.Cells[std::size_t(ProgressColumn(r.Kind))];
    }

    // Starts the run and waits for the end of the batch.
    void RunToTheEnd() {
        controller_->Start();
        WaitUntil([this] { return finished_ > 0; });
    }

    TfrmProgress& Progress() const { return *controller_->ProgressWindow(); }
    const TfrmProgressControls& Controls() const { return Progress().Controls(); }
    TConverter& Converter() const { return controller_->Converter(); }

    // Holds one task at the custom hook once, at its tenth frame, until release(task) holds.
    void HoldTask(int taskIndex, std::function<bool(TTranscoder&)> release) {
        Converter().SetOnCustomHook([this, taskIndex, release](TConverter& sender, PHookInfo info) {
            if (info->TaskIndex != taskIndex || info->FrameNumber < 10 || held_) {
                return;
            }
            TTranscoder& task = *sender.Task(taskIndex);
            held_ = true;
            while (!release(task)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }

    static void WithEffects(TSourceListModel& list, int row) {
        list.EditRecord(row, [](TlvFilesRecord& record) { record.Brightness = 200; });
    }

    TQtMainThreadDispatcher dispatcher_;
    // Never the real power-off, whatever a test does with the countdown.
    test::TScopedEnv powerOff_{"TESSARO_POWEROFF_COMMAND", "true"};
    TTempDir dir_;
    QWidget window_;
    TSourceListModel list_;
    TBitmap frame_;
    std::string dvdFolder_;
    std::unique_ptr<TRunController> controller_;
    int foldersOpened_ = 0;
    int finished_ = 0;
    std::vector<TBatchNotice> notices_;
    std::atomic<bool> held_{false};
};

TEST_F(ConversionRunWindow, ThreeCheckedRowsOfFiveConvertOneAfterAnother) {
    AddRows({Source("a.mkv"), Source("b.mkv"), Source("c.mkv"), Source("d.mkv"), Source("e.mkv")});
    list_.SetChecked(0, false);
    list_.SetChecked(2, false);

    // What the window shows at each report, and whether the main window repaints meanwhile.
    std::vector<std::string> counters;
    int paintsWhileRunning = 0;
    struct TPaintCounter : QObject {
        std::function<void()> painted;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted();
            }
            return false;
        }
    } paintCounter;
    paintCounter.painted = [&] { paintsWhileRunning += controller_->Running() ? 1 : 0; };
    window_.installEventFilter(&paintCounter);

    controller_->Start();
    ASSERT_NE(controller_->ProgressWindow(), nullptr);
    EXPECT_TRUE(Progress().isVisible());
    EXPECT_TRUE(Progress().isModal());
    Controls().ckShutDown->setChecked(true);
    QObject::connect(&Progress(), &TfrmProgress::figuresShown, [&] {
        const std::string counter = Controls().lblProgress->text().toStdString();
        if (counters.empty() || counters.back() != counter) {
            counters.push_back(counter);
        }
        window_.update();
    });
    WaitUntil([&] { return finished_ > 0; });

    EXPECT_EQ(controller_->Run()->TaskRows(),
              (std::vector<TRowId>{list_.Row(1).Id, list_.Row(3).Id, list_.Row(4).Id}));
    EXPECT_EQ(counters, (std::vector<std::string>{"[1/3]", "[2/3]", "[3/3]"}));
    for (const int row : {1, 3, 4}) {
        EXPECT_EQ(ProgressOf(row), "100%") << row;
    }
    EXPECT_EQ(ProgressOf(0), "");
    EXPECT_EQ(ProgressOf(2), "");
    EXPECT_GT(paintsWhileRunning, 0) << "the main window repaints during the run";
    EXPECT_FALSE(Progress().isVisible());
    EXPECT_EQ(Controls().progbarFile->value(), 100);
    EXPECT_EQ(Controls().lblProgress->text(), QStringLiteral("[3/3]"));
    EXPECT_EQ(Controls().lblOutput->text().toStdString(), list_.Row(4).Caption());
    EXPECT_FALSE(Controls().lblElapsed->text().isEmpty());

    for (const char* name : {"b_(new).mp4", "d_(new).mp4", "e_(new).mp4"}) {
        SCOPED_TRACE(name);
        const test::TFileFacts facts = test::ProbeFile(Output(name));
        ASSERT_TRUE(facts.opened);
        ASSERT_EQ(facts.video.size(), 1u);
        EXPECT_EQ(facts.video[0].width, 320);
        EXPECT_NEAR(facts.video[0].Duration(), 5.0, 0.2);
        ASSERT_EQ(facts.audio.size(), 1u);
    }
    EXPECT_FALSE(fs::exists(Output("a_(new).mp4")));
    // The list's destinations pass over the files just written.
    EXPECT_EQ(list_.Row(1).Record.OutputName, Output("b_(new_1).mp4"));

    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0].Summary, "Conversion finished");
    EXPECT_EQ(notices_[0].Body, "3 files written.");
    EXPECT_EQ(foldersOpened_, 1);

    // The last task finished with "Shut down computer after conversion" checked: the
    // countdown runs; cancelling it keeps the computer on.
    ASSERT_NE(controller_->ShutDownWindow(), nullptr);
    EXPECT_TRUE(controller_->ShutDownWindow()->isVisible());
    QTest::mouseClick(controller_->ShutDownWindow()->CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(controller_->ShutDownWindow()->Counting());
}

TEST_F(ConversionRunWindow, CancelDuringTheSecondTaskStopsTheBatch) {
    AddRows({Source("a.mkv"), Source("b.mkv"), Source("c.mkv")});
    WithEffects(list_, 1);
    controller_->Start();
    HoldTask(1, [](TTranscoder& task) { return task.StopRequested(); });
    Controls().ckShutDown->setChecked(true);
    WaitUntil([&] { return held_ && ProgressOf(0) == "100%"; });

    QTest::mouseClick(Controls().btnCancel, Qt::LeftButton);
    EXPECT_FALSE(Progress().isVisible());
    WaitUntil([&] { return finished_ > 0; });

    EXPECT_NE(ProgressOf(1), "100%");
    EXPECT_EQ(ProgressOf(2), "") << "the third task never starts";
    EXPECT_TRUE(controller_->Run()->Outcome().Stopped);
    EXPECT_EQ(controller_->Run()->Outcome().Written, 1);
    EXPECT_EQ(foldersOpened_, 0);
    EXPECT_EQ(controller_->ShutDownWindow(), nullptr);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0].Summary, "Conversion stopped");
    EXPECT_EQ(Converter().TaskCount(), 0) << "the final notice empties the task list";
}

TEST_F(ConversionRunWindow, PauseThenResumeFinishesTheSameTask) {
    AddRows({Source("a.mkv")});
    WithEffects(list_, 0);
    controller_->Start();
    HoldTask(0, [](TTranscoder& task) { return task.PauseRequested() || task.StopRequested(); });
    WaitUntil([&] { return held_.load(); });

    QTest::mouseClick(Controls().btnPause, Qt::LeftButton);
    ASSERT_TRUE(Converter().Task(0)->Parked());
    EXPECT_TRUE(controller_->Run()->Paused());
    EXPECT_FALSE(Controls().btnPause->isEnabled()) << "Pause cannot be pressed twice";
    EXPECT_TRUE(Controls().btnResume->isEnabled());
    // While paused the picture keeps the last frame, fitted with margins left and right.
    WaitUntil([&] { return Progress().Picture().pixelColor(194, 100) != Background; });
    EXPECT_EQ(Progress().Picture().pixelColor(30, 100), Background);

    // Snapshots of the paused frame: JPEG only, and a second one takes fresh names.
    const std::string snaps = dir_.Str() + "/snaps";
    TIniFile settings(SettingsPath());
    settings.WriteString("settings", "SnapOutPutDir", snaps);
    settings.WriteInteger("settings", "snapBmp", 0);
    QTest::mouseClick(Controls().imgbtnSnap, Qt::LeftButton);
    QTest::mouseClick(Controls().imgbtnSnap, Qt::LeftButton);
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(snaps)) {
        written.insert(entry.path().filename().string());
    }
    EXPECT_EQ(written, (std::set<std::string>{"Snapshot_full.jpg", "Snapshot_small.jpg",
                                              "Snapshot_full_(1).jpg", "Snapshot_small_(1).jpg"}));
    EXPECT_EQ(QImage(QString::fromStdString(snaps + "/Snapshot_full.jpg")).size(), QSize(320, 240));
    const QImage small(QString::fromStdString(snaps + "/Snapshot_small_(1).jpg"));
    EXPECT_EQ(small.size(), QSize(388, 199));

    QTest::mouseClick(Controls().btnResume, Qt::LeftButton);
    EXPECT_TRUE(Controls().btnPause->isEnabled());
    EXPECT_FALSE(Controls().btnResume->isEnabled());
    WaitUntil([&] { return finished_ > 0; });

    EXPECT_EQ(ProgressOf(0), "100%");
    const test::TFileFacts facts = test::ProbeFile(Output("a_(new).mp4"));
    ASSERT_TRUE(facts.opened);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_NEAR(facts.video[0].Duration(), 5.0, 0.2);
    const int frames =
        test::DecodeFrames(Output("a_(new).mp4"), AVMEDIA_TYPE_VIDEO, [](const AVFrame*) {});
    EXPECT_NEAR(frames, 150, 3) << "no frame lost or repeated across the pause";
}

TEST_F(ConversionRunWindow, FailedRowsShowTheirReasonAndTheBatchGoesOn) {
    const std::string missing = dir_.Str() + "/missing.mkv";
    AddRows({missing, Source("b.mkv"), Source("c.mkv")});
    // A crop wider than the picture: the conversion fails when its filters are built.
    list_.EditRecord(1, [](TlvFilesRecord& record) {
        record.CropLeft = 300;
        record.CropRight = 300;
    });
    RunToTheEnd();

    EXPECT_EQ(ProgressOf(0), "Failed");
    EXPECT_NE(list_.Row(0).ProgressTip.find("missing.mkv"), std::string::npos)
        << list_.Row(0).ProgressTip;
    EXPECT_EQ(ProgressOf(1), "Failed");
    EXPECT_FALSE(list_.Row(1).ProgressTip.empty());
    EXPECT_EQ(ProgressOf(2), "100%");
    const TRunOutcome& outcome = controller_->Run()->Outcome();
    EXPECT_EQ(outcome.Skipped, 1);
    EXPECT_EQ(outcome.Failed, 1);
    EXPECT_EQ(outcome.Written, 1);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0].Body, "1 file written, 2 failed.");
    EXPECT_EQ(foldersOpened_, 1) << "skipped and failed rows do not hold the end back";
    // The log holds both reasons.
    const QString log = Controls().mmoLog->toPlainText();
    EXPECT_TRUE(log.contains(QString::fromStdString(list_.Row(0).ProgressTip)))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QString::fromStdString(list_.Row(1).ProgressTip)))
        << log.toStdString();
}

TEST_F(ConversionRunWindow, TrimmedRowsConvertTheirRangeOnly) {
    AddRows({Source("a.mkv"), Source("b.mkv")});
    list_.EditRecord(0, [](TlvFilesRecord& record) {
        record.TrimStart = 1'000'000;
        record.TrimLength = 2'000'000;
    });
    // From 3 s to the end of the 5 s source: the task's length is what is left.
    list_.EditRecord(1, [](TlvFilesRecord& record) { record.TrimStart = 3'000'000; });
    controller_->Start();
    std::map<std::string, std::string> lengths; // by task counter
    QObject::connect(&Progress(), &TfrmProgress::figuresShown, [&] {
        lengths[Controls().lblProgress->text().toStdString()] =
            Controls().lblLength->text().toStdString();
    });
    WaitUntil([&] { return finished_ > 0; });

    EXPECT_EQ(ProgressOf(0), "100%");
    EXPECT_EQ(lengths["[1/2]"], "2 Second");
    EXPECT_EQ(lengths["[2/2]"], "2 Second");
    for (const char* name : {"a_(new).mp4", "b_(new).mp4"}) {
        SCOPED_TRACE(name);
        const test::TFileFacts facts = test::ProbeFile(Output(name));
        ASSERT_TRUE(facts.opened);
        ASSERT_EQ(facts.video.size(), 1u);
        EXPECT_NEAR(facts.video[0].Duration(), 2.0, 0.1);
        ASSERT_EQ(facts.audio.size(), 1u);
        EXPECT_NEAR(facts.audio[0].Duration(), 2.0, 0.1);
        const int frames =
            test::DecodeFrames(Output(name), AVMEDIA_TYPE_VIDEO, [](const AVFrame*) {});
        EXPECT_NEAR(frames, 60, 2);
    }
}

// A stored frame size that is no WIDTHxHEIGHT: the run asks whether to take 320x240, once for
// the row, and converts at that size on Yes.
TEST_F(ConversionRunWindow, UnreadableStoredFrameSizeIsAskedAbout) {
    TScriptedDialogService dialogs;
    TScopedDialogService scope(dialogs);
    dialogs.QueueAnswer(TMessageResult::Yes);
    TIniFile(SettingsPath()).WriteString("formatInfo1", "paraVideoSize", "abc");
    AddRows({Source("a.mkv")});
    RunToTheEnd();

    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const TMessageRequest& question = dialogs.Requests()[0];
    EXPECT_EQ(question.caption, "Warning");
    EXPECT_EQ(question.text, "Error output Video Size.Use the default size 320x240?");
    EXPECT_EQ(question.icon, TMessageIcon::Question);
    EXPECT_EQ(question.buttons, TMessageButtons::YesNo);
    EXPECT_EQ(ProgressOf(0), "100%");
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Output("a_(new).mp4"))) << probe.LastError();
    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.Width, 320);
    EXPECT_EQ(video.Height, 240);
}

TEST_F(ConversionRunWindow, DvdTitleRowConvertsItsOwnTitle) {
    ASSERT_TRUE(LoadDVDPlugIn(LibAvDir()));
    dvdFolder_ = test::Fixture("dvd");
    ASSERT_EQ(DVDEnumTitle(dvdFolder_), 3);
    // The only row of the list holds the disc's third title (5 seconds; the first has 20).
    TlvFilesRecord record;
    record.TitleIndex = 2;
    ASSERT_TRUE(DVDGetTitle(record.TitleIndex, record.TitleInfo));
    record.DurationSeconds = 5;
    record.ChapterFrom = 1;
    record.ChapterTo = record.TitleInfo.ChapterCount;
    record.AudioID = record.TitleInfo.Audio[0].StreamID;
    list_.AddDvdTitleRow({"DVD Title 3"}, record);
    RunToTheEnd();

    EXPECT_EQ(ProgressOf(0), "100%");
    EXPECT_EQ(list_.Row(0).Record.ZoomMode, "lbox") << "the run fills in the format's zoom";
    const test::TFileFacts facts = test::ProbeFile(Output("DVD Title 3_(new).mp4"));
    ASSERT_TRUE(facts.opened);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_NEAR(facts.video[0].Duration(), 5.0, 0.25);
    EXPECT_EQ(foldersOpened_, 1);
}

TEST_F(ConversionRunWindow, RowEffectsReachTheConversionHook) {
    AddRows({Source("dark.mkv"), Source("plain.mkv")});
    list_.EditRecord(0, [](TlvFilesRecord& record) { record.Brightness = 0; });
    RunToTheEnd();

    const auto meanLuma = [this](const char* name) {
        double luma = -1;
        test::DecodeFrames(Output(name), AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
            if (luma < 0) {
                luma = test::MeanLuma(frame, 0, 0, frame->width, frame->height);
            }
        });
        return luma;
    };
    EXPECT_LT(meanLuma("dark_(new).mp4"), 20) << "the effects painted the frames";
    EXPECT_GT(meanLuma("plain_(new).mp4"), 50) << "a row without effects is left alone";
}

TEST_F(ConversionRunWindow, NothingCheckedOpensNoWindow) {
    AddRows({Source("a.mkv")});
    list_.SetChecked(0, false);
    controller_->Start();
    EXPECT_EQ(controller_->ProgressWindow(), nullptr);
    EXPECT_FALSE(controller_->Running());
}

class MainWindowRun : public test::TMainWindowTest {
protected:
    void SetUp() override {
        TMainWindowTest::SetUp();
        window_ = ShowWindow();
        QObject::connect(&window_->Run(), &TRunController::finished, [this] { ++finished_; });
    }

    std::string Source(const std::string& name) {
        const std::string path = dir_.Str() + "/" + name;
        std::filesystem::create_symlink(Fixture("two_audio.mkv"), path);
        return path;
    }

    test::TScopedEnv openCommand_{"TESSARO_OPEN_COMMAND", "true"};
    test::TScopedEnv powerOff_{"TESSARO_POWEROFF_COMMAND", "true"};
    std::unique_ptr<TfrmMain> window_;
    int finished_ = 0;
};

TEST_F(MainWindowRun, EveryStartControlRunsTheCheckedRows) {
    window_->SourceList().AddFileRows({TNewFileRow{Source("a.mkv"), 0, 5, "lbox"}});
    const TfrmMainControls& c = window_->Controls();
    const std::vector<std::pair<const char*, std::function<void()>>> starts = {
        {"File menu", [&] { c.Start1->trigger(); }},
        {"list menu", [&] { window_->Sources().ContextItem("Start2")->trigger(); }},
        {"toolbar Start", [&] { QTest::mouseClick(c.BtnStart, Qt::LeftButton); }},
        {"toolbar DVD Start", [&] { QTest::mouseClick(c.btnDVDStart, Qt::LeftButton); }},
        {"Start below the panel", [&] { QTest::mouseClick(c.btnStartBelow, Qt::LeftButton); }},
    };
    for (const auto& [name, start] : starts) {
        SCOPED_TRACE(name);
        const int before = finished_;
        window_->SourceList().SetProgressText(0, "");
        start();
        EXPECT_TRUE(window_->Run().Running());
        WaitUntil([&] { return finished_ > before; });
        EXPECT_EQ(window_->SourceList().Row(0).Cells[fcFileProgress], "100%");
        EXPECT_TRUE(c.BtnClear->isEnabled());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path() / "videoconverter"),
                            std::filesystem::directory_iterator()),
              5);
}

TEST_F(MainWindowRun, FailedRowShowsItsReasonAsTheProgressTooltip) {
    const std::string missing = dir_.Str() + "/gone.mkv";
    window_->SourceList().AddFileRows({TNewFileRow{missing, 0, 5, "lbox"}});
    window_->Controls().Start1->trigger();
    EXPECT_FALSE(window_->Run().Running()) << "no task, no run";

    const QAbstractItemModel& rows = *window_->Controls().lvFiles->model();
    const QModelIndex progress = rows.index(0, fcFileProgress);
    EXPECT_EQ(rows.data(progress, Qt::DisplayRole).toString(), QStringLiteral("Failed"));
    const QString reason = rows.data(progress, Qt::ToolTipRole).toString();
    EXPECT_TRUE(reason.contains(QStringLiteral("gone.mkv"))) << reason.toStdString();
    EXPECT_EQ(rows.data(rows.index(0, fcSource), Qt::ToolTipRole).toString(),
              QString::fromStdString(missing));
}

TEST_F(MainWindowRun, FormatValueThatIsNoNumberIsReportedAndNothingRuns) {
    window_->SourceList().AddFileRows({TNewFileRow{Source("a.mkv"), 0, 5, "lbox"}});
    TIniFile(SettingsPath()).WriteString("formatInfo1", "paraVolume", "loud");
    QTest::mouseClick(window_->Controls().BtnStart, Qt::LeftButton);

    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].text, "'loud' is not a valid integer value.");
    EXPECT_FALSE(window_->Run().Running());
    EXPECT_EQ(window_->Run().ProgressWindow(), nullptr);
    EXPECT_EQ(window_->SourceList().Row(0).Cells[fcFileProgress], "");
}

TEST_F(MainWindowRun, ExitStopsTheRunningConversion) {
    window_->SourceList().AddFileRows({TNewFileRow{Source("a.mkv"), 0, 5, "lbox"}});
    window_->SourceList().EditRecord(0, [](TlvFilesRecord& record) { record.Exposure = 10; });
    std::atomic<bool> held{false};
    window_->Controls().Start1->trigger();
    TConverter& converter = window_->Run().Converter();
    converter.SetOnCustomHook([&held](TConverter& sender, PHookInfo info) {
        held = true;
        while (!sender.Task(info->TaskIndex)->StopRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    WaitUntil([&] { return held.load(); });

    dialogs_.QueueAnswer(TMessageResult::Yes);
    EXPECT_TRUE(window_->close());
    EXPECT_EQ(window_->Global(), nullptr);
    EXPECT_FALSE(converter.Task(0)->Running());
    EXPECT_FALSE(window_->Run().ProgressWindow()->isVisible());
    EXPECT_NE(window_->SourceList().Row(0).Cells[fcFileProgress], "100%");
}

TEST(ProgressWindow, ControlsAreNamedAndFollowTheTabOrder) {
    AppEnvironment::App();
    TfrmProgress window(nullptr);
    const TfrmProgressControls& c = window.Controls();
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             c.btnPause, c.btnResume, c.btnCancel, c.ckShutDown, c.ckOpen}) {
        EXPECT_FALSE(button->text().isEmpty()) << button->objectName().toStdString();
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             c.imgbtnSnap, c.mmoLog, c.imgPreview, c.progbarFile, c.lblTime, c.lblLength, c.lblSize,
             c.lblProgress, c.lblOutput, c.lblElapsed, c.lblTaskLeft, c.lblBatchLeft}) {
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    }
    EXPECT_EQ(c.lblTime->accessibleName(), QStringLiteral("Current Time"));

    // Tab goes from one control that takes the focus to the next.
    const auto next = [](QWidget* from) {
        QWidget* w = from->nextInFocusChain();
        while ((w->focusPolicy() & Qt::TabFocus) == 0) {
            w = w->nextInFocusChain();
        }
        return w;
    };
    std::vector<QWidget*> order = {c.btnPause};
    while (order.size() < 8) {
        order.push_back(next(order.back()));
    }
    EXPECT_EQ(order, (std::vector<QWidget*>{c.btnPause, c.btnResume, c.btnCancel, c.imgbtnSnap,
                                            c.ckShutDown, c.ckOpen, c.mmoLog, c.btnPause}));
}

TEST(ProgressPicture, WideFrameFillsTheFullHeightWithMarginsLeftAndRight) {
    AppEnvironment::App();
    TBitmap frame(720, 405);
    for (int y = 0; y < frame.Height(); ++y) {
        std::uint8_t* line = frame.ScanLine(y);
        for (int x = 0; x < frame.Width(); ++x) {
            line[3 * x + 2] = 255; // red in blue-green-red order
        }
    }
    QImage picture(TfrmProgress::PictureWidth, TfrmProgress::PictureHeight, QImage::Format_RGB32);
    DrawFrameFitted(picture, frame);
    for (const int y : {0, 100, 198}) {
        EXPECT_EQ(picture.pixelColor(16, y), Background) << y;
        EXPECT_EQ(picture.pixelColor(17, y), QColor(Qt::red)) << y;
        EXPECT_EQ(picture.pixelColor(370, y), QColor(Qt::red)) << y;
        EXPECT_EQ(picture.pixelColor(371, y), Background) << y;
    }
}

class ShutDownCountdown : public ::testing::Test {
protected:
    void SetUp() override { AppEnvironment::App(); }
    std::string Marker() const { return dir_.Str() + "/powered-off"; }

    TTempDir dir_;
    test::TScopedEnv command_{"TESSARO_POWEROFF_COMMAND", ("touch " + Marker()).c_str()};
};

TEST_F(ShutDownCountdown, RunningOutPowersOff) {
    TfrmShutDown countdown(nullptr, ShutDownCountdownSeconds, std::chrono::milliseconds(1));
    QSignalSpy poweringOff(&countdown, &TfrmShutDown::poweringOff);
    countdown.Start();
    EXPECT_EQ(countdown.CountdownLabel()->text(),
              QStringLiteral("The computer will shut down in 60 seconds."));
    WaitUntil([&] { return poweringOff.count() == 1; });
    EXPECT_TRUE(poweringOff.at(0).at(0).toBool());
    WaitForSpawnedPrograms();
    EXPECT_TRUE(fs::exists(Marker()));
    EXPECT_FALSE(countdown.isVisible());
}

TEST_F(ShutDownCountdown, CancelKeepsTheComputerOn) {
    TfrmShutDown countdown(nullptr);
    QSignalSpy poweringOff(&countdown, &TfrmShutDown::poweringOff);
    countdown.Start();
    EXPECT_TRUE(countdown.Counting());
    QTest::mouseClick(countdown.CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(countdown.Counting());
    EXPECT_FALSE(countdown.isVisible());
    EXPECT_EQ(poweringOff.count(), 0);
    EXPECT_FALSE(fs::exists(Marker()));
}

// A notification service on a private bus that records what it is told.
class TNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received;

public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        received << appName << summary << body;
        return 1;
    }
};

TEST(DesktopNotice, ReachesTheServiceOrIsSkippedWithoutOne) {
    AppEnvironment::App();
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon is needed (scripts/install-deps)";
    WaitUntil([&] { return daemon.canReadLine(); });
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        const QDBusConnection client = QDBusConnection::connectToBus(address, "notice-client");
        ASSERT_TRUE(client.isConnected());
        const TBatchNotice notice{"Conversion finished", "2 files written, 1 failed."};
        EXPECT_FALSE(SendDesktopNotice(notice, client)) << "no service on the bus";

        TNotificationService service;
        QDBusConnection server = QDBusConnection::connectToBus(address, "notice-server");
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                          &service, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(SendDesktopNotice(notice, client));
        WaitUntil([&] { return !service.received.isEmpty(); });
        EXPECT_EQ(service.received,
                  (QStringList{QStringLiteral("Tessaro"), QStringLiteral("Conversion finished"),
                               QStringLiteral("2 files written, 1 failed.")}));
    }
    QDBusConnection::disconnectFromBus("notice-client");
    QDBusConnection::disconnectFromBus("notice-server");
    daemon.kill();
    daemon.waitForFinished();
}

} // namespace

#include "RunWindowTest.moc"
