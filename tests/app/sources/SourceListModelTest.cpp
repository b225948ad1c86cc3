// The source list without widgets: adding files (probed by the engine), row kinds, the
// destination names, removing with the selection that follows, the check operations and
// the notifications a widget follows.
#include "sources/SourceListModel.h"
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "sources/SourceFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using tessaro::test::FixtureDir;

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// Writes every notification as a line of text.
class TEventLog : public TSourceListObserver {
public:
    void KindChanged(TRowKind kind) override {
        lines.push_back(kind == TRowKind::File ? "kind file" : "kind dvd");
    }
    void RowsInserted(int first, int count) override { Add("inserted", first, count); }
    void RowsRemoved(int first, int count) override { Add("removed", first, count); }
    void RowsChanged(int first, int last) override { Add("changed", first, last); }
    void CurrentRowChanged(int index) override {
        lines.push_back("current " + std::to_string(index));
    }

    std::vector<std::string> lines;

private:
    void Add(const char* what, int a, int b) {
        lines.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
    }
};

TNewFileRow File(const std::string& path, int seconds = 12) {
    return {path, 0, seconds, "lbox"};
}

std::vector<std::string> Captions(const TSourceListModel& list) {
    std::vector<std::string> captions;
    for (int i = 0; i < list.Count(); ++i) {
        captions.push_back(list.Row(i).Caption());
    }
    return captions;
}

std::vector<bool> Checks(const TSourceListModel& list) {
    std::vector<bool> checks;
    for (int i = 0; i < list.Count(); ++i) {
        checks.push_back(list.Row(i).Checked);
    }
    return checks;
}

std::vector<std::string> Destinations(const TSourceListModel& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) {
        names.push_back(list.Row(i).Cells[fcDestination]);
    }
    return names;
}

TlvFilesRecord DvdRecord(int title) {
    TlvFilesRecord record;
    record.TitleIndex = title;
    record.ChapterFrom = 1;
    record.ChapterTo = 3;
    return record;
}

void AddDvdTitles(TSourceListModel& list, int count) {
    for (int title = 0; title < count; ++title) {
        list.AddDvdTitleRow({"DVD Title " + std::to_string(title + 1), "   0:00:19"},
                            DvdRecord(title));
    }
}

class SourceFilesTest : public test::TConverterLibrariesTest {
protected:
    static std::string Fixture(const char* name) { return FixtureDir() + "/" + name; }
    test::TTempDir temp_;
};

// The engine's probe decides which files become rows and how long they are.
TEST_F(SourceFilesTest, ChosenFilesBecomeRowsOnceWithTheirProbedLength) {
    const std::string notMedia = (temp_.Path() / "notes.avi").string();
    test::WriteTextFile(notMedia, "this is not a video\n");
    const std::string clip = Fixture("h264_aac.mp4");
    const std::string song = Fixture("audio.mp3");
    TSourceListModel list;
    list.SetDestinationRule({temp_.Str(), ".mp4"});

    const int added = AddSourceFiles(
        list, {clip, temp_.Str(), notMedia, song, clip, (temp_.Path() / "missing.mp4").string()},
        "pan");

    EXPECT_EQ(added, 2);
    EXPECT_THAT(Captions(list), ElementsAre(clip, song));
    EXPECT_THAT(list.Row(0).Cells, ElementsAre(clip, "12", "12", "h264_aac_(new).mp4", ""));
    EXPECT_THAT(list.Row(1).Cells, ElementsAre(song, "5", "5", "audio_(new).mp4", ""));
    EXPECT_THAT(Checks(list), ElementsAre(true, true));
    EXPECT_EQ(list.Current(), 0);

    const TlvFilesRecord& record = list.Record(1);
    EXPECT_EQ(record.TitleIndex, 3) << "the position in the dialog's selection";
    EXPECT_EQ(record.SourceName, song);
    EXPECT_EQ(record.OutputName, temp_.Str() + "/audio_(new).mp4");
    EXPECT_EQ(record.DurationSeconds, 5);
    EXPECT_EQ(record.ZoomMode, "pan");
    EXPECT_EQ(record.TrimStart, 0);
    EXPECT_EQ(record.TrimLength, 0);
    EXPECT_EQ(record.WatermarkFont, TWatermarkFont{});
    EXPECT_EQ(record.WatermarkFont.Name, "MS Sans Serif");
    EXPECT_EQ(record.WatermarkFont.Size, 8);
    EXPECT_EQ(record.ImageAlpha, 168);
    EXPECT_EQ(record.TransparentStyle, 1);
    EXPECT_FALSE(HasFrameEffects(record));

    // The same path in a second action is passed over without probing it again.
    EXPECT_EQ(AddSourceFiles(list, {song, clip}, "pan"), 0);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_FALSE(fs::exists(record.OutputName)) << "adding creates no output file";
}

