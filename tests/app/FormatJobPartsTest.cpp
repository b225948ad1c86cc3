// The format's part of a conversion job for file and DVD rows, driven by real INI files.
#include "job/FormatJobParts.h"
#include "EngineTestSupport.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

constexpr int kCode = 203;

// A built job in the words of the tables below: sizes and shapes as "WxH" and "W:H", and -1
// where the job leaves a value to the source or the encoder.
struct TJobView {
    std::string FrameSize, FrameAspectRatio, VideoFilters, VideoCodec, VideoPreset, FileFormat,
        FrameRate, AudioCodec;
    int Target = 0, TargetNorm = 0, VideoBitrate = -1;
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
    int AudioBitrate = -1, AudioChannels = -1, AudioSampleRate = -1, AudioVolume = -1;
    bool DisableVideo = false, DisableAudio = false, DisableSubtitle = false;
};

int OrUnset(int value) {
    return value > 0 ? value : -1;
}

TJobView ViewOf(const TConversionJob& job) {
    TJobView v;
    const TJobPicture& p = job.Picture;
    if (p.FrameSize.Set()) {
        v.FrameSize = std::to_string(p.FrameSize.Width) + "x" + std::to_string(p.FrameSize.Height);
    }
    if (p.AspectRatio.Set()) {
        v.FrameAspectRatio =
            std::to_string(p.AspectRatio.Num) + ":" + std::to_string(p.AspectRatio.Den);
    }
    v.VideoFilters = p.Filters;
    v.CropTop = p.Crop.Top, v.CropBottom = p.Crop.Bottom;
    v.CropLeft = p.Crop.Left, v.CropRight = p.Crop.Right;
    v.DisableVideo = p.Disabled;
    v.VideoCodec = job.Encoding.VideoCodec;
    v.VideoPreset = job.Encoding.VideoPreset;
    v.Target = int(job.Encoding.Target);
    v.TargetNorm = int(job.Encoding.TargetNorm);
    v.VideoBitrate = OrUnset(job.Encoding.VideoBitRate);
    if (job.Encoding.FrameRate > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%g", job.Encoding.FrameRate);
        v.FrameRate = rate;
    }
    v.FileFormat = job.Output.Container;
    v.AudioCodec = job.Audio.Codec;
    v.DisableAudio = job.Audio.Disabled;
    v.AudioBitrate = OrUnset(job.Audio.BitRate);
    v.AudioChannels = OrUnset(job.Audio.Channels);
    v.AudioSampleRate = OrUnset(job.Audio.SampleRate);
    v.AudioVolume = job.Audio.Volume == 256 ? -1 : job.Audio.Volume;
    v.DisableSubtitle = job.Subtitles.Disabled;
    return v;
}

// Writes one format's section into a format file and a settings file, builds, and keeps the
// job (seen through output) and the problems of the build.
class BuilderTest : public ::testing::Test {
protected:
    // format and settings: "key=value" lines of section formatInfo203.
    void Files(const std::string& format, const std::string& settings) {
        std::ofstream(folder_.Path() / "format.ini") << "[formatInfo203]\n" << format << "\n";
        std::ofstream(folder_.Path() / "settings.ini") << "[formatInfo203]\n" << settings << "\n";
    }

    void Build(const TRowZoom& row, const TSourceVideo& source, const TJobAnswers& answers = {}) {
        job = TConversionJob{};
        const TIniFile settings((folder_.Path() / "settings.ini").string());
        const TIniFile formats((folder_.Path() / "format.ini").string());
        problems = ApplyFileFormat({settings, formats}, kCode, row, source, answers, job);
        output = ViewOf(job);
    }

    void BuildDvd(const TRowZoom& row, int width, int height) {
        job = TConversionJob{};
        const TIniFile settings((folder_.Path() / "settings.ini").string());
        const TIniFile formats((folder_.Path() / "format.ini").string());
        problems = ApplyDvdFormat({settings, formats}, kCode, row, width, height, {}, job);
        output = ViewOf(job);
    }

