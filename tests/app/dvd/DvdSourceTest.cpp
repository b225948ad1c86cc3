// The DVD side of the source list without widgets: the chapter arrows' rules, new title
// records, the group a row shows, reading the fixture discs into the list with every message
// and the replace question, the audio and subtitle choices, and the optical drives.
#include "dvd/DvdSource.h"
#include "EngineTestSupport.h"
#include "MessageLines.h"
#include "TestPaths.h"
#include "dvd/DvdDrives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tessaro::test {
namespace {

namespace fs = std::filesystem;

const std::string Fixtures = FixtureDir();

TEST(DvdChapterArrows, StayWithinTheTitleAndKeepFromBeforeTo) {
    using A = TChapterArrow;
    struct TCase {
        TChapterChoice before;
        int chapters;
        A arrow;
        TChapterChoice after;
    };
    const TCase cases[] = {
        {{1, 12}, 12, A::FromUp, {2, 12}},   {{12, 12}, 12, A::FromUp, {12, 12}},
        {{5, 5}, 12, A::FromUp, {6, 6}}, // From passes To: To comes along
        {{1, 12}, 12, A::FromDown, {1, 12}}, {{7, 9}, 12, A::FromDown, {6, 9}},
        {{3, 12}, 12, A::ToUp, {3, 12}},     {{3, 8}, 12, A::ToUp, {3, 9}},
        {{4, 4}, 12, A::ToDown, {3, 3}}, // To below From: From comes along
        {{1, 1}, 12, A::ToDown, {1, 1}},     {{0, 0}, 0, A::FromUp, {0, 0}},      // no title
        {{0, 0}, 0, A::ToDown, {0, 0}},      {{15, 15}, 12, A::ToDown, {15, 15}}, // outside
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(StepChapter(c.before, c.chapters, c.arrow), c.after)
            << c.before.From << "-" << c.before.To << " arrow " << int(c.arrow);
    }
    // Twenty presses of From up on twelve chapters end at 12 with To pulled to it; To down
    // from there takes From along.
    TChapterChoice range{1, 3};
    for (int i = 0; i < 20; ++i) {
        range = StepChapter(range, 12, A::FromUp);
    }
    EXPECT_EQ(range, (TChapterChoice{12, 12}));
    for (int i = 0; i < 4; ++i) {
        range = StepChapter(range, 12, A::ToDown);
    }
    EXPECT_EQ(range, (TChapterChoice{8, 8}));
}

TDvdTitle MadeUpTitle(int audio, int subtitles, int chapters) {
    TDvdTitle title;
    title.Index = 4;
    title.Valid = true;
    title.Info.Duration = 83.9;
    title.Info.ChapterCount = chapters;
    title.Info.AudioCount = audio;
    for (int i = 0; i < audio; ++i) {
        title.Info.Audio[i].StreamID = 0x80 + i;
    }
    title.Info.SubtitleCount = subtitles;
    for (int i = 0; i < subtitles; ++i) {
        title.Info.Subtitle[i].StreamID = 0x20 + i;
        std::snprintf(title.Info.Subtitle[i].Name, DVD_NAME_SIZE, "Language %d", i);
    }
    return title;
}

TEST(DvdTitleRecord, StartsWithTheFirstTrackNoSubtitleAndEveryChapter) {
    const TlvFilesRecord record = NewDvdTitleRecord(MadeUpTitle(2, 3, 12));
    EXPECT_EQ(record.TitleIndex, 4);
    EXPECT_EQ(record.DurationSeconds, 83);
    EXPECT_EQ(record.AudioIndex, 0);
    EXPECT_EQ(record.AudioID, 0x80);
    EXPECT_EQ(record.SubtitleIndex, 3) << "the \"Default\" line";
    EXPECT_EQ(record.SubtitleID, 0);
    EXPECT_EQ(record.ChapterFrom, 1);
    EXPECT_EQ(record.ChapterTo, 12);
    EXPECT_EQ(record.TitleInfo.SubtitleCount, 3);
    EXPECT_TRUE(record.SourceName.empty() && record.OutputName.empty() && record.ZoomMode.empty());
    EXPECT_FALSE(HasFrameEffects(record));

    const TlvFilesRecord silent = NewDvdTitleRecord(MadeUpTitle(0, 0, 1));
    EXPECT_EQ(silent.AudioID, 0);
    EXPECT_EQ(silent.SubtitleIndex, 0);
}

TEST(DvdGroup, ShowsTheRowsChoicesForEitherKind) {
    TSourceRow dvd;
    dvd.Kind = TRowKind::DvdTitle;
    dvd.Cells = {"DVD Title 5"};
    dvd.Record = NewDvdTitleRecord(MadeUpTitle(2, 3, 12));
    dvd.Record.AudioIndex = 1;
    dvd.Record.ChapterFrom = 4;
    TDvdGroupView view = DvdGroupOf(dvd);
    EXPECT_EQ(view.Caption, "DVD Title 5");
    EXPECT_TRUE(view.AudioEnabled);
    EXPECT_EQ(view.AudioLines, (std::vector<std::string>{"128  ", "129  "}));
    EXPECT_EQ(view.AudioLine, 1);
    EXPECT_EQ(view.SubtitleLines.back(), "Default");
    EXPECT_EQ(view.SubtitleLines.front(), "32  Language 0");
    EXPECT_EQ(view.SubtitleLine, 3);
    EXPECT_EQ(view.From, "4");
    EXPECT_EQ(view.To, "12");

    // Negative choices show the first line.
    dvd.Record.AudioIndex = -1;
    dvd.Record.SubtitleIndex = -1;
    view = DvdGroupOf(dvd);
    EXPECT_EQ(view.AudioLine, 0);
    EXPECT_EQ(view.SubtitleLine, 0);

    TSourceRow file;
    file.Cells = {"/films/clip.avi"};
    view = DvdGroupOf(file);
    EXPECT_FALSE(view.AudioEnabled);
    EXPECT_TRUE(view.AudioLines.empty());
    EXPECT_EQ(view.SubtitleLines, (std::vector<std::string>{"Default"}));
    EXPECT_EQ(view.From, "0");
}

// A list, a source reading into it and a message service that records every message.
class DvdSourceRead : public ::testing::Test {
protected:
    TDvdSource::THost Host() {
        return {[this](const TMessageRequest& request) {
                    return dialogs_.ShowMessage(nullptr, request);
                },
                [this] {
                    ++clears_;
                    list_.Clear();
                }};
    }
    int Read(const std::string& path) { return source_.Read(path, Host()); }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (int i = 0; i < list_.Count(); ++i) {
            captions.push_back(list_.Row(i).Caption());
        }
        return captions;
    }
    std::vector<std::string> Messages() const { return test::MessageLines(dialogs_); }

