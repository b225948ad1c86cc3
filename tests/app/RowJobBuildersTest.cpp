// What a conversion run reads about its format, the work priority, the job a row becomes and
// how the converter reads it, and a source the probe cannot open.
#include "job/RowJobBuilders.h"
#include "AppTestSupport.h"
#include "DVDPlugIn.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "TranscodeTestSupport.h"
#include "converter/Converter.h"
#include "converter/TranscoderTask.h"
#include "core/IniFile.h"
#include "sources/SourceRecord.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

class RowJob : public test::TConverterLibrariesTest {
protected:
    std::string Path(const std::string& name) const { return (temp_.Path() / name).string(); }
    test::TTempDir temp_;
};

TEST_F(RowJob, RunFormatReadsExtensionAndZoomWithTheirDefaults) {
    test::WriteTextFile(Path("formats.ini"), "[formatInfo204]\nFileExt=avi\n");
    test::WriteTextFile(Path("settings.ini"), "[formatInfo204]\nparazoom=pan\n");
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(Path("formats.ini"));

    const TRunFormat avi = ReadRunFormat(settings, formats, 204);
    EXPECT_EQ(avi.ExtensionText, ".avi");
    EXPECT_EQ(avi.ZoomMode, "pan");
    // A code outside the catalogue reads an empty section.
    const TRunFormat unknown = ReadRunFormat(settings, formats, 7);
    EXPECT_EQ(unknown.ExtensionText, ".mp4");
    EXPECT_EQ(unknown.ZoomMode, "lbox");

    EXPECT_EQ(StoredFormatCode(settings), 1);
    settings.WriteInteger("settings", "FormatCode", 207);
    EXPECT_EQ(StoredFormatCode(settings), 207);
}

TEST_F(RowJob, StoredPriorityChoosesTheWorkerPriority) {
    const struct {
        const char* stored;
        TThreadPriority expected;
    } cases[] = {{"0", tpIdle},   {"1", tpNormal},  {"2", tpLower}, {"3", tpLowest},
                 {"4", tpHigher}, {"-1", tpHigher}, {"", tpNormal}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        test::WriteTextFile(Path("settings.ini"),
                            *c.stored ? std::string("[settings]\npriority=") + c.stored + "\n"
                                      : "");
        TConverter converter;
        converter.SetThreadPriority(tpHigher); // what an out-of-range value leaves in place
        ApplyRunPriority(converter, TIniFile(Path("settings.ini")));
        EXPECT_EQ(converter.ThreadPriority(), c.expected);
    }
}

// The row's crop reaches the transcoder once: through the crop fields, or through the
// letterbox text alone when that crops the title itself.
TEST_F(RowJob, DvdRowCropIsInTheCropFieldsOrInTheLetterboxText) {
    const struct {
        const char* zoom;
        int cropFields; // the job's left crop
        const char* filters;
    } cases[] = {
        {"lbox", 0, "crop=40:0:680:480,scale=320:212,pad=320:240:0:14"},
        {"full", 40, ""},
        {"center", 40, ""}, // no DVD zoom mode: the crop is all there is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zoom);
        test::WriteTextFile(Path("settings.ini"),
                            std::string("[formatInfo202]\nparaVideoEncoder=mpeg4\n"
                                        "paraVideoSize=320x240\nparazoom=") +
                                c.zoom + "\n");
        TIniFile settings(Path("settings.ini"));
        const TIniFile formats(Path("formats.ini"));
        TlvFilesRecord record;
        record.CropLeft = 40;
        record.TitleInfo.Width = 720;
        record.TitleInfo.Height = 480;
        const TBuiltJob built =
            BuildDvdTitleJob({settings, formats, 202, Path("out")}, "disc", record);
        ASSERT_TRUE(built.Ok()) << built.Error;
        EXPECT_EQ(built.Job.Picture.Crop.Left, c.cropFields);
        EXPECT_EQ(built.Job.Picture.Filters, c.filters);
        EXPECT_EQ(built.Job.Source.Kind, TJobSourceKind::DvdTitle);
        EXPECT_EQ(built.Job.Output.Path, Path("out") + "/DVD Title 1_(new).mp4");
    }
}

