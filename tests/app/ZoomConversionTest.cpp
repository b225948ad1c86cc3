// The zoom modes as converted: each mode of the file and DVD option builders on sources
// smaller than, equal to and larger than the frame and of another shape, measured on the
// decoded output: its frame size, where the picture sits between black bands, and that the
// whole source picture (not a corner of it, not a crop of a crop) is what it shows.
#include "DVDPlugIn.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "TranscodeTestSupport.h"
#include "converter/Converter.h"
#include "core/IniFile.h"
#include "job/RowJobBuilders.h"
#include "sources/SourceRecord.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace tessaro::test {
namespace {

namespace fs = std::filesystem;

const std::string kFormatFile = DataDir() + "/plovupspformat.ini";

// The current values of the two formats converted to: 201 is MPEG-2 for DVD players (its
// encoder makes a DVD target of the task, with that target's own frame size), 202 MPEG-4
// in MP4 at a frame size of its own.
std::string SettingsOf(int code, const std::string& zoom) {
    if (code == 201) {
        return "[formatInfo201]\nparaVideoEncoder=mpeg2video\nparaVideoSize=720x480\n"
               "paraVideoBitRate=6000\nparaFrameRate=29.97\nparaAudioEncoder=ac3\nparaZoom=" +
               zoom + "\n";
    }
    return "[formatInfo202]\nparaVideoEncoder=mpeg4\nparaVideoSize=320x240\n"
           "paraVideoBitRate=1500\nparaFrameRate=29.97\nparaAudioEncoder=aac\nparaZoom=" +
           zoom + "\n";
}

struct TRect {
    int x, y, w, h;
};

// The first decoded picture of a file: its size and its luma plane.
struct TPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> luma;
    int At(int x, int y) const { return luma[std::size_t(y) * width + x]; }
    double Mean(int cx, int cy) const { // 5x5 around a point
        double sum = 0;
        for (int y = cy - 2; y <= cy + 2; ++y) {
            for (int x = cx - 2; x <= cx + 2; ++x) {
                sum += At(x, y);
            }
        }
        return sum / 25;
    }
};

TPicture FirstPicture(const std::string& path) {
    TPicture picture;
    DecodeFrames(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
        if (!picture.luma.empty()) {
            return;
        }
        picture.width = frame->width;
        picture.height = frame->height;
        for (int row = 0; row < frame->height; ++row) {
            const std::uint8_t* line = frame->data[0] + row * frame->linesize[0];
            picture.luma.insert(picture.luma.end(), line, line + frame->width);
        }
    });
    return picture;
}

