// What the title browser learns from the plug-in beyond the title records: the cells each
// title plays, and whether the disc's sectors are scrambled (as on a CSS-protected disc read
// without a descrambler).
#include "DVDDecApi.h"
#include "Scrambling.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>

namespace tessaro::test {
namespace {

const std::string Fixtures = FixtureDir();

using TSector = std::array<std::uint8_t, DVD_VIDEO_LB_LEN>;

// An MPEG-2 pack header with stuffing bytes, at the start of a sector.
std::size_t PutPackHeader(TSector& sector, int stuffing) {
    const std::uint8_t header[14] = {0, 0, 1, 0xBA, 0x44, 0,    4,
                                     0, 4, 1, 1,    0x89, 0xC3, std::uint8_t(0xF8 | stuffing)};
    std::copy(std::begin(header), std::end(header), sector.begin());
    std::fill_n(sector.begin() + 14, stuffing, 0xFF);
    return 14 + std::size_t(stuffing);
}

// A packet of id at offset, length bytes after its length field, its next byte set to flags.
std::size_t PutPacket(TSector& sector, std::size_t at, std::uint8_t id, int length,
                      std::uint8_t flags) {
    const std::uint8_t head[7] = {0,    0, 1, id, std::uint8_t(length >> 8), std::uint8_t(length),
                                  flags};
    std::copy(std::begin(head), std::end(head), sector.begin() + std::ptrdiff_t(at));
    return at + 6 + std::size_t(length);
}

TEST(DiscProtection, ScramblingBitsOfThePacketsOfAPack) {
    struct TCase {
        const char* name;
        std::function<void(TSector&)> build;
        bool scrambled;
    };
    const TCase cases[] = {
        {"clear video", [](TSector& s) { PutPacket(s, PutPackHeader(s, 0), 0xE0, 2028, 0x81); },
         false},
        {"scrambled video", [](TSector& s) { PutPacket(s, PutPackHeader(s, 0), 0xE0, 2028, 0x91); },
         true},
        {"scrambled AC-3 after stuffing",
         [](TSector& s) { PutPacket(s, PutPackHeader(s, 3), 0xBD, 2025, 0xB1); }, true},
        {"scrambled MPEG audio",
         [](TSector& s) { PutPacket(s, PutPackHeader(s, 0), 0xC0, 2028, 0xA0); }, true},
        {"padding, then scrambled video",
         [](TSector& s) {
             const std::size_t video = PutPacket(s, PutPackHeader(s, 0), 0xBE, 100, 0xFF);
             PutPacket(s, video, 0xE0, 2048 - int(video) - 6, 0x90);
         },
         true},
        // A navigation pack: system header (whose bytes may look like flags) and private
        // stream 2, which is never scrambled.
        {"navigation pack",
         [](TSector& s) {
             const std::size_t pci = PutPacket(s, PutPackHeader(s, 0), 0xBB, 18, 0xFF);
             PutPacket(s, PutPacket(s, pci, 0xBF, 980, 0x30), 0xBF, 1018, 0x30);
         },
         false},
        {"no pack", [](TSector& s) { s.fill(0x30); }, false},
        {"MPEG-1 pack",
         [](TSector& s) {
             const std::uint8_t header[12] = {0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0, 1};
             std::copy(std::begin(header), std::end(header), s.begin());
             PutPacket(s, 12, 0xE0, 2030, 0x0F);
         },
         false},
        {"packet longer than the sector",
         [](TSector& s) { PutPacket(s, PutPackHeader(s, 0), 0xBE, 0xFFFF, 0xFF); }, false},
    };
    for (const TCase& c : cases) {
        TSector sector{};
        c.build(sector);
        EXPECT_EQ(dvddec::SectorScrambled(sector.data()), c.scrambled) << c.name;
    }
}

TEST(DiscProtection, OnlyTheScrambledCopyReadsAsEncrypted) {
    const struct {
        const char* disc;
        int encrypted;
    } cases[] = {{"dvd", 0}, {"dvd.iso", 0}, {"dvd_scrambled", 1}, {"dvd", 0}};
    for (const auto& c : cases) {
        ASSERT_GT(DVDEnumTitle((Fixtures + "/" + c.disc).c_str()), 0) << c.disc;
        EXPECT_EQ(DVDDiscEncrypted(), c.encrypted) << c.disc;
    }
    EXPECT_LT(DVDEnumTitle("/no/such/disc"), 1);
    EXPECT_EQ(DVDDiscEncrypted(), 0) << "no disc open";
}

TEST(DiscProtection, TitleCellsCoverTheTitleVobsInPlaybackOrder) {
    ASSERT_EQ(DVDEnumTitle((Fixtures + "/dvd").c_str()), 3);
    const int cellsOfTitle[] = {3, 2, 1};
    for (int title = 0; title < 3; ++title) {
        std::vector<TDVDCellExtent> cells(8);
        const int count = DVDGetTitleCells(title, cells.data(), int(cells.size()));
        ASSERT_GT(count, 0) << title;
        cells.resize(std::size_t(count));
        // One title per title set, one cell per chapter, back to back in its VOB file.
        EXPECT_EQ(count, cellsOfTitle[title]);
        std::uint32_t next = 0;
        for (const TDVDCellExtent& cell : cells) {
            EXPECT_EQ(cell.TitleSet, title + 1);
            EXPECT_EQ(cell.FirstSector, next);
            next = cell.LastSector + 1;
        }
        const std::string vob =
            Fixtures + "/dvd/VIDEO_TS/VTS_0" + std::to_string(title + 1) + "_1.VOB";
        EXPECT_EQ(std::uintmax_t(next) * DVD_VIDEO_LB_LEN, std::filesystem::file_size(vob));
    }
    // A short buffer gets what fits; the count says how many there are.
    TDVDCellExtent first[2] = {{}, {-7, 7, 7}};
    EXPECT_EQ(DVDGetTitleCells(0, first, 1), 3);
    EXPECT_EQ(first[1].TitleSet, -7);
    EXPECT_EQ(DVDGetTitleCells(0, nullptr, 0), 3);
    EXPECT_EQ(DVDGetTitleCells(3, first, 2), -1);
}

} // namespace
} // namespace tessaro::test