TEST(SourceRecord, FrameEffectsAreNeededAwayFromTheNeutralValues) {
    const struct {
        const char* what;
        void (*change)(TlvFilesRecord&);
        bool expected;
    } cases[] = {
        {"nothing", [](TlvFilesRecord&) {}, false},
        {"brightness", [](TlvFilesRecord& r) { r.Brightness = 254; }, true},
        {"contrast", [](TlvFilesRecord& r) { r.Contrast = -1; }, true},
        {"saturation", [](TlvFilesRecord& r) { r.Saturation = 0; }, true},
        {"exposure", [](TlvFilesRecord& r) { r.Exposure = 3; }, true},
        {"text", [](TlvFilesRecord& r) { r.WatermarkText = "x"; }, true},
        {"image", [](TlvFilesRecord& r) { r.ImageFile = "logo.bmp"; }, true},
        {"opacity alone", [](TlvFilesRecord& r) { r.ImageAlpha = 10; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TlvFilesRecord record;
        c.change(record);
        EXPECT_EQ(HasFrameEffects(record), c.expected);
    }
}

TEST(SourceRecord, EffectSettingsCarryEveryWatermarkAndEffectValue) {
    TlvFilesRecord record;
    record.WatermarkText = "Tessaro";
    record.WatermarkFont = {"DejaVu Sans", 14, 0x123456, true, false, true, false};
    record.CropTop = 99; // not an effect value
    int value = 1;
    for (std::int32_t* field :
         {&record.TextX, &record.TextY, &record.TextHorzPercent, &record.TextVertPercent,
          &record.ImageX, &record.ImageY, &record.ImageHorzPercent, &record.ImageVertPercent,
          &record.ImageAlpha, &record.TransparentStyle, &record.Brightness, &record.Contrast,
          &record.Saturation, &record.Exposure}) {
        *field = value++;
    }
    record.ImageFile = "logo.png";
    record.ProcessImage = true;

    TEffectSettings expected;
    expected.WatermarkText = "Tessaro";
    expected.WatermarkFont = record.WatermarkFont;
    value = 1;
    for (int* field :
         {&expected.TextX, &expected.TextY, &expected.TextHorzPercent, &expected.TextVertPercent,
          &expected.ImageX, &expected.ImageY, &expected.ImageHorzPercent,
          &expected.ImageVertPercent, &expected.ImageAlpha, &expected.TransparentStyle,
          &expected.Brightness, &expected.Contrast, &expected.Saturation, &expected.Exposure}) {
        *field = value++;
    }
    expected.ImageFile = "logo.png";
    expected.ProcessImage = true;
    EXPECT_EQ(EffectSettingsOf(record), expected);
}

class SourceListTest : public ::testing::Test {
protected:
    void SetUp() override { list_.AddObserver(&log_); }
    void TearDown() override { list_.RemoveObserver(&log_); }

    std::string Out(const std::string& name) const { return (temp_.Path() / name).string(); }

    test::TTempDir temp_;
    TSourceListModel list_;
    TEventLog log_;
};

// The destination column shows what the next run writes: the current folder and extension,
// passing over existing files and the names of checked rows above.
TEST_F(SourceListTest, DestinationsFollowFormatFolderFilesAndCheckedRowsAbove) {
    list_.SetDestinationRule({temp_.Str(), ".mp4"});
    list_.AddFileRows({File("/videos/clip.avi"), File("/videos/talk.mpg")});
    EXPECT_THAT(Destinations(list_), ElementsAre("clip_(new).mp4", "talk_(new).mp4"));
    EXPECT_EQ(list_.Record(0).OutputName, Out("clip_(new).mp4"));

    list_.AddFileRows({File("/other/clip.mpg")});
    EXPECT_THAT(Destinations(list_),
                ElementsAre("clip_(new).mp4", "talk_(new).mp4", "clip_(new_1).mp4"));

    // An unchecked row is not converted, so it takes no name from the rows below it.
    list_.SetChecked(0, false);
    EXPECT_THAT(Destinations(list_),
                ElementsAre("clip_(new).mp4", "talk_(new).mp4", "clip_(new).mp4"));
    list_.SetChecked(0, true);

    log_.lines.clear();
    list_.SetDestinationRule({temp_.Str(), ".avi"});
    EXPECT_THAT(Destinations(list_),
                ElementsAre("clip_(new).avi", "talk_(new).avi", "clip_(new_1).avi"));
    EXPECT_THAT(log_.lines, ElementsAre("changed 0 0", "changed 1 1", "changed 2 2"));

    const fs::path other = temp_.Path() / "other";
    fs::create_directories(other);
    test::WriteTextFile(other / "clip_(new).avi", "earlier output");
    list_.SetDestinationRule({other.string(), ".avi"});
    EXPECT_THAT(Destinations(list_),
                ElementsAre("clip_(new_1).avi", "talk_(new).avi", "clip_(new_2).avi"));
    EXPECT_EQ(list_.Record(1).OutputName, (other / "talk_(new).avi").string());

    // A file written since is seen once the destinations are refreshed.
    test::WriteTextFile(other / "talk_(new).avi", "run output");
    log_.lines.clear();
    list_.RefreshDestinations();
    EXPECT_THAT(Destinations(list_),
                ElementsAre("clip_(new_1).avi", "talk_(new_1).avi", "clip_(new_2).avi"));
    EXPECT_THAT(log_.lines, ElementsAre("changed 1 1"));

    // Removing a row frees its name for the rows below.
    list_.RemoveRow(0);
    EXPECT_THAT(Destinations(list_), ElementsAre("talk_(new_1).avi", "clip_(new_1).avi"));

    EXPECT_THROW(list_.SetCellText(0, fcDestination, "mine.avi"), std::logic_error);
}

TEST_F(SourceListTest, RemoveSelectsTheRowAtThePositionOrTheNewLastRow) {
    const struct {
        int rows;
        int current;
        int remove;
        std::vector<std::string> left;
        int expectedCurrent;
    } cases[] = {
        {3, 2, 2, {"a", "b"}, 1},                    // the last: the new last row
        {3, 0, 0, {"b", "c"}, 0},                    // the first: the new first row
        {3, 1, 1, {"a", "c"}, 1}, {1, 0, 0, {}, -1}, // the only row: nothing
        {3, 2, 0, {"b", "c"}, 1}, // a row above the current one: the current row stays
        {3, 0, 2, {"a", "b"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows, remove " << c.remove);
        TSourceListModel list;
        std::vector<TNewFileRow> files;
        for (int i = 0; i < c.rows; ++i) {
            files.push_back(File(std::string(1, char('a' + i))));
        }
        list.AddFileRows(files);
        list.SetCurrent(c.current);
        list.RemoveRow(c.remove);
        EXPECT_THAT(Captions(list), testing::ContainerEq(c.left));
        EXPECT_EQ(list.Current(), c.expectedCurrent);
    }

    list_.AddFileRows({File("a"), File("b"), File("c")});
    list_.SetCurrent(2);
    log_.lines.clear();
    EXPECT_TRUE(list_.RemoveCurrent());
    EXPECT_THAT(log_.lines, ElementsAre("removed 2 1", "current 1"));
    list_.SetCurrent(-1);
    EXPECT_FALSE(list_.RemoveCurrent()) << "nothing happens without a selection";
    EXPECT_EQ(list_.Count(), 2);
    list_.SetCurrent(7);
    EXPECT_EQ(list_.Current(), -1);
}

TEST_F(SourceListTest, CheckOperations) {
    list_.AddFileRows({File("a"), File("b"), File("c")});
    list_.SetChecked(1, false);
    log_.lines.clear();

    list_.ReverseCheck();
    EXPECT_THAT(Checks(list_), ElementsAre(false, true, false));
    EXPECT_THAT(log_.lines, ElementsAre("changed 0 2"));
    EXPECT_THAT(list_.CheckedRows(), ElementsAre(1));

    list_.CheckAll();
    EXPECT_EQ(list_.CheckedCount(), 3);
    list_.UncheckAll();
    EXPECT_EQ(list_.CheckedCount(), 0);

    list_.SetCurrent(2);
    EXPECT_TRUE(list_.SetCurrentChecked(true));
    list_.ToggleChecked(0);
    EXPECT_THAT(Checks(list_), ElementsAre(true, false, true));
    list_.SetCurrent(-1);
    EXPECT_FALSE(list_.SetCurrentChecked(false));

    TSourceListModel empty;
    empty.ReverseCheck();
    empty.CheckAll();
    EXPECT_EQ(empty.CheckedCount(), 0);
}

// A list holds one kind of row; adding rows of the other kind replaces what it holds, and
// only once there is something to add.
TEST_F(SourceListTest, RowsOfTheOtherKindReplaceTheList) {
    AddDvdTitles(list_, 2);
    list_.SetCurrent(0);
    EXPECT_EQ(list_.Kind(), TRowKind::DvdTitle);
    EXPECT_THAT(list_.Row(1).Cells, ElementsAre("DVD Title 2", "   0:00:19", "", "", "", ""));
    EXPECT_TRUE(list_.Record(1).OutputName.empty()) << "DVD rows have no destination column";
    EXPECT_EQ(list_.Record(1).ChapterTo, 3);

    log_.lines.clear();
    EXPECT_EQ(list_.AddFileRows({}), 0);
    EXPECT_EQ(list_.Count(), 2) << "nothing to add keeps the titles";

    list_.AddFileRows({File("/videos/clip.avi"), File("/videos/DVD Title 1")});
    EXPECT_EQ(list_.Kind(), TRowKind::File);
    EXPECT_THAT(Captions(list_), ElementsAre("/videos/clip.avi", "/videos/DVD Title 1"));
    EXPECT_THAT(log_.lines,
                ElementsAre("removed 0 2", "current -1", "kind file", "inserted 0 2", "current 0"));

    log_.lines.clear();
    AddDvdTitles(list_, 1);
    EXPECT_THAT(Captions(list_), ElementsAre("DVD Title 1"));
    EXPECT_THAT(log_.lines, ElementsAre("removed 0 2", "current -1", "kind dvd", "inserted 0 1"));

    list_.SetCellText(0, ProgressColumn(TRowKind::DvdTitle), "100%");
    EXPECT_EQ(list_.Row(0).Cells[dcDvdProgress], "100%");
    list_.EditRecord(0, [](TlvFilesRecord& r) { r.AudioID = 0x81; });
    EXPECT_EQ(list_.Record(0).AudioID, 0x81);
    EXPECT_EQ(ColumnsOf(TRowKind::DvdTitle).size(), 6u);
    EXPECT_STREQ(ColumnsOf(TRowKind::File)[fcDestination].Caption, "Destination File");
}

TEST_F(SourceListTest, RowsKeepTheirIdentityAndClearRemovesEverything) {
    list_.AddFileRows({File("a"), File("b"), File("c")});
    const TRowId b = list_.Row(1).Id;
    const TRowId c = list_.Row(2).Id;
    list_.RemoveRow(0);
    EXPECT_EQ(list_.IndexOf(b), 0);
    EXPECT_EQ(list_.IndexOf(c), 1);

    log_.lines.clear();
    list_.Clear();
    EXPECT_TRUE(list_.Empty());
    EXPECT_EQ(list_.IndexOf(b), -1);
    EXPECT_THAT(log_.lines, ElementsAre("removed 0 2", "current -1"));
    list_.Clear();
    EXPECT_EQ(log_.lines.size(), 2u) << "clearing an empty list does nothing";

    list_.AddFileRows({File("b")});
    EXPECT_GT(list_.Row(0).Id, c) << "identities are never reused";
    EXPECT_THROW(list_.Row(1), std::out_of_range);
}

} // namespace
} // namespace tessaro