    test::TTempDir folder_;
    TConversionJob job;
    std::vector<TJobProblem> problems;
    TJobView output;
};

const TSourceVideo k720x480{1, 720, 480, 3000000};

TRowZoom Zoom(const std::string& mode, int top = 0, int left = 0, int bottom = 0, int right = 0) {
    return TRowZoom{mode, top, left, bottom, right};
}

TEST(LetterboxBar, SplitsTheRestIntoTwoEvenBars) {
    EXPECT_EQ(LetterboxBar(240, 480, 2.25), 14); // 480 / 2.25 = 213 -> 2 x ((240 - 212) div 4)
    EXPECT_EQ(LetterboxBar(720, 640, 1.0), 40);
    EXPECT_EQ(LetterboxBar(640, 720, 1.2), 20);
    EXPECT_EQ(LetterboxBar(480, 480, 1.0), 0);
}

struct TZoomCase {
    const char* Name;
    TRowZoom Row;
    TSourceVideo Source;
    const char* Size;
    const char* FrameSize;
    const char* Aspect;
    const char* Filters;
    int CropTop, CropBottom, CropLeft, CropRight;
};

TEST_F(BuilderTest, ZoomModes) {
    const TSourceVideo k640x480{1, 640, 480, 0};
    const TSourceVideo unknownSize{1, -1, -1, 0};
    const TZoomCase cases[] = {
        // The letterbox and centre texts work on the unscaled source: the frame size is the
        // source's, and the text makes the target size.
        {"lbox wider source", Zoom("lbox"), k720x480, "320x240", "720x480", "",
         "crop=0:0:720:480,scale=320:212,pad=320:240:0:14", 0, 0, 0, 0},
        {"lbox narrower source", Zoom("lbox"), k640x480, "720x480", "640x480", "",
         "crop=0:0:640:480,scale=640:480,pad=720:480:40:0", 0, 0, 0, 0},
        {"lbox same size with crop", Zoom("lbox", 4, 10, 8, 6), k720x480, "720x480", "720x480",
         "720:480", "crop=10:4:704:468,scale=720:480,pad=720:480:0:0", 0, 0, 0, 0},
        {"pan wide", Zoom("pan"), TSourceVideo{1, 720, 405, 0}, "320x240", "320x240", "320:240", "",
         0, 0, 160, 160},
        {"pan exact 4:3 keeps everything", Zoom("pan"), k640x480, "320x240", "320x240", "320:240",
         "", 0, 0, 0, 0},
        {"pan tall with top crop", Zoom("pan", 3), TSourceVideo{1, 640, 520, 0}, "320x240",
         "320x240", "320:240", "", 138, 138, 0, 0},
        {"center wider source", Zoom("center"), k720x480, "320x240", "720x480", "320:240",
         "pad=720:508:0:14:black,scale=320:240", 0, 0, 0, 0},
        {"center narrower source", Zoom("center"), k640x480, "720x480", "640x480", "720:480",
         "pad=720:480:40:0:black,scale=640:480", 0, 0, 0, 0},
        {"center same proportion", Zoom("center", 5, 5, 5, 5), k720x480, "360x240", "720x480",
         "360:240", "pad=720:480:0:0:black,scale=360:240", 0, 0, 0, 0},
        {"full with crop", Zoom("full", 2, 4, 6, 8), k720x480, "320x240", "320x240", "320:240", "",
         2, 6, 4, 8},
        {"unknown mode", Zoom("Full"), k720x480, "320x240", "", "", "", 0, 0, 0, 0},
        {"unknown source size", Zoom("lbox"), unknownSize, "320x240", "320x240", "320:240", "", 0,
         0, 0, 0},
        {"unknown source size kept", Zoom("full", 2, 4, 6, 8), unknownSize, "as source", "", "", "",
         2, 6, 4, 8},
        {"zero target size", Zoom("lbox"), k720x480, "0x240", "", "", "", 0, 0, 0, 0},
    };
    for (const TZoomCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Files("", std::string("paraVideoEncoder=mpeg4\nparaVideoSize=") + c.Size);
        Build(c.Row, c.Source);
        EXPECT_EQ(output.FrameSize, c.FrameSize);
        EXPECT_EQ(output.FrameAspectRatio, c.Aspect);
        EXPECT_EQ(output.VideoFilters, c.Filters);
        EXPECT_EQ(output.CropTop, c.CropTop);
        EXPECT_EQ(output.CropBottom, c.CropBottom);
        EXPECT_EQ(output.CropLeft, c.CropLeft);
        EXPECT_EQ(output.CropRight, c.CropRight);
    }
}

