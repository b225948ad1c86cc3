// The built-in catalogue and the format chooser model.
#include "formats/FormatCatalogue.h"
#include "EngineTestSupport.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

class ChooserTest : public ::testing::Test {
protected:
    TIniFile Settings(const std::string& text) {
        const fs::path path = folder_.Path() / "tessaro.ini";
        std::ofstream(path) << text;
        return TIniFile(path.string());
    }

    test::TTempDir folder_;
};

TEST(FormatCatalogue, CodesNamesAndSections) {
    const std::vector<int> codes = AllFormatCodes();
    ASSERT_EQ(codes.size(), 26u);
    EXPECT_EQ(codes.front(), 0);
    EXPECT_EQ(codes.back(), 306);
    EXPECT_EQ(FormatDisplayName(0), "PSP MPEG-4 Excellent Quality (*.mp4)");
    EXPECT_EQ(FormatDisplayName(103), "PS3 MPEG-4 Video (1080P) (*.mp4)");
    EXPECT_EQ(FormatDisplayName(207), "Xvid Video (*.avi)");
    EXPECT_EQ(FormatDisplayName(209), "DV - PAL -Digital Video Format (*.dv)");
    EXPECT_EQ(FormatDisplayName(306), "AC-3 Audio Codec (*.ac3)");
    // Codes between the groups name nothing.
    for (int unused : {5, 99, 104, 210, 307, 400, -1}) {
        EXPECT_EQ(FormatDisplayName(unused), "") << unused;
    }
    EXPECT_EQ(FormatSectionName(1), "formatInfo1");
    EXPECT_EQ(FormatSectionName(203), "formatInfo203");
    EXPECT_STREQ(FormatGroups()[2].Name, "General Video formats");
    EXPECT_STREQ(FormatGroups()[3].Name, "General Audio formats");
}

struct TNameCase {
    const char* name;
    int code; // -1: names no format
};

// Names come back from the settings file as an older version stored them: the misspelt names
// it showed still stand for their formats.
TEST(FormatCatalogue, StoredNamesInOldAndNewSpellingNameTheirFormat) {
    const TNameCase cases[] = {
        {"AAC Advenced Audio Codec (*.aac)", 301},     {"WMA - Windows Meida Audio (*.wma)", 303},
        {"  aac advenced audio codec (*.AAC) ", 301},  {"AAC Advanced Audio Codec (*.aac)", 301},
        {"WMA - Windows Media Audio (*.wma)", 303},    {" xvid video (*.AVI)", 207},
        {"AAC Advenced Audio Codec (*.wma)", -1},      {"General Audio formats", -1},
        {"Apple iPod Video MPEG-4 Movie (*.mp4)", -1}, {"", -1},
    };
    for (const TNameCase& c : cases) {
        EXPECT_EQ(FormatCodeOfName(c.name), c.code) << c.name;
    }
    for (const int code : AllFormatCodes()) {
        EXPECT_EQ(FormatCodeOfName(FormatDisplayName(code)), code) << code;
    }
}

TEST_F(ChooserTest, AllCollapsedShowsFourGroupRowsAndIsHundredPixelsHigh) {
    TFormatChooserModel chooser;
    chooser.Fill(Settings("")); // no stored states: every group collapsed
    ASSERT_EQ(chooser.Rows().size(), 4u);
    for (int g = 0; g < 4; ++g) {
        const TItemInfo& info = chooser.Rows()[static_cast<std::size_t>(g)].Info;
        EXPECT_TRUE(info.IsGroup);
        EXPECT_FALSE(info.IsFormat);
        EXPECT_TRUE(info.Collapsed);
        EXPECT_EQ(info.Code, g);
    }
    EXPECT_EQ(chooser.FilledHeight(), 100);
    EXPECT_EQ(chooser.FilledTop(500), 500 - 100 + 395);
    // The name table is filled even for collapsed groups.
    EXPECT_EQ(chooser.NameTable()[3][6], "AC-3 Audio Codec (*.ac3)");
    EXPECT_EQ(chooser.NameTable()[0][5], "");
}

TEST_F(ChooserTest, AllExpandedShowsThirtyRowsAndIsCappedAt362Pixels) {
    TFormatChooserModel chooser;
    chooser.Fill(Settings("[lstformat]\n0=0\n1=0\n2=0\n3=0\n"));
    ASSERT_EQ(chooser.Rows().size(), 30u);
    EXPECT_EQ(chooser.FilledHeight(), 362);
    EXPECT_EQ(chooser.OpenedHeight(), 386);
    // Format rows follow their group in catalogue order with their codes.
    EXPECT_EQ(chooser.Rows()[1].Text, "PSP MPEG-4 Excellent Quality (*.mp4)");
    EXPECT_EQ(chooser.Rows()[1].Info.Code, 0);
    EXPECT_TRUE(chooser.Rows()[1].Info.IsFormat);
    EXPECT_EQ(chooser.Rows()[29].Info.Code, 306);
}

