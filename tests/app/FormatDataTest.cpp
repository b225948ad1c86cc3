// The shipped format file and default settings: every format is complete, the default
// settings agree with the default positions, and every format builds without asking.
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "core/DefaultSettings.h"
#include "core/IniFile.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatValueWords.h"
#include "job/FormatJobParts.h"

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

TEST(FormatData, EveryFormatBuildsFromTheShippedFilesWithoutAProblem) {
    const TIniFile formats(kFormatFile);
    const TIniFile defaults(kDefaultsFile);
    for (const int code : AllFormatCodes()) {
        SCOPED_TRACE(code);
        TConversionJob job;
        const std::vector<TJobProblem> problems =
            ApplyFileFormat({defaults, formats}, code, TRowZoom{"lbox"},
                            TSourceVideo{1, 640, 360, 2000000}, {}, job);
        EXPECT_TRUE(problems.empty());
        EXPECT_FALSE(job.Audio.Codec.empty());
        EXPECT_FALSE(job.Audio.Disabled);
        EXPECT_EQ(job.Audio.Volume, 256);
        if (code < 300) {
            EXPECT_FALSE(job.Encoding.VideoCodec.empty());
            EXPECT_FALSE(job.Picture.Disabled);
            EXPECT_FALSE(job.Picture.Filters.empty());
        } else {
            EXPECT_TRUE(job.Picture.Disabled);
        }
        // Every format offers a default size that is a size, or only "as source".
        const std::optional<TJobSize> size = FormatDefaultFrameSize({defaults, formats}, code);
        if (size) {
            EXPECT_TRUE(size->Set());
        }
    }

    // A code outside the catalogue reads an empty section: audio only, extension mp4.
    EXPECT_EQ(formats.ReadString(FormatSectionName(7), "FileExt", "mp4"), "mp4");
    TConversionJob job;
    ApplyFileFormat({defaults, formats}, 7, TRowZoom{"lbox"}, TSourceVideo{1, 640, 360, 0}, {},
                    job);
    EXPECT_TRUE(job.Picture.Disabled);
    EXPECT_EQ(job.Audio.Codec, "libfaac");
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