// A row's trim goes widget -> row record -> job -> transcoder set-up, and nothing else on the
// way reads or writes it: the task's start time and duration are the row's.
TEST_F(RowJob, RowTrimAndThreadsReachTheTranscoderSetUp) {
    test::WriteTextFile(Path("settings.ini"), "[formatInfo202]\nparaVideoEncoder=mpeg4\n"
                                              "paraVideoSize=320x240\nparaAudioEncoder=mp2\n");
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(Path("formats.ini"));
    fs::create_directories(Path("out"));
    TConverter converter;
    TlvFilesRecord record;
    record.TrimStart = 2'500'000;
    record.TrimLength = 1'250'000;
    const TBuiltJob built =
        BuildFileJob({settings, formats, 202, Path("out")}, test::FixtureDir() + "/mpeg2_ac3.mpg",
                     record, converter.Probe());
    ASSERT_TRUE(built.Ok()) << built.Error;
    EXPECT_EQ(built.Job.Range.Start, 2'500'000);
    EXPECT_EQ(built.Job.Range.Length, 1'250'000);

    const int task = converter.AddJob(built.Job);
    ASSERT_GE(task, 0) << converter.LastError();
    const TTranscoderOptions& setUp = converter.Task(task)->Options();
    EXPECT_EQ(converter.Task(task)->Input(0).startTime, 2'500'000);
    EXPECT_EQ(setUp.recordingTime, 1'250'000);
    EXPECT_EQ(converter.Task(task)->TotalDuration(), 1'250'000);
    // Codec threads: automatic unless the job or its option text says otherwise.
    EXPECT_EQ(setUp.threadCount, AutomaticCodecThreads);

    TConversionJob typed = built.Job;
    typed.Output.Path = Path("out/threads.mp4");
    typed.Output.OptionText = "threads=3";
    const int threaded = converter.AddJob(typed);
    ASSERT_GE(threaded, 0) << converter.LastError();
    EXPECT_EQ(converter.Task(threaded)->Options().threadCount, 3);
}

// Raw 360x240 pictures of what job converts, one luma plane each.
std::vector<std::vector<std::uint8_t>> RawPictures(TConversionJob job, const std::string& output) {
    job.Encoding = TJobEncoding{};
    job.Encoding.VideoCodec = "rawvideo";
    job.Picture = TJobPicture{};
    job.Picture.FrameSize = TJobSize{360, 240};
    job.Audio.Disabled = true;
    job.Output.Container.clear();
    job.Output.Path = output;
    TConverter converter;
    EXPECT_GE(converter.AddJob(job), 0) << converter.LastError();
    converter.StartTask(0);
    std::vector<std::vector<std::uint8_t>> pictures;
    test::DecodeFrames(output, AVMEDIA_TYPE_VIDEO,
                       [&](const AVFrame* frame) { pictures.push_back(test::LumaPlane(frame)); });
    return pictures;
}