TEST_F(ChooserTest, StoredExpandedPs3GroupShowsItsFourFormats) {
    TFormatChooserModel chooser;
    chooser.Fill(Settings("[LSTFORMAT]\n1=0\n"));
    ASSERT_EQ(chooser.Rows().size(), 8u);
    EXPECT_EQ(chooser.Rows()[1].Text, "Sony PS3");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chooser.Rows()[static_cast<std::size_t>(2 + i)].Info.Code, 100 + i);
    }
    EXPECT_EQ(chooser.Rows()[6].Text, "General Video formats");
    // Height below the cap: (rows + 1) x 20.
    EXPECT_EQ(chooser.FilledHeight(), 180);
}

TEST_F(ChooserTest, SelectionByNameReadsItAsAStoredName) {
    TIniFile settings = Settings("[lstformat]\n2=0\n3=0\n");
    TFormatChooserModel chooser;
    chooser.Fill(settings);
    chooser.SelectByName("  xvid video (*.AVI) ");
    ASSERT_GE(chooser.SelectedRow(), 0);
    EXPECT_EQ(chooser.Rows()[static_cast<std::size_t>(chooser.SelectedRow())].Info.Code, 207);
    chooser.SelectByName("WMA - Windows Meida Audio (*.wma)");
    ASSERT_GE(chooser.SelectedRow(), 0);
    EXPECT_EQ(chooser.Rows()[static_cast<std::size_t>(chooser.SelectedRow())].Text,
              "WMA - Windows Media Audio (*.wma)");
    chooser.SelectByName("General Video formats");
    EXPECT_EQ(chooser.SelectedRow(), -1) << "group rows are not formats";

    // Choosing it stores name and code; a group row stores nothing.
    EXPECT_FALSE(chooser.StoreChosenFormat(0, settings));
    EXPECT_EQ(settings.ReadString("settings", "FormatCode", "none"), "none");
    EXPECT_TRUE(chooser.StoreChosenFormat(chooser.FindRow("Xvid Video (*.avi)"), settings));
    EXPECT_EQ(settings.ReadString("settings", "FormatName", ""), "Xvid Video (*.avi)");
    EXPECT_EQ(settings.ReadString("settings", "FormatCode", ""), "207");
}

struct TStoredFormatCase {
    const char* settings; // the "settings" section's lines
    const char* boxText;
    int selectedCode; // -1: no row selected
};

// The box names the format the runs convert to: the stored code, whatever name is beside it.
TEST_F(ChooserTest, FormatBoxShowsTheCatalogueNameOfTheStoredCode) {
    const TStoredFormatCase cases[] = {
        {"", "PSP MPEG-4 Normal Quality (*.mp4)", 1},
        {"FormatCode=207\nFormatName=Xvid Video (*.avi)\n", "Xvid Video (*.avi)", 207},
        {"FormatCode=207\nFormatName=  xvid video (*.AVI) \n", "Xvid Video (*.avi)", 207},
        {"FormatCode=207\nFormatName=MPEG-1 Video (*.mpg)\n", "Xvid Video (*.avi)", 207},
        {"FormatName=Xvid Video (*.avi)\n", "PSP MPEG-4 Normal Quality (*.mp4)", 1},
        {"FormatCode=104\nFormatName=Xvid Video (*.avi)\n", "", -1},
        {"FormatCode=301\nFormatName=AAC Advenced Audio Codec (*.aac)\n",
         "AAC Advanced Audio Codec (*.aac)", 301},
    };
    for (const TStoredFormatCase& c : cases) {
        TFormatChooserModel chooser;
        chooser.Fill(
            Settings(std::string("[lstformat]\n0=0\n1=0\n2=0\n3=0\n[settings]\n") + c.settings));
        EXPECT_EQ(chooser.FormatBoxText(), c.boxText) << c.settings;
        const int row = chooser.SelectedRow();
        EXPECT_EQ(row < 0 ? -1 : chooser.Rows()[static_cast<std::size_t>(row)].Info.Code,
                  c.selectedCode)
            << c.settings;
    }
}

TEST_F(ChooserTest, ExpandCollapseKeepsSelectionAndStoresStates) {
    TIniFile settings = Settings("[lstformat]\n3=0\n");
    TFormatChooserModel chooser;
    chooser.Fill(settings);
    chooser.SelectByName("WAV - Waveform Audio (*.wav)");
    ASSERT_EQ(chooser.SelectedRow(), 8);

    chooser.Expand(1); // PS3 group: four rows inserted above the selection
    EXPECT_EQ(chooser.Rows().size(), 15u);
    EXPECT_FALSE(chooser.Rows()[1].Info.Collapsed);
    EXPECT_EQ(chooser.Rows()[static_cast<std::size_t>(chooser.SelectedRow())].Text,
              "WAV - Waveform Audio (*.wav)");

    chooser.Expand(2);   // a format row: ignored
    chooser.Collapse(7); // the audio group: its formats go and so does the selection
    EXPECT_EQ(chooser.Rows().size(), 8u);
    EXPECT_EQ(chooser.SelectedRow(), -1);

    chooser.ToggleGroup(0); // PSP expands
    chooser.StoreGroupStates(settings);
    EXPECT_FALSE(settings.ReadBool("lstformat", "0", true));
    EXPECT_FALSE(settings.ReadBool("lstformat", "1", true));
    EXPECT_TRUE(settings.ReadBool("lstformat", "2", false));
    EXPECT_TRUE(settings.ReadBool("lstformat", "3", false));
}

} // namespace
} // namespace tessaro
