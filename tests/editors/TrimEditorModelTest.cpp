// The trim editor's range rules: what Ok stores for each kind of range, the list text, the
// seek bar points, and the shortened source name the editors show.
#include "trim/TrimEditorModel.h"
#include "EditorSource.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

constexpr std::int64_t Duration = 83'250'000; // 1:23.25

TEST(TrimEditorModelTest, OkStoresTheRangeOrTheWholeSourceByTheRules) {
    const struct {
        const char* what;
        std::int64_t start, end;
        std::int64_t trimStart, trimLength;
        const char* listText; // nullptr: the column is left alone
    } cases[] = {
        {"a range inside", 5'000'000, 65'500'000, 5'000'000, 60'500'000, "   0:01:00"},
        {"start 0, end the duration", 0, Duration, 0, 0, "   0:01:23"},
        {"end within a millisecond of the end", 0, Duration - 999, 0, 0, "   0:01:23"},
        {"end a millisecond before the end", 0, Duration - 1000, 0, Duration - 1000, "   0:01:23"},
        {"from a start to the end", 2'000'000, Duration, 2'000'000, Duration - 2'000'000,
         "   0:01:21"},
        {"start after the end", 40'000'000, 30'000'000, 40'000'000, 0, "   0:01:23"},
        {"start at the end", 30'000'000, 30'000'000, 30'000'000, 0, "   0:01:23"},
        {"end beyond the duration", 1'000'000, Duration + 5, 1'000'000, 0, "   0:01:23"},
        {"a range shorter than a millisecond", 1'000'000, 1'000'500, 1'000'000, 0, "   0:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TTrimEditorModel model;
        model.FileOpened(Duration);
        model.SetStart(c.start);
        model.SetEnd(c.end);
        const TTrimStored stored = model.Store();
        EXPECT_EQ(stored.TrimStart, c.trimStart);
        EXPECT_EQ(stored.TrimLength, c.trimLength);
        ASSERT_TRUE(stored.ListText.has_value());
        EXPECT_EQ(*stored.ListText, c.listText);
    }
}

TEST(TrimEditorModelTest, NothingOpenedStoresZeroAndLeavesTheColumn) {
    TTrimEditorModel model;
    model.FileOpened(0);
    const TTrimStored stored = model.Store();
    EXPECT_EQ(stored.TrimStart, 0);
    EXPECT_EQ(stored.TrimLength, 0);
    EXPECT_FALSE(stored.ListText.has_value());
}

TEST(TrimEditorModelTest, PositionsOfZeroOrLessAreIgnoredAndResetTakesTheWholeSource) {
    TTrimEditorModel model;
    model.FileOpened(Duration);
    model.ShowStored(3'000'000, 4'000'000);
    EXPECT_EQ(model.Start(), 3'000'000);
    EXPECT_EQ(model.End(), 7'000'000);
    EXPECT_FALSE(model.SetStart(0));
    EXPECT_FALSE(model.SetEnd(-5));
    EXPECT_EQ(model.Start(), 3'000'000);
    EXPECT_EQ(model.End(), 7'000'000);
    model.Reset();
    EXPECT_EQ(model.Start(), 0);
    EXPECT_EQ(model.End(), Duration);

    // A stored range without a length runs to the end; a negative start is no start.
    model.FileOpened(Duration);
    model.ShowStored(-1, 0);
    EXPECT_EQ(model.Start(), 0);
    EXPECT_EQ(model.End(), Duration);
}

TEST(TrimEditorModelTest, SeekBarPointsAndTimesTruncate) {
    TTrimEditorModel model;
    EXPECT_EQ(model.BarPoint(5'000'000, 372), 0) << "no duration yet";
    model.FileOpened(10'000'000);
    EXPECT_EQ(model.BarPoint(0, 372), 0);
    EXPECT_EQ(model.BarPoint(3'333'333, 372), 123); // 123.99...
    EXPECT_EQ(model.BarPoint(10'000'000, 372), 372);
    EXPECT_EQ(model.BarTime(0, 372), 0);
    EXPECT_EQ(model.BarTime(186, 372), 5'000'000);
    EXPECT_EQ(model.BarTime(1, 3), 3'333'333);
}

TEST(TrimEditorModelTest, ListTextHasUnpaddedUnwrappedHours) {
    EXPECT_EQ(TrimListText(0), "   0:00:00");
    EXPECT_EQ(TrimListText(3'723'999'999), "   1:02:03");
    EXPECT_EQ(TrimListText(100LL * 3600 * 1'000'000), "   100:00:00");
}

TEST(EditorSourceTest, NamesOfMoreThanFiftyCharactersAreShortenedKeepingTheExtension) {
    const std::string fifty = "/media/videos/holiday/" + std::string(24, 'a') + ".mpg";
    ASSERT_EQ(fifty.size(), 50u);
    EXPECT_EQ(ShortSourceName(fifty), fifty);
    const std::string fiftyOne = "/media/videos/holiday/" + std::string(25, 'a') + ".mpg";
    EXPECT_EQ(ShortSourceName(fiftyOne), fiftyOne.substr(0, 44) + "...mpg  ");
    // Characters, not bytes: fifty two-byte letters are shown whole.
    std::string umlauts;
    for (int i = 0; i < 50; ++i) {
        umlauts += "\xc3\xa4";
    }
    EXPECT_EQ(ShortSourceName(umlauts), umlauts);
    EXPECT_EQ(ShortSourceName(umlauts + ".vob"), umlauts.substr(0, 88) + "...vob  ");
}

} // namespace
} // namespace tessaro