    TSourceListModel list_;
    TDvdSource source_{list_, LibAvDir()};
    TScriptedDialogService dialogs_;
    int clears_ = 0;
};

TEST_F(DvdSourceRead, TitlesBecomeRowsWithTheMainFeatureChecked) {
    ASSERT_EQ(Read(Fixtures + "/dvd/VIDEO_TS"), 3);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(source_.Folder(), Fixtures + "/dvd");
    EXPECT_EQ(list_.Kind(), TRowKind::DvdTitle);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"DVD Title 1", "DVD Title 2", "DVD Title 3"}));
    EXPECT_EQ(list_.Row(1).Cells[dcFrameSize], "   720 x 480");
    EXPECT_EQ(list_.Current(), 0);
    EXPECT_EQ(list_.CheckedRows(), std::vector<int>{0});
    EXPECT_TRUE(list_.Row(0).Bold);
    EXPECT_NE(list_.Row(0).Hint.find("main feature"), std::string::npos);
    EXPECT_FALSE(list_.Row(2).Bold);
    EXPECT_NE(list_.Row(2).Hint.find("Short title"), std::string::npos);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list_.Record(row).TitleIndex, row);
    }
    EXPECT_EQ(list_.Record(0).AudioID, 128);
    EXPECT_EQ(list_.Record(0).ChapterTo, 3);
}

TEST_F(DvdSourceRead, ADamagedTitleIsReportedAndTheOthersKeepTheirOwnTitle) {
    ASSERT_EQ(Read(Fixtures + "/dvd_damaged"), 2);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Warning: Title #2 is invalid"});
    EXPECT_EQ(dialogs_.Requests()[0].icon, TMessageIcon::Warning);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"DVD Title 1", "DVD Title 3"}));
    EXPECT_EQ(list_.Record(1).TitleIndex, 2);
    EXPECT_EQ(list_.Row(1).Cells[dcDuration], "   0:00:05");
}

TEST_F(DvdSourceRead, FailuresLeaveTheListAndTheLocationAlone) {
    ASSERT_EQ(Read(Fixtures + "/dvd.iso"), 3);
    list_.EditRecord(1, [](TlvFilesRecord& record) { record.TrimStart = 30000000; });
    TTempDir notADvd;
    const struct {
        std::string path;
        const char* message;
        TMessageIcon icon;
    } cases[] = {
        {"/dev/sr9", "Warning: Can't find a DVD Disk!", TMessageIcon::Warning},
        {notADvd.Str(), "Message: No DVD title(s) found. Maybe not a valid DVD.",
         TMessageIcon::Information},
        {Fixtures + "/dvd_scrambled",
         "Warning: This DVD is encrypted and cannot be read without libdvdcss. On Debian, "
         "install the package libdvd-pkg.",
         TMessageIcon::Warning},
    };
    for (const auto& c : cases) {
        dialogs_.Clear();
        EXPECT_EQ(Read(c.path), 0);
        ASSERT_EQ(Messages(), std::vector<std::string>{c.message}) << c.path;
        EXPECT_EQ(dialogs_.Requests()[0].icon, c.icon);
        EXPECT_EQ(list_.Count(), 3);
        EXPECT_EQ(list_.Record(1).TrimStart, 30000000);
        EXPECT_EQ(source_.Folder(), Fixtures + "/dvd.iso");
    }
    EXPECT_EQ(clears_, 1) << "only the first read cleared the list";
}

