// Snapshot files: the four switches, fresh names that never replace an earlier snapshot, the
// folder fallback and failed writes, checked on the decoded files.
#include "Snapshot.h"
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "QtTestApplication.h"
#include "core/DialogService.h"
#include "core/IniFile.h"

#include <QGuiApplication>
#include <QImageReader>

#include <filesystem>

using namespace tessaro;

namespace {

namespace fs = std::filesystem;

using AppEnvironment = test::TQtTestEnvironment<QGuiApplication>;
const bool registered = (AppEnvironment::Register(), true);

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home_);
        settings_.WriteString("settings", "SnapOutPutDir", folder_.string());
        // A frame of 64 x 48 pixels: left half red, right half blue.
        for (int y = 0; y < frame_.Height(); ++y) {
            std::uint8_t* row = frame_.ScanLine(y);
            for (int x = 0; x < frame_.Width(); ++x) {
                const bool left = x < frame_.Width() / 2;
                row[x * 3 + 0] = left ? 0 : 255; // blue
                row[x * 3 + 2] = left ? 255 : 0; // red
            }
        }
    }

    void SetSwitches(int full, int small, int bmp, int jpg) {
        settings_.WriteInteger("settings", "snapFullSize", full);
        settings_.WriteInteger("settings", "snapSmallSize", small);
        settings_.WriteInteger("settings", "snapBmp", bmp);
        settings_.WriteInteger("settings", "snapJpg", jpg);
    }

    TSavedSnapshot Save() {
        return SaveSnapshot(settings_, BitmapImage(frame_), StretchedImage(frame_, 24, 17));
    }

    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TTempDir temp_;
    const fs::path folder_ = temp_.Path() / "snaps" / "deeper";
    const fs::path home_ = temp_.Path() / "home";
    test::TScopedEnv homeEnv_{"HOME", home_.c_str()};
    TIniFile settings_{(temp_.Path() / "tessaro.ini").string()};
    TBitmap frame_{64, 48};
    TScriptedDialogService dialogs_;
    TScopedDialogService scope_{dialogs_};
};

TEST_F(SnapshotTest, SwitchesChooseTheFilesAndEachFileHoldsItsPicture) {
    struct TCase {
        int full, small, bmp, jpg;
        std::vector<std::string> files; // in writing order
    };
    const TCase cases[] = {
        {1,
         1,
         1,
         1,
         {"Snapshot_full.bmp", "Snapshot_small.bmp", "Snapshot_full.jpg", "Snapshot_small.jpg"}},
        {1, 0, 1, 0, {"Snapshot_full.bmp"}},
        {0, 1, 1, 0, {"Snapshot_small.bmp"}},
        {1, 0, 0, 1, {"Snapshot_full.jpg"}},
        {1, 1, 0, 1, {"Snapshot_full.jpg", "Snapshot_small.jpg"}},
        {1, 1, 0, 0, {}},
        {0, 0, 1, 1, {}},
        {2, 1, 1, 1, {"Snapshot_small.bmp", "Snapshot_small.jpg"}}, // on means exactly 1
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.full << c.small << c.bmp << c.jpg);
        fs::remove_all(folder_);
        SetSwitches(c.full, c.small, c.bmp, c.jpg);
        const TSavedSnapshot saved = Save();
        EXPECT_EQ(saved.Folder, folder_.string());
        std::vector<std::string> names;
        for (const std::string& path : saved.Files) {
            names.push_back(fs::path(path).filename().string());
            QImageReader reader(QString::fromStdString(path));
            const bool bmp = path.ends_with(".bmp");
            EXPECT_EQ(reader.format(), bmp ? QByteArray("bmp") : QByteArray("jpeg")) << path;
            const QImage image = reader.read();
            const bool full = path.find("_full") != std::string::npos;
            ASSERT_EQ(image.size(), full ? QSize(64, 48) : QSize(24, 17)) << path;
            const QColor left = image.pixelColor(2, image.height() / 2);
            const QColor right = image.pixelColor(image.width() - 3, image.height() / 2);
            EXPECT_GT(left.red(), 200) << path;
            EXPECT_LT(left.blue(), 60) << path;
            EXPECT_GT(right.blue(), 200) << path;
            EXPECT_LT(right.red(), 60) << path;
        }
        EXPECT_EQ(names, c.files);
        EXPECT_EQ(FilesInFolder().size(), c.files.size());
    }
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(SnapshotTest, LaterSnapshotsTakeTheNextFreeNumberTogether) {
    SetSwitches(1, 1, 1, 0);
    Save();
    const std::string firstFull = test::ReadTextFile(folder_ / "Snapshot_full.bmp");
    Save();
    // A file of another set that happens to use number 2 pushes the whole next set to 3.
    test::WriteTextFile(folder_ / "Snapshot_small_(2).bmp", "kept");
    const TSavedSnapshot third = Save();

    EXPECT_EQ(FilesInFolder(),
              (std::vector<std::string>{"Snapshot_full.bmp", "Snapshot_full_(1).bmp",
                                        "Snapshot_full_(3).bmp", "Snapshot_small.bmp",
                                        "Snapshot_small_(1).bmp", "Snapshot_small_(2).bmp",
                                        "Snapshot_small_(3).bmp"}));
    EXPECT_EQ(third.Files,
              (std::vector<std::string>{(folder_ / "Snapshot_full_(3).bmp").string(),
                                        (folder_ / "Snapshot_small_(3).bmp").string()}));
    EXPECT_EQ(test::ReadTextFile(folder_ / "Snapshot_full.bmp"), firstFull);
    EXPECT_EQ(test::ReadTextFile(folder_ / "Snapshot_small_(2).bmp"), "kept");
}