TEST_F(BuilderTest, FrameSizeParsingAndH263Sizes) {
    const struct {
        const char* Encoder;
        const char* Size;
        const char* Expected;
    } cases[] = {
        {"h263", "400x300", "704x576"},    {"h263", "352x288", "352x288"},
        {"h263", "100x100", "100x100"},    {"h263", "200x150", "352x288"},
        {"h263", "1280x720", "704x576"},   {"mpeg4", "400x300", "400x300"},
        {"mpeg4", "abcx240", "720x240"},   {"mpeg4", "320xabc", "320x576"},
        {"mpeg4", "as source", "720x576"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Encoder) + " " + c.Size);
        Files("", std::string("paraVideoEncoder=") + c.Encoder + "\nparaVideoSize=" + c.Size);
        Build(Zoom("full"), {1, 720, 576, 0});
        EXPECT_EQ(output.FrameSize, c.Expected);
        EXPECT_TRUE(problems.empty());
    }
}

TEST_F(BuilderTest, UnreadableSizeIsAProblemAnsweredWithASize) {
    for (const char* size : {"x240", "320x", "null", "320*240"}) {
        SCOPED_TRACE(size);
        Files("", std::string("paraVideoEncoder=mpeg4\nparaVideoSize=") + size);
        Build(Zoom("full"), k720x480);
        EXPECT_EQ(output.FrameSize, "720x480"); // the source's size until answered
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].Kind, TJobProblemKind::UnreadableFrameSize);
        EXPECT_EQ(problems[0].Message,
                  std::string("the stored frame size \"") + size + "\" is not WIDTHxHEIGHT");

        TJobAnswers answers;
        answers.FrameSize = TJobSize{320, 240};
        Build(Zoom("full"), k720x480, answers);
        EXPECT_EQ(output.FrameSize, "320x240");
        EXPECT_TRUE(problems.empty());
    }
}

TEST_F(BuilderTest, FormatDefaultFrameSizeIsItsFirstOfferedSize) {
    const struct {
        const char* Format;
        std::optional<TJobSize> Expected;
    } cases[] = {
        {"VideoSize=as source,320x240,640x480\niVideoSize=2", TJobSize{640, 480}},
        {"VideoSize=as source,320x240\niVideoSize=0", std::nullopt},
        {"VideoSize=320x240\niVideoSize=5", std::nullopt},
        {"VideoSize=320x240", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Format);
        Files(c.Format, "");
        const TIniFile settings((folder_.Path() / "settings.ini").string());
        const TIniFile formats((folder_.Path() / "format.ini").string());
        const std::optional<TJobSize> size = FormatDefaultFrameSize({settings, formats}, kCode);
        ASSERT_EQ(size.has_value(), c.Expected.has_value());
        if (size) {
            EXPECT_EQ(size->Width, c.Expected->Width);
            EXPECT_EQ(size->Height, c.Expected->Height);
        }
    }
}

