// The title browser without widgets: reading the fixture discs through the plug-in (folder,
// image, a damaged and a scrambled copy), and the texts of title rows and stream lines.
#include "DvdTitleBrowser.h"
#include "DVDPlugIn.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

namespace tessaro::test {
namespace {

const std::string Fixtures = FixtureDir();

TEST(DvdTitleBrowser, WithoutThePlugInNothingIsRead) {
    if (IsDVDPlugInLoaded()) {
        GTEST_SKIP() << "the plug-in was loaded by an earlier test of this process";
    }
    TTempDir empty;
    EXPECT_EQ(ScanDvd(empty.Str(), Fixtures + "/dvd").Status, TDvdScanStatus::PlugInMissing);
    EXPECT_FALSE(IsDVDPlugInLoaded());
}

class DvdTitleBrowserDisc : public ::testing::TestWithParam<const char*> {};

TEST_P(DvdTitleBrowserDisc, ReadsTitlesTextsAndStreams) {
    const TDvdScan scan = ScanDvd(LibAvDir(), Fixtures + "/" + GetParam());
    ASSERT_EQ(scan.Status, TDvdScanStatus::Ok);
    ASSERT_EQ(scan.Titles.size(), 3u);
    ASSERT_EQ(scan.ValidCount(), 3);

    const TDVDTitleInfo& first = scan.Titles[0].Info;
    // 19.967 s on the disc: whole seconds are cut, not rounded.
    EXPECT_EQ(DvdTitleRowTexts(0, first),
              (std::vector<std::string>{"DVD Title 1", "   0:00:19", "   0:00:19", "   720 x 480",
                                        "   MPEG-2", ""}));
    EXPECT_EQ(DvdAudioLines(first), (std::vector<std::string>{"128  English", "129  French"}));
    EXPECT_EQ(DvdSubtitleLines(first), (std::vector<std::string>{"32  English", "Default"}));
    EXPECT_EQ(DvdTitleRowTexts(1, scan.Titles[1].Info)[1], "   0:00:08");
    EXPECT_EQ(DvdSubtitleLines(scan.Titles[1].Info), (std::vector<std::string>{"Default"}));
    EXPECT_EQ(DvdAudioLines(scan.Titles[2].Info), (std::vector<std::string>{"128  Unknown"}));

    // Every title has its cells; the titles are short, so the longest one is offered.
    for (const TDvdTitle& title : scan.Titles) {
        EXPECT_EQ(title.Cells.size(), std::size_t(title.Info.ChapterCount)) << title.Index;
    }
    ASSERT_EQ(scan.Picks.size(), 3u);
    EXPECT_TRUE(scan.Picks[0].Checked && scan.Picks[0].Marked);
    EXPECT_FALSE(scan.Picks[1].Checked || scan.Picks[2].Checked);
}

INSTANTIATE_TEST_SUITE_P(FolderAndImage, DvdTitleBrowserDisc, ::testing::Values("dvd", "dvd.iso"));

TEST(DvdTitleBrowser, WhatCannotBeRead) {
    TTempDir notADvd;
    const struct {
        std::string location;
        TDvdScanStatus status;
    } cases[] = {
        {"/no/such/dvd", TDvdScanStatus::NoDisc},
        {"", TDvdScanStatus::NoDisc},
        {notADvd.Str(), TDvdScanStatus::NoTitles},
        {Fixtures + "/mpeg2_ac3.mpg", TDvdScanStatus::NoTitles},
        {Fixtures + "/dvd_scrambled", TDvdScanStatus::Encrypted},
    };
    for (const auto& c : cases) {
        const TDvdScan scan = ScanDvd(LibAvDir(), c.location);
        EXPECT_EQ(scan.Status, c.status) << c.location;
        EXPECT_TRUE(scan.Titles.empty()) << c.location;
    }
}

TEST(DvdTitleBrowser, ADamagedTitleIsKeptAsInvalidAndNeverPicked) {
    const TDvdScan scan = ScanDvd(LibAvDir(), Fixtures + "/dvd_damaged");
    ASSERT_EQ(scan.Status, TDvdScanStatus::Ok);
    ASSERT_EQ(scan.Titles.size(), 3u);
    EXPECT_TRUE(scan.Titles[0].Valid);
    EXPECT_FALSE(scan.Titles[1].Valid);
    EXPECT_TRUE(scan.Titles[2].Valid);
    EXPECT_EQ(scan.Titles[2].Index, 2);
    EXPECT_FALSE(scan.Picks[1].Checked);
    EXPECT_TRUE(scan.Picks[1].Reason.empty());
    EXPECT_TRUE(scan.Picks[0].Checked);
}

TEST(DvdTitleBrowser, LocationsAndLengths) {
    const std::pair<const char*, const char*> locations[] = {
        {"/media/disc/VIDEO_TS", "/media/disc"},
        {"/media/disc/video_ts/", "/media/disc"},
        {"/media/disc//", "/media/disc"},
        {"/VIDEO_TS", "/"},
        {"VIDEO_TS", "."},
        {"/films/film.iso", "/films/film.iso"},
        {"/dev/sr0", "/dev/sr0"},
        {"/media/MY_VIDEO_TS", "/media/MY_VIDEO_TS"},
        {"/", "/"},
    };
    for (const auto& [path, location] : locations) {
        EXPECT_EQ(DvdLocationOf(path), location) << path;
    }
    const std::pair<double, const char*> lengths[] = {
        {19.967, "0:00:19"}, {3723.9, "1:02:03"}, {36000, "10:00:00"}, {-1, "0:00:00"}};
    for (const auto& [seconds, text] : lengths) {
        EXPECT_EQ(DvdLengthText(seconds), text) << seconds;
    }
    EXPECT_FALSE(DvdLocationReadable("/no/such/dvd"));
    EXPECT_TRUE(DvdLocationReadable(Fixtures + "/dvd.iso"));
}

} // namespace
} // namespace tessaro::test