// Chapters 2 and 3 of the fixture's title 1 (7 s to 20 s) with a trim of 2 s from 9 s (counted
// from the title's start): the output is those two seconds, beginning with the title's picture
// at 9 s; a trim outside the chapters converts nothing and says why.
TEST_F(RowJob, DvdRowConvertsItsTrimInsideItsChapters) {
    ASSERT_TRUE(LoadDVDPlugIn(test::LibAvDir()));
    const std::string disc = test::FixtureDir() + "/dvd";
    ASSERT_GE(DVDEnumTitle(disc), 1);
    test::WriteTextFile(Path("settings.ini"), "[formatInfo202]\nparaVideoEncoder=mpeg4\n"
                                              "paraVideoSize=320x240\nparaAudioEncoder=mp2\n");
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(Path("formats.ini"));
    TlvFilesRecord record;
    ASSERT_TRUE(DVDGetTitle(0, record.TitleInfo));
    record.AudioID = 128;
    record.ChapterFrom = 2;
    record.ChapterTo = 3;
    record.TrimStart = 9'000'000;
    record.TrimLength = 2'000'000;
    const TBuiltJob built = BuildDvdTitleJob({settings, formats, 202, Path("out")}, disc, record);
    ASSERT_TRUE(built.Ok()) << built.Error;
    ASSERT_TRUE(built.Problems.empty()) << built.Problems[0].Message;
    EXPECT_EQ(built.Job.Range.FirstChapter, 2);
    EXPECT_EQ(built.Job.Range.LastChapter, 3);

    const auto trimmed = RawPictures(built.Job, Path("trimmed.nut"));
    TConversionJob whole = built.Job;
    whole.Range = TJobRange{0, 0, 9'000'000, 500'000};
    const auto reference = RawPictures(whole, Path("reference.nut"));
    ASSERT_FALSE(reference.empty());
    // Two seconds at 30000/1001 pictures a second.
    EXPECT_NEAR(double(trimmed.size()), 60.0, 1.0);
    ASSERT_FALSE(trimmed.empty());
    EXPECT_TRUE(trimmed.front() == reference.front());

    record.TrimStart = 2'000'000; // in chapter 1
    const TBuiltJob outside = BuildDvdTitleJob({settings, formats, 202, Path("out")}, disc, record);
    ASSERT_TRUE(outside.Ok()) << outside.Error;
    const TJobProblem* problem = outside.Problem(TJobProblemKind::WindowOutsideChapters);
    ASSERT_NE(problem, nullptr);
    EXPECT_NE(problem->Message.find("lies outside chapters 2 to 3"), std::string::npos)
        << problem->Message;
    TConverter converter;
    EXPECT_EQ(converter.AddJob(outside.Job), -1);
    EXPECT_EQ(converter.LastError(), problem->Message);
}

TEST_F(RowJob, SourceThatCannotBeOpenedBuildsNoJobAndNoFile) {
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(Path("formats.ini"));
    TConverter converter;
    const TBuiltJob built = BuildFileJob({settings, formats, 202, Path("out")}, Path("missing.mpg"),
                                         TlvFilesRecord{}, converter.Probe());
    EXPECT_FALSE(built.Ok());
    EXPECT_NE(built.Error.find("missing.mpg"), std::string::npos) << built.Error;
    EXPECT_FALSE(fs::exists(Path("out")));
}

// Where a trim falls in a chapter span: seek and length inside the span, cut at its end, or
// outside it altogether.
TEST(WindowInSpan, PlacesTheTrimInsideTheChapters) {
    constexpr std::int64_t s = 1'000'000;
    const struct {
        const char* name;
        TJobTime start, length;
        std::int64_t seek;
        TJobTime expectedLength;
        bool ok;
    } cases[] = {
        {"no window", std::nullopt, std::nullopt, 0, std::nullopt, true},
        {"inside", 12 * s, 3 * s, 2 * s, 3 * s, true},
        {"to the span's end", 12 * s, std::nullopt, 2 * s, std::nullopt, true},
        {"past the end is cut", 25 * s, 10 * s, 15 * s, std::nullopt, true},
        {"starting before the span", 5 * s, 8 * s, 0, 3 * s, true},
        {"length only", std::nullopt, 4 * s, 0, 4 * s, true},
        {"before the span", 2 * s, 3 * s, 0, std::nullopt, false},
        {"after the span", 31 * s, 3 * s, 0, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TJobRange range;
        range.FirstChapter = 2;
        range.LastChapter = 3;
        range.Start = c.start;
        range.Length = c.length;
        const TSpanWindow window = WindowInSpan(range, 10 * s, 20 * s);
        EXPECT_EQ(window.Ok(), c.ok) << window.Error;
        if (c.ok) {
            EXPECT_EQ(window.Seek, c.seek);
            EXPECT_EQ(window.Length, c.expectedLength);
        }
    }
    TJobRange outside;
    outside.FirstChapter = 3, outside.LastChapter = 5, outside.Start = 2 * s, outside.Length = s;
    EXPECT_EQ(WindowInSpan(outside, 10 * s, 20 * s).Error,
              "The trimmed part 00:00:02.000 to 00:00:03.000 lies outside chapters 3 to 5 "
              "(00:00:10.000 to 00:00:30.000).");
}

} // namespace
} // namespace tessaro