TEST_F(SnapshotTest, JpegQualityComesFromTheSettingsAndStaysInRange) {
    // A noisy picture, so that the quality shows in the file size.
    for (int y = 0; y < frame_.Height(); ++y) {
        for (int x = 0; x < frame_.Width() * 3; ++x) {
            frame_.ScanLine(y)[x] = std::uint8_t((x * 37 + y * 91 + x * y * 13) % 251);
        }
    }
    SetSwitches(1, 0, 0, 1);
    std::map<int, std::uintmax_t> sizes;
    for (int quality : {5, 95}) {
        settings_.WriteInteger("settings", "jpgCmp", quality);
        sizes[quality] = fs::file_size(Save().Files.at(0));
    }
    EXPECT_LT(sizes[5] * 2, sizes[95]);

    struct TCase {
        const char* stored;
        int quality;
    };
    for (const TCase& c : {TCase{nullptr, 30}, TCase{"0", 1}, TCase{"250", 100}, TCase{"abc", 30},
                           TCase{"0x14", 20}}) {
        TIniFile file(
            (temp_.Path() / (std::string("q") + (c.stored ? c.stored : "none"))).string());
        if (c.stored != nullptr) {
            file.WriteString("settings", "jpgCmp", c.stored);
        }
        EXPECT_EQ(ReadSnapshotSwitches(file).JpegQuality, c.quality) << (c.stored ? c.stored : "");
    }
}

TEST_F(SnapshotTest, FolderThatCannotBeMadeFallsBackAndTheSameSnapshotGoesThere) {
    test::WriteTextFile(temp_.Path() / "plain-file", "x");
    const std::string impossible = (temp_.Path() / "plain-file" / "snaps").string();
    settings_.WriteString("settings", "SnapOutPutDir", impossible);
    SetSwitches(1, 0, 1, 0);

    const TSavedSnapshot saved = Save();

    const std::string fallback = (home_ / "videoconverter").string();
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].caption, "Warning");
    EXPECT_EQ(dialogs_.Requests()[0].text, "Cannot create output directory:" + impossible +
                                               ".It will create default directory " + fallback +
                                               "!");
    EXPECT_EQ(settings_.ReadString("settings", "snapOutPutDir", ""), fallback);
    EXPECT_EQ(saved.Folder, fallback);
    EXPECT_TRUE(fs::is_regular_file(fs::path(fallback) / "Snapshot_full.bmp"));
}

TEST_F(SnapshotTest, MissingFolderKeyUsesTheDefaultFolderAndAFailedWriteIsReported) {
    TIniFile fresh((temp_.Path() / "fresh.ini").string());
    const TSavedSnapshot saved = SaveSnapshot(fresh, BitmapImage(frame_), BitmapImage(frame_));
    EXPECT_EQ(saved.Folder, (home_ / "videoconverter").string());
    EXPECT_EQ(saved.Files.size(), 4u) << "every switch is on when the keys are missing";

    // A folder that exists but takes no files.
    settings_.WriteString("settings", "SnapOutPutDir", "/proc");
    SetSwitches(1, 1, 1, 1);
    try {
        Save();
        ADD_FAILURE() << "no error";
    } catch (const TSnapshotWriteError& error) {
        EXPECT_TRUE(
            std::string(error.what()).starts_with("Unable to write to /proc/Snapshot_full.bmp: "))
            << error.what();
    }
}

} // namespace