// Where the picture is: the box around everything brighter than the black bands.
TRect PictureArea(const TPicture& p) {
    int left = p.width, top = p.height, right = -1, bottom = -1;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (p.At(x, y) > 70) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

enum class TBuilder { File, Dvd };

struct TZoomCase {
    TBuilder builder;
    int code;
    const char* zoom;
    int sourceWidth, sourceHeight;
    int frameWidth, frameHeight; // of the output
    TRect picture;               // where the source picture is in it
};

void PrintTo(const TZoomCase& c, std::ostream* out) {
    *out << (c.builder == TBuilder::File ? "file " : "DVD ") << c.code << " " << c.zoom << " "
         << c.sourceWidth << "x" << c.sourceHeight;
}

class ZoomConversion : public TConverterLibrariesTest {
protected:
    static void SetUpTestSuite() {
        TConverterLibrariesTest::SetUpTestSuite();
        sources_ = std::make_unique<TTempDir>();
    }
    static void TearDownTestSuite() {
        sources_.reset();
        TConverterLibrariesTest::TearDownTestSuite();
    }

    // Three frames of mid grey with a white block in the top-left and bottom-right thirds;
    // made once per size.
    static std::string Source(int width, int height) {
        const std::string path =
            sources_->Str() + "/" + std::to_string(width) + "x" + std::to_string(height) + ".y4m";
        if (!fs::exists(path)) {
            MakeClip("-f lavfi -i color=gray:size=" + std::to_string(width) + "x" +
                     std::to_string(height) +
                     ":rate=30000/1001:duration=0.1 -vf "
                     "drawbox=x=0:y=0:w=iw/3:h=ih/3:color=white:t=fill,"
                     "drawbox=x=iw*2/3:y=ih*2/3:w=iw/3:h=ih/3:color=white:t=fill "
                     "-pix_fmt yuv420p '" +
                     path + "'");
        }
        return path;
    }

    // Converts the source as a run of the given builder does; the output's name, or "" with
    // a test failure.
    std::string Convert(const TZoomCase& c) {
        WriteTextFile(Path("settings.ini"), SettingsOf(c.code, c.zoom));
        TIniFile settings(Path("settings.ini"));
        const TIniFile formats(kFormatFile);
        const TJobContext context(settings, formats, c.code, Path("out"));
        const std::string source = Source(c.sourceWidth, c.sourceHeight);
        if (HasFatalFailure()) {
            return {};
        }
        TConverter converter;
        TConversionJob job;
        if (c.builder == TBuilder::File) {
            const TBuiltJob built =
                BuildFileJob(context, source, TlvFilesRecord{}, converter.Probe());
            EXPECT_TRUE(built.Ok()) << built.Error;
            job = built.Job;
        } else {
            // The DVD run's format part, on a file of the title's size.
            const TRowZoom zoom{ReadRunFormat(settings, formats, c.code).ZoomMode};
            ApplyDvdFormat({settings, formats}, c.code, zoom, c.sourceWidth, c.sourceHeight, {},
                           job);
            job.Source.Path = source;
            job.Output.Path = Path("out/dvd" + std::string(c.code == 201 ? ".mpg" : ".mp4"));
        }
        const std::string output = job.Output.Path;
        EXPECT_GE(converter.AddJob(job), 0) << converter.LastError();
        std::string error;
        converter.SetOnTerminate([&](TConverter&, const TTerminateInfo& info) {
            if (info.Exception) {
                error = info.ExceptionMsg;
            }
        });
        converter.StartTask(0);
        EXPECT_EQ(error, "");
        return output;
    }

    std::string Path(const std::string& name) const { return (temp_.Path() / name).string(); }

    void SetUp() override { fs::create_directories(Path("out")); }

    static void WriteTextFile(const std::string& path, const std::string& text) {
        std::ofstream(path) << text;
    }

    static std::unique_ptr<TTempDir> sources_;
    TTempDir temp_;
};

std::unique_ptr<TTempDir> ZoomConversion::sources_;

constexpr TBuilder F = TBuilder::File;
constexpr TBuilder D = TBuilder::Dvd;

// Format 201 (720x480) on sources of 360x240 (smaller), 720x480, 1080x720 (larger) and 640x480
// (4:3 in a 3:2 frame); format 202 (320x240) on 160x120, 320x240, 640x480 and 320x180 (16:9 in
// a 4:3 frame). "full" and "pan" fill the frame (pan crops the sides of wider sources first).
// The letterboxes put the picture between bars. "center" pads the source towards the frame's
// shape and scales the result to the frame size; the DVD run has no "center" and converts at
// the DVD target's frame size.
const TZoomCase kCases[] = {
    {F, 201, "full", 360, 240, 720, 480, {0, 0, 720, 480}},
    {F, 201, "full", 720, 480, 720, 480, {0, 0, 720, 480}},
    {F, 201, "full", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {F, 201, "full", 640, 480, 720, 480, {0, 0, 720, 480}},
    {F, 201, "lbox", 360, 240, 720, 480, {0, 0, 720, 480}},
    {F, 201, "lbox", 720, 480, 720, 480, {0, 0, 720, 480}},
    {F, 201, "lbox", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {F, 201, "lbox", 640, 480, 720, 480, {40, 0, 640, 480}},
    {F, 201, "pan", 360, 240, 720, 480, {0, 0, 720, 480}},
    {F, 201, "pan", 720, 480, 720, 480, {0, 0, 720, 480}},
    {F, 201, "pan", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {F, 201, "pan", 640, 480, 720, 480, {0, 0, 720, 480}},
    {F, 201, "center", 360, 240, 720, 480, {0, 0, 720, 480}},
    {F, 201, "center", 720, 480, 720, 480, {0, 0, 720, 480}},
    {F, 201, "center", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {F, 201, "center", 640, 480, 640, 480, {36, 0, 569, 480}},
    {F, 202, "full", 160, 120, 320, 240, {0, 0, 320, 240}},
    {F, 202, "full", 320, 240, 320, 240, {0, 0, 320, 240}},
    {F, 202, "full", 640, 480, 320, 240, {0, 0, 320, 240}},
    {F, 202, "full", 320, 180, 320, 240, {0, 0, 320, 240}},
    {F, 202, "lbox", 160, 120, 320, 240, {0, 0, 320, 240}},
    {F, 202, "lbox", 320, 240, 320, 240, {0, 0, 320, 240}},
    {F, 202, "lbox", 640, 480, 320, 240, {0, 0, 320, 240}},
    {F, 202, "lbox", 320, 180, 320, 240, {0, 30, 320, 180}},
    {F, 202, "pan", 160, 120, 320, 240, {0, 0, 320, 240}},
    {F, 202, "pan", 320, 240, 320, 240, {0, 0, 320, 240}},
    {F, 202, "pan", 640, 480, 320, 240, {0, 0, 320, 240}},
    {F, 202, "pan", 320, 180, 320, 240, {0, 0, 320, 240}},
    {F, 202, "center", 160, 120, 320, 240, {0, 0, 320, 240}},
    {F, 202, "center", 320, 240, 320, 240, {0, 0, 320, 240}},
    {F, 202, "center", 640, 480, 320, 240, {0, 0, 320, 240}},
    {F, 202, "center", 320, 180, 320, 240, {0, 30, 320, 180}},
    {D, 201, "full", 360, 240, 720, 480, {0, 0, 720, 480}},
    {D, 201, "full", 720, 480, 720, 480, {0, 0, 720, 480}},
    {D, 201, "full", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {D, 201, "full", 640, 480, 720, 480, {0, 0, 720, 480}},
    {D, 201, "lbox", 360, 240, 720, 480, {0, 0, 720, 480}},
    {D, 201, "lbox", 720, 480, 720, 480, {0, 0, 720, 480}},
    {D, 201, "lbox", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {D, 201, "lbox", 640, 480, 720, 480, {40, 0, 640, 480}},
    {D, 201, "pan", 360, 240, 720, 480, {0, 0, 720, 480}},
    {D, 201, "pan", 720, 480, 720, 480, {0, 0, 720, 480}},
    {D, 201, "pan", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {D, 201, "pan", 640, 480, 720, 480, {0, 0, 720, 480}},
    {D, 201, "center", 360, 240, 720, 480, {0, 0, 720, 480}},
    {D, 201, "center", 720, 480, 720, 480, {0, 0, 720, 480}},
    {D, 201, "center", 1080, 720, 720, 480, {0, 0, 720, 480}},
    {D, 201, "center", 640, 480, 720, 480, {0, 0, 720, 480}},
};

TEST_F(ZoomConversion, FrameSizeBandsAndPictureAreWhatTheZoomModeMeans) {
    constexpr int Slack = 4; // pixels an edge may move through scaling and coding
    for (const TZoomCase& c : kCases) {
        SCOPED_TRACE(::testing::PrintToString(c));
        const std::string output = Convert(c);
        const TPicture picture = FirstPicture(output);
        EXPECT_EQ(picture.width, c.frameWidth);
        EXPECT_EQ(picture.height, c.frameHeight);
        if (picture.width != c.frameWidth || picture.height != c.frameHeight) {
            continue;
        }
        const TRect area = PictureArea(picture);
        EXPECT_NEAR(area.x, c.picture.x, Slack);
        EXPECT_NEAR(area.y, c.picture.y, Slack);
        EXPECT_NEAR(area.w, c.picture.w, Slack);
        EXPECT_NEAR(area.h, c.picture.h, Slack);
        // The whole source is in the picture: its white top-left and bottom-right blocks at
        // the corners, grey in the middle and at the top right.
        const auto at = [&](double fx, double fy) {
            return picture.Mean(c.picture.x + int(fx * c.picture.w),
                                c.picture.y + int(fy * c.picture.h));
        };
        EXPECT_GT(at(0.125, 0.125), 200) << "top-left block";
        EXPECT_GT(at(0.875, 0.875), 200) << "bottom-right block";
        EXPECT_NEAR(at(0.5, 0.5), 126, 20) << "middle";
        EXPECT_NEAR(at(0.875, 0.125), 126, 20) << "top right";
    }
}

// A phone video filmed upright is stored lying on its side (160x96 here, turned 90 degrees
// for display): the zoom works on the upright 96x160 picture, which the letterbox puts between
// side bars, the stored top-left block shown at the top right.
TEST_F(ZoomConversion, TurnedSourceIsZoomedAsItIsShown) {
    const std::string stored = Source(160, 96);
    const std::string turned = Path("turned.mp4");
    MakeClip("-i '" + stored + "' -c:v mpeg4 -q:v 2 '" + Path("stored.mp4") + "'");
    WriteTurned(Path("stored.mp4"), turned, 90);
    ASSERT_FALSE(HasFatalFailure());
    WriteTextFile(Path("settings.ini"), SettingsOf(202, "lbox"));
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(kFormatFile);
    TConverter converter;
    const TBuiltJob built = BuildFileJob({settings, formats, 202, Path("out")}, turned,
                                         TlvFilesRecord{}, converter.Probe());
    ASSERT_TRUE(built.Ok()) << built.Error;
    ASSERT_GE(converter.AddJob(built.Job), 0) << converter.LastError();
    converter.StartTask(0);
    const TPicture picture = FirstPicture(built.Job.Output.Path);
    ASSERT_EQ(picture.width, 320);
    ASSERT_EQ(picture.height, 240);
    const TRect area = PictureArea(picture);
    EXPECT_NEAR(area.x, 88, 4); // bar(320, 96, 160 / 240) = 88
    EXPECT_NEAR(area.w, 144, 4);
    EXPECT_NEAR(area.y, 0, 4);
    EXPECT_NEAR(area.h, 240, 4);
    const auto at = [&](double fx, double fy) {
        return picture.Mean(88 + int(fx * 144), int(fy * 240));
    };
    EXPECT_GT(at(0.875, 0.125), 200) << "top right";
    EXPECT_GT(at(0.125, 0.875), 200) << "bottom left";
    EXPECT_NEAR(at(0.125, 0.125), 126, 20) << "top left";
}

// A cropped DVD row in a letterbox to the DVD format: the title is cropped once, by the
// builder's text, and not again by the crop fields the run copies from the row (the DVD target
// scales the cropped picture back to its frame size, so a second crop would cut into it).
TEST_F(ZoomConversion, CroppedDvdRowIsCroppedOnce) {
    ASSERT_TRUE(LoadDVDPlugIn(LibAvDir()));
    const std::string disc = FixtureDir() + "/dvd";
    ASSERT_GE(DVDEnumTitle(disc), 1);
    TDVDTitleInfo title{};
    ASSERT_TRUE(DVDGetTitle(0, title));
    ASSERT_EQ(title.Width, 720);
    ASSERT_EQ(title.Height, 480);

    WriteTextFile(Path("settings.ini"), SettingsOf(201, "lbox"));
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(kFormatFile);
    TlvFilesRecord row;
    row.TitleIndex = 0;
    row.TitleInfo = title;
    row.ChapterFrom = 1;
    row.ChapterTo = 1;
    row.TrimLength = 200000;
    row.CropLeft = 40;
    row.CropTop = 24;
    TConverter converter;
    const TBuiltJob built = BuildDvdTitleJob({settings, formats, 201, Path("out")}, disc, row);
    ASSERT_TRUE(built.Ok()) << built.Error;
    ASSERT_GE(converter.AddJob(built.Job), 0) << converter.LastError();
    converter.StartTask(0);
    const TPicture picture = FirstPicture(built.Job.Output.Path);
    ASSERT_EQ(picture.width, 720);
    ASSERT_EQ(picture.height, 480);

    // The first picture of the title cropped once and scaled to the frame, and the same
    // cropped twice, as the ffmpeg program makes them from the title's own file.
    const std::string vob = disc + "/VIDEO_TS/VTS_01_1.VOB";
    const std::string once = "crop=680:456:40:24,scale=720:480";
    const auto difference = [&](const std::string& filters) {
        const std::string raw = Path("reference.yuv");
        MakeClip("-i '" + vob + "' -vf " + filters + " -frames:v 1 -f rawvideo -pix_fmt yuv420p '" +
                 raw + "'");
        std::ifstream in(raw, std::ios::binary);
        std::vector<std::uint8_t> luma(picture.luma.size());
        in.read(reinterpret_cast<char*>(luma.data()), std::streamsize(luma.size()));
        double sum = 0;
        for (std::size_t i = 0; i < luma.size(); ++i) {
            sum += std::abs(int(picture.luma[i]) - int(luma[i]));
        }
        return sum / double(luma.size());
    };
    const double croppedOnce = difference(once);
    const double croppedTwice = difference(once + "," + once);
    EXPECT_LT(croppedOnce, 3);
    EXPECT_LT(croppedOnce * 4, croppedTwice);
}

} // namespace
} // namespace tessaro::test
