// Which titles a disc's rows start checked with, on the disc layouts a user meets: a film
// with extras, two versions of a film sharing cells, discs of episodes with and without a
// "play all" title, a film whose scenes are titles too, and discs of short titles only.
#include "MainFeature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaro::test {
namespace {

constexpr double Minutes = 60;

// A title of a disc: its length, chapters and the sector ranges it plays in title set 1
// (sectors stand for minutes here: 100 sectors a minute).
struct TDiscTitle {
    double minutes;
    int chapters;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sectors;
};

std::vector<TTitleShape> Disc(const std::vector<TDiscTitle>& titlesOnDisc) {
    std::vector<TTitleShape> titles;
    for (std::size_t i = 0; i < titlesOnDisc.size(); ++i) {
        TTitleShape title{
            std::int32_t(i), titlesOnDisc[i].minutes * Minutes, titlesOnDisc[i].chapters, {}};
        for (const auto& [first, last] : titlesOnDisc[i].sectors) {
            title.Cells.push_back({1, first, last});
        }
        titles.push_back(title);
    }
    return titles;
}

// Sectors of a stretch of minutes: [from, to) minutes.
std::pair<std::uint32_t, std::uint32_t> At(double from, double to) {
    return {std::uint32_t(from * 100), std::uint32_t(to * 100) - 1};
}

struct TLayoutCase {
    const char* name;
    std::vector<TDiscTitle> disc;
    std::vector<bool> checked;
    std::vector<bool> marked;
    // A word each title's reason must hold (empty: not looked at).
    std::vector<const char*> reasonHolds;
};

class MainFeatureLayouts : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(MainFeatureLayouts, PicksAndExplains) {
    const TLayoutCase& c = GetParam();
    const std::vector<TTitlePick> picks = PickTitles(Disc(c.disc));
    ASSERT_EQ(picks.size(), c.disc.size());
    for (std::size_t i = 0; i < picks.size(); ++i) {
        SCOPED_TRACE("title " + std::to_string(i + 1) + ": " + picks[i].Reason);
        EXPECT_EQ(picks[i].Checked, c.checked[i]);
        EXPECT_EQ(picks[i].Marked, c.marked[i]);
        EXPECT_FALSE(picks[i].Reason.empty());
        if (c.reasonHolds[i][0] != 0) {
            EXPECT_NE(picks[i].Reason.find(c.reasonHolds[i]), std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Discs, MainFeatureLayouts,
    ::testing::Values(
        // A film, a making-of, a trailer and a menu loop.
        TLayoutCase{"OneLongTitle",
                    {{112, 28, {At(0, 112)}},
                     {14, 3, {At(112, 126)}},
                     {2, 1, {At(126, 128)}},
                     {0.3, 1, {At(128, 128.3)}}},
                    {true, false, false, false},
                    {true, false, false, false},
                    {"the longest title (1:52:00); the most chapters (28); not a repeat",
                     "Shorter than the main feature", "Shorter", "likely a menu"}},
        // The same film twice (one copy with a credits cell less): the one with more chapters
        // stays, whatever the order.
        TLayoutCase{
            "TwoNearEqualTitlesShareCells",
            {{95, 12, {At(0, 95)}}, {97, 24, {At(0, 95), At(95, 97)}}, {5, 1, {At(97, 102)}}},
            {false, true, false},
            {false, true, false},
            {"Repeats the cells of title 2", "title 1 repeats its cells", ""}},
        // Four episodes of 22 minutes and a "play all" title of all of them.
        TLayoutCase{"EpisodesWithPlayAll",
                    {{88, 16, {At(0, 88)}},
                     {22, 4, {At(0, 22)}},
                     {22, 4, {At(22, 44)}},
                     {22, 4, {At(44, 66)}},
                     {22, 4, {At(66, 88)}},
                     {3, 1, {At(88, 91)}}},
                    {false, true, true, true, true, false},
                    {false, true, true, true, true, false},
                    {"Plays titles 2, 3, 4 and 5 one after another",
                     "one of 4 titles that title 1 plays in one", "", "", "",
                     "Not one of the episodes"}},
        // Many short episodes of slightly different lengths, no "play all".
        TLayoutCase{"ManyEpisodesAlone",
                    {{24, 5, {At(0, 24)}},
                     {21, 5, {At(24, 45)}},
                     {23, 5, {At(45, 68)}},
                     {22, 5, {At(68, 90)}},
                     {25, 5, {At(90, 115)}},
                     {22, 5, {At(115, 137)}},
                     {4, 1, {At(137, 141)}}},
                    {true, true, true, true, true, true, false},
                    {true, true, true, true, true, true, false},
                    {"one of 6 titles of similar length", "", "", "", "", "", ""}},
        // A film whose scenes are offered as titles of their own: the scenes are parts of it.
        TLayoutCase{
            "FilmWithItsScenesAsTitles",
            {{6, 1, {At(0, 6)}}, {90, 4, {At(0, 90)}}, {30, 1, {At(6, 36)}}, {54, 1, {At(36, 90)}}},
            {false, true, false, false},
            {false, true, false, false},
            {"Plays a part of title 2", "Likely the main feature", "", ""}},
        // Two films on one disc: the longer one is the main feature.
        TLayoutCase{"DoubleFeature",
                    {{88, 20, {At(0, 88)}}, {91, 18, {At(88, 179)}}},
                    {false, true},
                    {false, true},
                    {"", "the longest title"}},
        // Nothing but short clips: the longest of them is still offered.
        TLayoutCase{"ShortClipsOnly",
                    {{0.5, 1, {At(0, 0.5)}}, {0.75, 1, {At(0.5, 1.25)}}},
                    {false, true},
                    {false, true},
                    {"likely a menu", "the longest title (0:00:45)"}}),
    [](const ::testing::TestParamInfo<TLayoutCase>& info) { return info.param.name; });

TEST(MainFeature, TitlesWithoutCellsAreJudgedByLength) {
    std::vector<TTitleShape> titles = Disc({{40, 8, {}}, {100, 20, {}}, {100, 20, {}}});
    const std::vector<TTitlePick> picks = PickTitles(titles);
    // Nothing shows the two long titles are one: the first of the longest is the feature.
    EXPECT_FALSE(picks[0].Checked);
    EXPECT_TRUE(picks[1].Checked);
    EXPECT_FALSE(picks[2].Checked);
    EXPECT_TRUE(PickTitles({}).empty());
}

} // namespace
} // namespace tessaro::test
