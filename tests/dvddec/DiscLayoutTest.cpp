// How chapters become cells: angle blocks, chapters of several cells, playback times. The
// multi-cell disc is authored here, as the shared fixture has one cell per chapter.
#include "DVDDecApi.h"
#include "Disc.h"
#include "EngineTestSupport.h"
#include "LsdvdReport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tessaro::test {
namespace {

std::vector<std::uint32_t> FirstSectors(const std::vector<const cell_playback_t*>& cells) {
    std::vector<std::uint32_t> sectors;
    for (const cell_playback_t* cell : cells) {
        sectors.push_back(cell->first_sector);
    }
    return sectors;
}

TEST(DiscLayout, OnlyTheFirstAngleOfABlockPlays) {
    cell_playback_t cells[6] = {};
    const struct {
        unsigned type, mode;
    } kinds[6] = {{BLOCK_TYPE_NONE, BLOCK_MODE_NOT_IN_BLOCK},
                  {BLOCK_TYPE_ANGLE_BLOCK, BLOCK_MODE_FIRST_CELL},
                  {BLOCK_TYPE_ANGLE_BLOCK, BLOCK_MODE_IN_BLOCK},
                  {BLOCK_TYPE_ANGLE_BLOCK, BLOCK_MODE_LAST_CELL},
                  {BLOCK_TYPE_NONE, BLOCK_MODE_NOT_IN_BLOCK},
                  {BLOCK_TYPE_NONE, BLOCK_MODE_NOT_IN_BLOCK}};
    for (int i = 0; i < 6; ++i) {
        cells[i].block_type = kinds[i].type & 3;
        cells[i].block_mode = kinds[i].mode & 3;
        cells[i].first_sector = std::uint32_t(i * 10);
        cells[i].last_sector = std::uint32_t(i * 10 + 9);
    }
    pgc_t pgc{};
    pgc.nr_of_cells = 6;
    pgc.cell_playback = cells;
    dvddec::TTitleLayout layout;
    layout.chapters = {{1, &pgc, 0, 4}, {1, &pgc, 4, 6}};

    using Sectors = std::vector<std::uint32_t>;
    EXPECT_EQ(FirstSectors(dvddec::PlayedCells(layout, 1, 1)), (Sectors{0, 10}));
    EXPECT_EQ(FirstSectors(dvddec::PlayedCells(layout, 2, 2)), (Sectors{40, 50}));
    EXPECT_EQ(FirstSectors(dvddec::PlayedCells(layout, 1, 2)), (Sectors{0, 10, 40, 50}));
}

TEST(DiscLayout, PlaybackTimesAreBcdWithTheirFrameRate) {
    const struct {
        dvd_time_t time;
        double seconds;
    } cases[] = {
        {{0x01, 0x02, 0x03, 0xc0 | 0x15}, 3723 + 15 / 29.97}, // NTSC: frames count 30 a second
        {{0x00, 0x00, 0x59, 0x40 | 0x24}, 59 + 24 / 25.0},    // PAL
        {{0x00, 0x10, 0x00, 0x00 | 0x12}, 600},               // no rate: frames ignored
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(dvddec::PlaybackSeconds(c.time), c.seconds, 1e-9);
    }
}

// A one-title disc whose two chapters have two cells each.
class MultiCellChapters : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TTempDir();
        const std::string dir = folder_->Str();
        const std::string xml = dir + "/dvd.xml";
        std::ofstream(xml) << "<dvdauthor dest=\"" << dir << "/dvd\"><vmgm/><titleset><titles>"
                           << "<pgc><vob file=\"" << dir << "/title.mpg\">"
                           << "<cell start=\"0\" end=\"1.5\" chapter=\"1\"/>"
                           << "<cell start=\"1.5\" end=\"3\"/>"
                           << "<cell start=\"3\" end=\"4.5\" chapter=\"1\"/>"
                           << "<cell start=\"4.5\"/>"
                           << "</vob></pgc></titles></titleset></dvdauthor>";
        const std::string command =
            "ffmpeg -nostdin -loglevel error -f lavfi -i "
            "testsrc=size=720x480:rate=30000/1001:duration=6 -f lavfi -i "
            "sine=frequency=440:sample_rate=48000:duration=6 -target ntsc-dvd -b:v 1500k '" +
            dir + "/title.mpg' && VIDEO_FORMAT=NTSC dvdauthor -x '" + xml + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    static void TearDownTestSuite() { delete folder_; }

    static std::string Location() { return folder_->Str() + "/dvd"; }

    static std::vector<std::uint8_t> Read(const TDVDParam& param, TDVDStreamInfo& info) {
        std::vector<std::uint8_t> bytes;
        TDVDStream* stream = DVDStreamOpen(Location().c_str(), &param, nullptr, 0);
        if (stream == nullptr) {
            ADD_FAILURE() << "cannot open chapters " << param.FromChapter;
            return bytes;
        }
        DVDStreamGetInfo(stream, &info);
        std::uint8_t buffer[65536];
        int count = 0;
        while ((count = DVDStreamRead(stream, buffer, sizeof buffer)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + count);
        }
        DVDStreamClose(stream);
        return bytes;
    }

    static TTempDir* folder_;
};
TTempDir* MultiCellChapters::folder_ = nullptr;

TEST_F(MultiCellChapters, EachChapterTakesAllItsCells) {
    const std::vector<TLsdvdTitle> reference = RunLsdvd(Location());
    ASSERT_EQ(reference.size(), 1u);
    ASSERT_EQ(reference[0].chapterSeconds.size(), 2u);

    TDVDStreamInfo first{}, second{}, whole{};
    const std::vector<std::uint8_t> chapter1 = Read({0, 1, 1, 128, 0, 2, 0}, first);
    const std::vector<std::uint8_t> chapter2 = Read({0, 2, 2, 128, 0, 2, 0}, second);
    const std::vector<std::uint8_t> all = Read({0, 0, DVD_LAST_CHAPTER, 128, 0, 2, 0}, whole);
    EXPECT_NEAR(first.Duration, reference[0].chapterSeconds[0], 0.01);
    EXPECT_NEAR(second.Duration, reference[0].chapterSeconds[1], 0.01);
    EXPECT_NEAR(first.Duration, 3.0, 0.5); // two cells, not one

    std::ifstream vob(Location() + "/VIDEO_TS/VTS_01_1.VOB", std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(vob), {}};
    EXPECT_TRUE(all == file);
    std::vector<std::uint8_t> joined = chapter1;
    joined.insert(joined.end(), chapter2.begin(), chapter2.end());
    EXPECT_TRUE(joined == file) << chapter1.size() << " + " << chapter2.size() << " bytes";
}

} // namespace
} // namespace tessaro::test
