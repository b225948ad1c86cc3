// Fresh output names in the output folder and the folder fallback.
#include "formats/OutputNames.h"
#include "EngineTestSupport.h"
#include "core/DialogService.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

class OutputNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "home");
        if (const char* home = std::getenv("HOME")) {
            savedHome_ = home;
        }
        setenv("HOME", (root_ / "home").c_str(), 1);
    }
    void TearDown() override { setenv("HOME", savedHome_.c_str(), 1); }

    TIniFile SettingsWithOutputDir(const std::string& folder) {
        TIniFile settings((root_ / "tessaro.ini").string());
        settings.WriteString("settings", "OutPutDir", folder);
        return settings;
    }

    static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    test::TTempDir temp_;
    const fs::path root_ = temp_.Path();
    std::string savedHome_;
    TScriptedDialogService dialogs_;
    TScopedDialogService scope_{dialogs_};
};

TEST_F(OutputNamesTest, SecondSourceWithTheSameBaseNameGetsANumber) {
    const std::string out = (root_ / "out").string();
    fs::create_directories(out);
    TIniFile settings = SettingsWithOutputDir(out);

    const std::string first = MakeOutputName(settings, "/media/clip.avi", ".mp4");
    EXPECT_EQ(first, out + "/clip_(new).mp4");
    Touch(first); // setting a task's output creates its file
    const std::string second = MakeOutputName(settings, "/other/clip.mpg", ".mp4");
    EXPECT_EQ(second, out + "/clip_(new_1).mp4");
    Touch(second);
    EXPECT_EQ(MakeOutputName(settings, "clip.mkv", ".mp4"), out + "/clip_(new_2).mp4");
    // Only the extension text given counts.
    EXPECT_EQ(MakeOutputName(settings, "clip.avi", "_ipod.mp4"), out + "/clip_(new)_ipod.mp4");
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(OutputNamesTest, NamesWithoutExtensionAndFoldersWithTrailingSlash) {
    const std::string out = (root_ / "out").string();
    fs::create_directories(out);
    TIniFile settings = SettingsWithOutputDir(out + "/");
    EXPECT_EQ(MakeOutputName(settings, "DVD Title 2", ".mp4"), out + "/DVD Title 2_(new).mp4");
    EXPECT_EQ(MakeOutputName(settings, "/a/b.c/movie.part.vob", ".avi"),
              out + "/movie.part_(new).avi");
}

TEST_F(OutputNamesTest, MissingFolderIsCreatedWithItsParents) {
    const std::string out = (root_ / "new" / "deeper").string();
    TIniFile settings = SettingsWithOutputDir(out);
    EXPECT_EQ(MakeOutputName(settings, "clip.avi", ".mp4"), out + "/clip_(new).mp4");
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(OutputNamesTest, FolderThatCannotBeCreatedFallsBackToTheDefaultFolder) {
    Touch((root_ / "plain-file").string());
    const std::string impossible = (root_ / "plain-file" / "out").string();
    TIniFile settings = SettingsWithOutputDir(impossible);
    const std::string fallback = (root_ / "home" / "videoconverter").string();

    const std::string name = MakeOutputName(settings, "clip.avi", ".mp4");

    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].caption, "Warning");
    EXPECT_EQ(dialogs_.Requests()[0].text, "Cannot create output directory:" + impossible +
                                               ".It will create default directory " + fallback +
                                               "!");
    EXPECT_EQ(dialogs_.Requests()[0].buttons, TMessageButtons::Ok);
    EXPECT_TRUE(fs::is_directory(fallback));
    EXPECT_EQ(settings.ReadString("settings", "OutPutDir", ""), fallback);
    EXPECT_EQ(name, fallback + "/clip_(new).mp4");

    // The next name uses the stored default without another warning.
    MakeOutputName(settings, "clip.avi", ".mp4");
    EXPECT_EQ(dialogs_.Requests().size(), 1u);
}

} // namespace
} // namespace tessaro