TEST_F(BuilderTest, VideoEncoderPresetAndContainer) {
    const struct {
        const char* Encoder;
        const char* Format;
        const char* Codec;
        const char* Preset;
        int Target;
        const char* FileFormat;
    } cases[] = {
        {"mpeg4", "PSP", "mpeg4", "", 0, "PSP"},
        {"libx264", "psp", "libx264", "libx264-psp", 0, "psp"},
        {"libx264", "ps3", "libx264", "libx264-ps3", 0, ""},
        {"libx264", "iPod", "libx264", "libx264-ipod", 0, "iPod"},
        {"libx264", "null", "libx264", "libx264-mp4", 0, ""},
        {"mpeg2video", "mpegts", "mpeg2video", "", 3, "mpegts"},
        {"mov", "mov", "", "", 0, "mov"},
        {"WMV2", "avi", "", "", 0, "avi"}, // encoder names count letter case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Encoder) + " " + c.Format);
        Files(std::string("Format=") + c.Format,
              std::string("paraVideoEncoder=") + c.Encoder + "\nparaVideoSize=320x240");
        Build(Zoom("full"), k720x480);
        EXPECT_EQ(output.VideoCodec, c.Codec);
        EXPECT_EQ(output.VideoPreset, c.Preset);
        EXPECT_EQ(output.Target, c.Target);
        EXPECT_EQ(output.TargetNorm, 0);
        EXPECT_EQ(output.FileFormat, c.FileFormat);
    }
}

TEST_F(BuilderTest, VideoBitRateAndFrameRate) {
    const struct {
        const char* Settings;
        int Bitrate;
        const char* FrameRate;
    } cases[] = {
        {"", 512000, "29.97"},
        {"paraVideoBitRate=1200\nparaFrameRate=25", 1200000, "25"},
        {"paraVideoBitRate=as source\nparaFrameRate=as source", 3000000, ""},
        {"paraVideoBitRate=fast\nparaFrameRate=fast", 3000000, ""},
        {"paraVideoBitRate=0\nparaFrameRate=0", -1, ""},
        {"paraVideoBitRate=-5\nparaFrameRate=-25", -1, ""},
        {"paraVideoBitRate=99999999", -1, "29.97"}, // beyond the 32-bit bit rate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Settings);
        Files("", std::string("paraVideoEncoder=mpeg4\nparaVideoSize=320x240\n") + c.Settings);
        Build(Zoom("full"), k720x480);
        EXPECT_EQ(output.VideoBitrate, c.Bitrate);
        EXPECT_EQ(output.FrameRate, c.FrameRate);
    }
}