TEST_F(DvdSourceRead, RowsAreReplacedOnlyWhenTheUserAgrees) {
    ASSERT_EQ(Read(Fixtures + "/dvd_chapters"), 1);
    list_.EditRecord(0, [](TlvFilesRecord& record) { record.WatermarkText = "mine"; });

    dialogs_.QueueAnswer(TMessageResult::No);
    EXPECT_EQ(Read(Fixtures + "/dvd"), 0);
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].buttons, TMessageButtons::YesNo);
    EXPECT_EQ(dialogs_.Requests()[0].text, ReplaceRowsText);
    EXPECT_EQ(Captions(), std::vector<std::string>{"DVD Title 1"});
    EXPECT_EQ(list_.Record(0).WatermarkText, "mine");
    EXPECT_EQ(source_.Folder(), Fixtures + "/dvd_chapters");

    dialogs_.QueueAnswer(TMessageResult::Yes);
    EXPECT_EQ(Read(Fixtures + "/dvd"), 3);
    EXPECT_EQ(list_.Record(0).WatermarkText, "");
    EXPECT_EQ(source_.Folder(), Fixtures + "/dvd");
}

TEST_F(DvdSourceRead, ChoicesGoIntoTheSelectedRow) {
    ASSERT_EQ(Read(Fixtures + "/dvd"), 3);
    source_.ChooseAudio(1);
    source_.ChooseSubtitle(0);
    EXPECT_EQ(list_.Record(0).AudioID, 129);
    EXPECT_EQ(list_.Record(0).SubtitleID, 32);
    source_.ChooseSubtitle(1); // "Default"
    EXPECT_EQ(list_.Record(0).SubtitleID, 0);
    EXPECT_EQ(list_.Record(0).SubtitleIndex, 1);
    for (const int line : {2, -1}) {
        source_.ChooseAudio(line);
        source_.ChooseSubtitle(line);
    }
    EXPECT_EQ(list_.Record(0).AudioIndex, 1);
    EXPECT_EQ(list_.Record(0).SubtitleIndex, 1);
    source_.Step(TChapterArrow::FromUp);
    EXPECT_EQ(source_.Group().From, "2");

    // Title 2 has no subtitles: its "Default" line changes nothing.
    list_.SetCurrent(1);
    source_.ChooseSubtitle(0);
    EXPECT_EQ(list_.Record(1).SubtitleIndex, 0);
    EXPECT_EQ(list_.Record(1).SubtitleID, 0);
    EXPECT_EQ(source_.Group().Caption, "DVD Title 2");

    list_.SetCurrent(-1);
    source_.ChooseAudio(0);
    source_.Step(TChapterArrow::ToDown);
    EXPECT_EQ(source_.Group(), TDvdGroupView{});
}

TEST(OpticalDrives, FromTheKernelTableAndTheDevices) {
    TTempDir root;
    fs::create_directories(root.Path() / "dev");
    fs::create_directories(root.Path() / "sys/sr0/device");
    std::ofstream(root.Path() / "info") << "CD-ROM information, Id: cdrom.c 3.20\n\n"
                                        << "drive name:\t\tsr1\tsr0\ndrive speed:\t\t24\t24\n";
    std::ofstream(root.Path() / "sys/sr0/device/model") << "DVD-RW DRU-870S \n";
    fs::create_symlink(Fixtures + "/dvd.iso", root.Path() / "dev/sr0");
    std::ofstream(root.Path() / "dev/sr10") << "no file system";
    std::ofstream(root.Path() / "dev/sda") << "";
    std::ofstream(root.Path() / "dev/srx") << "";

    const std::string dev = root.Str() + "/dev";
    const std::vector<TOpticalDrive> drives =
        FindOpticalDrives({root.Str() + "/info", dev, root.Str() + "/sys"});
    std::vector<std::string> captions;
    for (const TOpticalDrive& drive : drives) {
        captions.push_back(drive.Caption());
    }
    EXPECT_EQ(captions, (std::vector<std::string>{dev + "/sr0 DVD-RW DRU-870S - TESSARO_TEST_DVD",
                                                  dev + "/sr1", dev + "/sr10"}));
    EXPECT_TRUE(FindOpticalDrives({"/no/info", "/no/dev", "/no/sys"}).empty());
    EXPECT_EQ(ReadVolumeLabel(Fixtures + "/mpeg2_ac3.mpg"), "");
}

} // namespace
} // namespace tessaro::test
