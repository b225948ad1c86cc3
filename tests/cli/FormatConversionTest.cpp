// tessaro-cli formats and convert --format: every catalogue format converts a file and a DVD
// title with the shipped default settings, and the output has the container, codecs, frame
// size and audio layout the format's current values name; fresh output names in one folder.
#include "CliTestSupport.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "core/IniFile.h"
#include "formats/FormatCatalogue.h"
#include "probe/MediaProbe.h"
#include "runtime/Bindings.h"
#include "transcoder/options/EncoderNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tessaro::test {
namespace {

namespace fs = std::filesystem;

const std::string kFormatFile = DataDir() + "/plovupspformat.ini";

// The demuxer that reads back what the muxer for an extension writes.
std::string DemuxerOfExtension(const std::string& extension) {
    static const std::map<std::string, std::string> demuxers = {
        {"mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"m4a", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"mpg", "mpeg"},
        {"avi", "avi"},
        {"wmv", "asf"},
        {"wma", "asf"},
        {"dv", "dv"},
        {"mp3", "mp3"},
        {"aac", "aac"},
        {"wav", "wav"},
        {"ogg", "ogg"},
        {"ac3", "ac3"},
    };
    const auto found = demuxers.find(extension);
    return found == demuxers.end() ? "unknown extension " + extension : found->second;
}

// The codec an encoder name of the settings file produces.
AVCodecID CodecOfEncoder(const std::string& encoder) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(ResolveEncoderName(encoder).c_str());
    return codec != nullptr ? codec->id : AV_CODEC_ID_NONE;
}

const AVStream* FirstStream(TMediaProbe& probe, int index) {
    return index >= 0 ? probe.FormatContext()->streams[index] : nullptr;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// A whole number setting, or the source's value when it reads "as source".
int SettingOrSource(const TIniFile& settings, const std::string& section, const char* key,
                    int source) {
    const std::string value = settings.ReadString(section, key, "");
    return value == "as source" ? source : std::stoi(value);
}

enum class TSource { File, DvdTitle };

void PrintTo(TSource source, std::ostream* out) {
    *out << (source == TSource::File ? "file" : "DVD title");
}

struct TSourceFacts {
    std::string input;    // the argument given to convert
    std::string baseName; // what the output name starts with
    int width, height, channels;
};

TSourceFacts FactsOf(TSource source) {
    if (source == TSource::File) {
        return {Fixture("mpeg2_ac3.mpg"), "mpeg2_ac3", 720, 480, 2};
    }
    return {"opendvd:" + Fixture("dvd") + "|Title=1", "DVD Title 1", 720, 480, 2};
}

class FormatConversion : public TConverterLibrariesTest,
                         public ::testing::WithParamInterface<std::tuple<int, TSource>> {
protected:
    TTempDir temp;
};

TEST_P(FormatConversion, OutputHasTheFormatsCurrentValues) {
    const auto [code, sourceKind] = GetParam();
    const TSourceFacts source = FactsOf(sourceKind);
    const std::string settingsPath = (temp.Path() / "tessaro.ini").string();
    const std::string folder = (temp.Path() / "out").string();

    // Two seconds keep 52 conversions short; the settings file does not exist yet, so the
    // shipped defaults are installed first.
    const TCliRun run =
        RunCli("convert --format " + std::to_string(code) + " --settings " + Quoted(settingsPath) +
               " " + Quoted(source.input) + " " + Quoted(folder) + " --opt Duration=2");
    ASSERT_EQ(run.status, 0) << run.output;

    const TIniFile settings(settingsPath);
    const TIniFile formats(kFormatFile);
    const std::string section = FormatSectionName(code);
    const std::string extension = formats.ReadString(section, "FileExt", "");
    const std::string output = folder + "/" + source.baseName + "_(new)." + extension;
    EXPECT_NE(run.output.find("to \"" + output + "\""), std::string::npos) << run.output;

    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(output)) << probe.LastError();
    EXPECT_EQ(probe.GetFormatName(), DemuxerOfExtension(extension));
    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    EXPECT_NEAR(double(file.Duration), 2e6, 0.25e6);

    const std::string videoEncoder = settings.ReadString(section, "paraVideoEncoder", "");
    if (videoEncoder.empty()) {
        EXPECT_EQ(probe.VideoStreamCount(), 0);
    } else {
        ASSERT_EQ(probe.VideoStreamCount(), 1);
        EXPECT_EQ(FirstStream(probe, probe.FirstVideoStream())->codecpar->codec_id,
                  CodecOfEncoder(videoEncoder))
            << videoEncoder;
        TVideoStreamInfo video;
        probe.GetVideoStreamInfo(-1, video);
        const std::string size = settings.ReadString(section, "paraVideoSize", "");
        const std::string expected =
            size == "as source" ? std::to_string(source.width) + "x" + std::to_string(source.height)
                                : size;
        EXPECT_EQ(std::to_string(video.Width) + "x" + std::to_string(video.Height), expected);
    }

    ASSERT_EQ(probe.AudioStreamCount(), 1);
    const std::string audioEncoder = settings.ReadString(section, "paraAudioEncoder", "");
    EXPECT_EQ(FirstStream(probe, probe.FirstAudioStream())->codecpar->codec_id,
              CodecOfEncoder(audioEncoder))
        << audioEncoder;
    TAudioStreamInfo audio;
    probe.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(audio.Channels, SettingOrSource(settings, section, "paraChannel", source.channels));
    EXPECT_EQ(audio.SampleRate, SettingOrSource(settings, section, "paraSampleRate", 48000));
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, TSource>>& info) {
    return "Code" + std::to_string(std::get<0>(info.param)) +
           (std::get<1>(info.param) == TSource::File ? "_File" : "_DvdTitle");
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FormatConversion,
                         ::testing::Combine(::testing::ValuesIn(AllFormatCodes()),
                                            ::testing::Values(TSource::File, TSource::DvdTitle)),
                         CaseName);

class FormatCommands : public TConverterLibrariesTest {
protected:
    TTempDir temp;
    std::string Path(const std::string& name) const { return (temp.Path() / name).string(); }
};

TEST_F(FormatCommands, FormatsListsTheCatalogueWithExtensions) {
    const TCliRun run = RunCli("formats");
    ASSERT_EQ(run.status, 0) << run.output;
    std::istringstream lines(run.output);
    std::vector<std::string> listed;
    for (std::string line; std::getline(lines, line);) {
        listed.push_back(line);
    }
    const std::vector<int> codes = AllFormatCodes();
    ASSERT_EQ(listed.size(), codes.size()) << run.output;
    EXPECT_EQ(listed.front(),
              "  0  Sony PSP                 PSP MPEG-4 Excellent Quality (*.mp4)       mp4");
    EXPECT_EQ(listed[15],
              "206  General Video formats    Divx Video (*.avi)                         avi");
    EXPECT_EQ(listed.back(),
              "306  General Audio formats    AC-3 Audio Codec (*.ac3)                   ac3");
}

// The second source is named while the first one's output exists, so it gets the next free
// name; the second run names into the folder stored in the settings file.
TEST_F(FormatCommands, SameBaseNameGetsTheNextFreeOutputName) {
    fs::copy_file(Fixture("h264_aac.mp4"), Path("clip.avi"));
    fs::copy_file(Fixture("mpeg2_ac3.mpg"), Path("clip.mpg"));
    const std::string settings = Path("tessaro.ini");
    const std::string folder = Path("out");
    const std::string common = "convert --format 202 --settings " + Quoted(settings) + " ";

    const TCliRun first =
        RunCli(common + Quoted(Path("clip.avi")) + " " + Quoted(folder) + " --opt Duration=1");
    ASSERT_EQ(first.status, 0) << first.output;
    TIniFile(settings).WriteString("settings", "OutPutDir", folder);
    const TCliRun second = RunCli(common + Quoted(Path("clip.mpg")) + " --opt Duration=1");
    ASSERT_EQ(second.status, 0) << second.output;

    EXPECT_TRUE(fs::is_regular_file(folder + "/clip_(new).mp4"));
    EXPECT_TRUE(fs::is_regular_file(folder + "/clip_(new_1).mp4"));
    EXPECT_NE(second.output.find("to \"" + folder + "/clip_(new_1).mp4\""), std::string::npos)
        << second.output;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

// A stored frame size that is no WIDTHxHEIGHT is no question for the command line: it converts
// at the format's first offered size and says why, with no exception text.
TEST_F(FormatCommands, UnreadableStoredFrameSizeConvertsAtTheFormatsDefaultSize) {
    const std::string settings = Path("bad.ini");
    std::ofstream(settings) << "[formatInfo202]\nparaVideoEncoder=mpeg4\nparaVideoSize=abc\n"
                               "paraAudioEncoder=libfaac\nparazoom=full\n";
    const std::string folder = Path("out");
    const TCliRun run =
        RunCli("convert --format 202 --settings " + Quoted(settings) + " " +
               Quoted(Fixture("mpeg2_ac3.mpg")) + " " + Quoted(folder) + " --opt Duration=1");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("tessaro-cli: the stored frame size \"abc\" is not WIDTHxHEIGHT; "
                              "converting at 640x480\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("dialog"), std::string::npos) << run.output;
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(folder + "/mpeg2_ac3_(new).mp4")) << probe.LastError();
    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.Width, 640);
    EXPECT_EQ(video.Height, 480);
}

TEST_F(FormatCommands, RefusesWhatCannotBeConverted) {
    std::ofstream(Path("plain-file")) << "not a folder";
    const std::string settings = " --settings " + Quoted(Path("tessaro.ini")) + " ";
    const std::string input = Quoted(Fixture("mpeg2_ac3.mpg")) + " ";
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"convert --format 7" + settings + input,
         "tessaro-cli: unknown format code \"7\"; tessaro-cli formats lists the codes\n"},
        {"convert --format mp4" + settings + input, "unknown format code \"mp4\""},
        {"convert --format", "tessaro-cli: --format needs a format CODE\n"},
        {"convert --format 202" + settings, "convert --format needs INPUT and at most"},
        {"convert --settings x.ini " + input + Quoted(Path("a.mkv")),
         "tessaro-cli: --settings needs --format\n"},
        {"convert --format 202" + settings + "/no/such/clip.mpg " + Quoted(Path("o")),
         "/no/such/clip.mpg: No such file or directory"},
        {"convert --format 202" + settings + Quoted("opendvd:" + Fixture("dvd")) + " " +
             Quoted(Path("o")),
         "needs the title in the DVD address"},
        {"convert --format 202" + settings + Quoted("opendvd:" + Fixture("dvd") + "|Title=9") +
             " " + Quoted(Path("o")),
         "Title #9 is invalid"},
        {"convert --format 202" + settings + input + Quoted(Path("plain-file") + "/sub"),
         "cannot create the output folder"},
    };
    for (const auto& c : cases) {
        const TCliRun run = RunCli(c.arguments);
        EXPECT_NE(run.status, 0) << c.arguments;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                 << run.output;
    }
    EXPECT_FALSE(fs::exists(Path("o")) && !fs::is_empty(Path("o")));
}

} // namespace
} // namespace tessaro::test
