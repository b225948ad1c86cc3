// What a conversion run reads about its format, the work priority, and a source the probe
// cannot open.
#include "run/ConversionJob.h"
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "converter/Converter.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

class ConversionJob : public test::TConverterLibrariesTest {
protected:
    std::string Path(const std::string& name) const { return (temp_.Path() / name).string(); }
    test::TTempDir temp_;
};

TEST_F(ConversionJob, RunFormatReadsExtensionAndZoomWithTheirDefaults) {
    test::WriteTextFile(Path("formats.ini"), "[formatInfo204]\nFileExt=avi\n");
    test::WriteTextFile(Path("settings.ini"), "[formatInfo204]\nparazoom=pan\n");
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(Path("formats.ini"));

    const TRunFormat avi = ReadRunFormat({settings, formats, 204});
    EXPECT_EQ(avi.ExtensionText, ".avi");
    EXPECT_EQ(avi.ZoomMode, "pan");
    // A code outside the catalogue reads an empty section.
    const TRunFormat unknown = ReadRunFormat({settings, formats, 7});
    EXPECT_EQ(unknown.ExtensionText, ".mp4");
    EXPECT_EQ(unknown.ZoomMode, "lbox");

    EXPECT_EQ(StoredFormatCode(settings), 1);
    settings.WriteInteger("settings", "FormatCode", 207);
    EXPECT_EQ(StoredFormatCode(settings), 207);
}

TEST_F(ConversionJob, StoredPriorityChoosesTheWorkerPriority) {
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
TEST_F(ConversionJob, DvdRowCropIsInTheCropFieldsOrInTheLetterboxText) {
    const struct {
        const char* zoom;
        int cropFields; // the output's CropLeft
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
        TDvdRow row;
        row.CropLeft = 40;
        TOutputOptions output;
        TInputOptions input;
        InitInputOptions(input);
        BuildDvdTitleOutput({settings, formats, 202}, row, 720, 480, output, input);
        EXPECT_EQ(output.CropLeft, c.cropFields);
        EXPECT_EQ(output.VideoFilters, c.filters);
    }
}

TEST_F(ConversionJob, SourceThatCannotBeOpenedAddsNoTaskAndNoFile) {
    TIniFile settings(Path("settings.ini"));
    const TIniFile formats(Path("formats.ini"));
    TConverter converter;
    TFileRow row;
    row.SourcePath = Path("missing.mpg");
    const TPreparedTask task = AddFileTask(converter, {settings, formats, 202, Path("out")}, row);
    EXPECT_FALSE(task.Ok());
    EXPECT_NE(task.Error.find("missing.mpg"), std::string::npos) << task.Error;
    EXPECT_EQ(converter.TaskCount(), 0);
    EXPECT_FALSE(fs::exists(Path("out")));
}

} // namespace
} // namespace tessaro
