// The shipped format file and default settings: every format is complete, the default
// settings agree with the default positions, and every format builds without asking.
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "core/DefaultSettings.h"
#include "core/DialogService.h"
#include "core/IniFile.h"
#include "formats/EncodingOptionBuilder.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatValueWords.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

using tessaro::test::DataDir;

namespace tessaro {
namespace {

namespace fs = std::filesystem;

const std::string kFormatFile = DataDir() + "/plovupspformat.ini";
const std::string kDefaultsFile = DataDir() + "/tessaro-defaults.ini";

std::vector<std::string> SplitList(const std::string& value) {
    std::vector<std::string> entries;
    std::stringstream stream(value);
    for (std::string entry; std::getline(stream, entry, ',');) {
        entries.push_back(entry);
    }
    return entries;
}

using TTranslate = std::function<std::optional<std::string>(const std::string&)>;

struct TListKey {
    const char* List;    // key in the format file
    const char* Setting; // key in the settings file
    TTranslate Translate;
};

std::optional<std::string> Same(const std::string& entry) {
    return entry;
}

const TListKey kListKeys[] = {
    {"VideoSize", "paraVideoSize", Same},
    {"VideoBitRate", "paraVideoBitRate", Same},
    {"FrameRate", "paraFrameRate", Same},
    {"VideoEncoder", "paraVideoEncoder", VideoEncoderValue},
    {"AudioBitRate", "paraAudioBitRate", Same},
    {"SampleRate", "paraSampleRate", Same},
    {"AudioEncoder", "paraAudioEncoder", AudioEncoderValue},
    {"Channel", "paraChannel", ChannelValue},
    {"Volume", "paraVolume", VolumeValue},
};

TEST(FormatData, DefaultSettingsAreTheListEntriesAtTheDefaultPositions) {
    const TIniFile formats(kFormatFile);
    const TIniFile defaults(kDefaultsFile);
    for (const int code : AllFormatCodes()) {
        const std::string section = FormatSectionName(code);
        SCOPED_TRACE(section);
        ASSERT_NE(formats.ReadString(section, "FileExt", ""), "");
        const bool video = formats.ReadString(section, "VideoEncoder", "null") != "null";
        EXPECT_EQ(video, code < 300);
        EXPECT_EQ(defaults.ReadString(section, "paraZoom", "") == "lbox", video);
        for (const TListKey& key : kListKeys) {
            SCOPED_TRACE(key.List);
            const std::string list = formats.ReadString(section, key.List, "null");
            const std::string stored = defaults.ReadString(section, key.Setting, "");
            if (list == "null") {
                EXPECT_TRUE(stored.empty() || stored == "as source") << stored;
                continue;
            }
            const std::vector<std::string> entries = SplitList(list);
            for (const std::string& entry : entries) {
                EXPECT_TRUE(key.Translate(entry).has_value()) << "unknown entry " << entry;
            }
            const int position = formats.ReadInteger(section, std::string("i") + key.List, -1);
            ASSERT_GE(position, 0);
            ASSERT_LT(position, static_cast<int>(entries.size()));
            EXPECT_EQ(defaults.ReadInteger(section, std::string("i") + key.List, -1), position);
            EXPECT_EQ(stored, key.Translate(entries[static_cast<std::size_t>(position)]));
        }
    }
}

TEST(FormatData, EveryFormatBuildsFromTheShippedFilesWithoutAQuestion) {
    TScriptedDialogService dialogs;
    TScopedDialogService scope(dialogs);
    const TIniFile formats(kFormatFile);
    const TIniFile defaults(kDefaultsFile);
    for (const int code : AllFormatCodes()) {
        SCOPED_TRACE(code);
        TOutputOptions output;
        TInputOptions input;
        BuildEncodingOptions({defaults, formats}, code, TRowZoom{"lbox"},
                             TSourceVideo{1, 640, 360, 2000000}, output, input);
        EXPECT_FALSE(output.AudioCodec.empty());
        EXPECT_FALSE(output.DisableAudio);
        EXPECT_EQ(output.AudioVolume, -1);
        if (code < 300) {
            EXPECT_FALSE(output.VideoCodec.empty());
            EXPECT_FALSE(output.DisableVideo);
            EXPECT_FALSE(output.VideoFilters.empty());
        } else {
            EXPECT_TRUE(output.DisableVideo);
            EXPECT_EQ(input.ExtOptions, "vn=1");
        }
    }
    EXPECT_TRUE(dialogs.Requests().empty());

    // A code outside the catalogue reads an empty section: audio only, extension mp4.
    EXPECT_EQ(formats.ReadString(FormatSectionName(7), "FileExt", "mp4"), "mp4");
    TOutputOptions output;
    TInputOptions input;
    BuildEncodingOptions({defaults, formats}, 7, TRowZoom{"lbox"}, TSourceVideo{1, 640, 360, 0},
                         output, input);
    EXPECT_TRUE(output.DisableVideo);
    EXPECT_EQ(output.AudioCodec, "libfaac");
}

TEST(FormatData, DefaultSettingsAreInstalledOnlyWhereNoSettingsExist) {
    const test::TTempDir temp;
    const fs::path& folder = temp.Path();
    const std::string settings = (folder / "config" / "tessaro.ini").string();

    EXPECT_FALSE(InstallDefaultSettings(settings, (folder / "missing.ini").string()));
    EXPECT_FALSE(fs::exists(settings));

    EXPECT_TRUE(InstallDefaultSettings(settings, kDefaultsFile));
    EXPECT_EQ(TIniFile(settings).ReadString("formatInfo203", "paraVideoEncoder", ""), "libx264");

    TIniFile(settings).WriteString("formatInfo203", "paraVideoEncoder", "mpeg4");
    EXPECT_FALSE(InstallDefaultSettings(settings, kDefaultsFile));
    EXPECT_EQ(TIniFile(settings).ReadString("formatInfo203", "paraVideoEncoder", ""), "mpeg4");
    EXPECT_FALSE(fs::exists(settings + ".new"));

    EXPECT_EQ(DefaultSettingsPath("/usr/share/tessaro/plovupspformat.ini"),
              "/usr/share/tessaro/tessaro-defaults.ini");
}

} // namespace
} // namespace tessaro