TEST_F(BuilderTest, DiscTargetsEndTheFileBuild) {
    const struct {
        const char* Format;
        const char* Size;
        int Target, Norm;
        const char* Aspect;
    } cases[] = {
        {"PAL-DVD", "720x576", 3, 1, "16:9"},  {"pal-dvd", "720x480", 3, 1, "4:3"},
        {"ntsc-dvd", "720x480", 3, 2, "16:9"}, {"Ntsc-Vcd", "352x240", 1, 2, "4:3"},
        {"pal-vcd", "352x288", 1, 1, "4:3"},   {"ntsc-svcd", "480x480", 2, 2, "4:3"},
        {"pal-svcd", "480x576", 2, 1, "4:3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Format);
        Files(std::string("Format=") + c.Format,
              std::string("paraVideoEncoder=mpeg2video\nparaAudioEncoder=ac3\nparaVideoSize=") +
                  c.Size);
        Build(Zoom("lbox"), k720x480);
        EXPECT_EQ(output.Target, c.Target);
        EXPECT_EQ(output.TargetNorm, c.Norm);
        EXPECT_EQ(output.FrameAspectRatio, c.Aspect);
        EXPECT_EQ(output.VideoCodec, "");
        EXPECT_EQ(output.AudioCodec, "");
        EXPECT_EQ(output.VideoFilters, "");
        EXPECT_EQ(output.CropTop, 0);
    }
}

TEST_F(BuilderTest, SourceWithoutVideoDisablesVideoButKeepsAudio) {
    Files("Format=avi",
          "paraVideoEncoder=mpeg4\nparaVideoSize=320x240\nparaAudioEncoder=libamr_nb");
    Build(Zoom("lbox"), {0, -1, -1, -1});
    EXPECT_TRUE(output.DisableVideo);
    EXPECT_EQ(output.VideoCodec, "mpeg4");
    EXPECT_EQ(output.FileFormat, ""); // the rates and container step is skipped
    EXPECT_EQ(output.VideoBitrate, -1);
    EXPECT_EQ(output.CropTop, 0);
    EXPECT_EQ(output.VideoFilters, "");
    EXPECT_EQ(output.AudioCodec, "libopencore_amrnb");
    EXPECT_FALSE(output.DisableAudio);
    EXPECT_EQ(output.AudioBitrate, 128000);
}

TEST_F(BuilderTest, ZoomFilterIsAppendedToExistingFilters) {
    Files("", "paraVideoEncoder=mpeg4\nparaVideoSize=320x240");
    const TIniFile settings((folder_.Path() / "settings.ini").string());
    const TIniFile formats((folder_.Path() / "format.ini").string());
    for (const auto& [mode, expected] :
         {std::pair{"center", "hflip,pad=720:508:0:14:black,scale=320:240"},
          std::pair{"full", "hflip"}}) {
        job = TConversionJob{};
        job.Picture.Filters = "hflip";
        ApplyFileFormat({settings, formats}, kCode, Zoom(mode), k720x480, {}, job);
        EXPECT_EQ(job.Picture.Filters, expected);
    }
}

TEST_F(BuilderTest, AudioOfVideoAndAudioOnlyFormats) {
    Files("", "paraVideoEncoder=mpeg4\nparaVideoSize=320x240");
    Build(Zoom("full"), k720x480);
    EXPECT_EQ(output.AudioCodec, "");
    EXPECT_TRUE(output.DisableAudio);
    EXPECT_EQ(output.AudioChannels, 2);
    EXPECT_EQ(output.AudioSampleRate, 44100);
    EXPECT_FALSE(output.DisableVideo);

    // No video encoder stored: audio only, with the AAC default.
    Files("", "paraVideoEncoder=  \nparaVideoSize=320x240");
    Build(Zoom("lbox"), k720x480);
    EXPECT_EQ(output.AudioCodec, "libfaac");
    EXPECT_FALSE(output.DisableAudio);
    EXPECT_TRUE(output.DisableVideo);
    EXPECT_TRUE(output.DisableSubtitle);
    EXPECT_EQ(output.FrameSize, "");
    EXPECT_EQ(output.VideoFilters, "");
    EXPECT_EQ(output.AudioBitrate, 128000);
}

TEST_F(BuilderTest, AudioValues) {
    const struct {
        const char* Settings;
        int Bitrate, Channels, SampleRate, Volume;
    } cases[] = {
        {"paraAudioBitRate=96.5", 96500, 2, 44100, -1},
        {"paraAudioBitRate=0", -1, 2, 44100, -1},
        {"paraAudioBitRate=-5", -1, 2, 44100, -1},
        {"paraAudioBitRate=as source\nparaChannel=as source\nparaSampleRate=as source", -1, -1, -1,
         -1},
        {"paraChannel=1\nparaSampleRate=22050\nparaAudioBitRate=64", 64000, 1, 22050, -1},
        {"paraChannel=0\nparaSampleRate=-1", 128000, -1, -1, -1},
        {"paraVolume=256", 128000, 2, 44100, -1},
        {"paraVolume=512", 128000, 2, 44100, 512},
        {"paraVolume=64", 128000, 2, 44100, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Settings);
        Files("", std::string("paraAudioEncoder=libmp3lame\n") + c.Settings);
        Build(Zoom("full"), k720x480);
        EXPECT_EQ(output.AudioCodec, "libmp3lame");
        EXPECT_EQ(output.AudioBitrate, c.Bitrate);
        EXPECT_EQ(output.AudioChannels, c.Channels);
        EXPECT_EQ(output.AudioSampleRate, c.SampleRate);
        EXPECT_EQ(output.AudioVolume, c.Volume);
    }
}

TEST_F(BuilderTest, VolumeThatIsNoIntegerStopsTheBuild) {
    Files("", "paraAudioEncoder=libmp3lame\nparaVolume=loud");
    EXPECT_THROW(Build(Zoom("full"), k720x480), std::invalid_argument);
}

struct TDvdCase {
    const char* Name;
    TRowZoom Row;
    int Width, Height;
    const char* Size;
    const char* FrameSize;
    const char* Aspect;
    const char* Filters;
};

TEST_F(BuilderTest, DvdLetterbox) {
    const TDvdCase cases[] = {
        {"smaller frame, wider title", Zoom("lbox"), 720, 480, "320x240", "320x212", "320:212",
         "pad=320:240:0:14"},
        {"smaller frame, taller title", Zoom("lbox"), 720, 576, "640x480", "600x480", "600:480",
         "pad=640:480:20:0"},
        // The text crops the unscaled title itself.
        {"cropped title", Zoom("lbox", 0, 8), 720, 480, "320x240", "720x480", "320:212",
         "crop=8:0:712:480,scale=320:212,pad=320:240:0:14"},
        {"narrower frame, taller target", Zoom("lbox"), 720, 400, "640x480", "640x356", "640:356",
         "pad=640:480:0:62"},
        {"larger frame", Zoom("lbox"), 352, 240, "720x480", "704x480", "704:480",
         "pad=720:480:8:0"},
        {"same size", Zoom("lbox"), 720, 480, "720x480", "720x480", "720:480", "pad=720:480:0:0"},
        {"center is no DVD zoom", Zoom("center"), 720, 480, "320x240", "", "", ""},
        {"pan as for files", Zoom("pan"), 720, 405, "320x240", "320x240", "320:240", ""},
    };
    for (const TDvdCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Files("", std::string("paraVideoEncoder=mpeg4\nparaVideoSize=") + c.Size);
        BuildDvd(c.Row, c.Width, c.Height);
        EXPECT_EQ(output.FrameSize, c.FrameSize);
        EXPECT_EQ(output.FrameAspectRatio, c.Aspect);
        EXPECT_EQ(output.VideoFilters, c.Filters);
    }
}

TEST_F(BuilderTest, DvdTargetsContinueAndBitRateHasNoSourceFallback) {
    Files("Format=PAL-DVD", "paraVideoEncoder=mpeg2video\nparaVideoSize=720x576\n"
                            "paraVideoBitRate=as source\nparaAudioEncoder=ac3\nparaFrameRate=25");
    BuildDvd(Zoom("full"), 720, 576);
    EXPECT_EQ(output.Target, 3);
    EXPECT_EQ(output.TargetNorm, 1);
    EXPECT_EQ(output.VideoCodec, "mpeg2video");
    EXPECT_EQ(output.VideoBitrate, -1);
    EXPECT_EQ(output.FrameRate, "25");
    EXPECT_EQ(output.FrameSize, "720x576");
    EXPECT_EQ(output.FrameAspectRatio, "720:576"); // the full zoom replaces the disc's 16:9
    EXPECT_EQ(output.AudioCodec, "ac3");

    Files("", "paraVideoEncoder=mpeg4\nparaVideoSize=320x240\nparaVideoBitRate=900");
    BuildDvd(Zoom("full"), 720, 480);
    EXPECT_EQ(output.VideoBitrate, 900000);
    EXPECT_FALSE(output.DisableVideo);
}

} // namespace
} // namespace tessaro
