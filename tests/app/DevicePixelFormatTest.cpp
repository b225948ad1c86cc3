// Sources of today's cameras and phones (10-bit, 4:2:2, 4:4:4 pictures) converted with the
// H.264 and MPEG-4 formats of the catalogue and their shipped settings: the output is the
// 8-bit 4:2:0 picture in the profile the format's device plays.
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "TranscodeTestSupport.h"
#include "converter/Converter.h"
#include "core/IniFile.h"
#include "formats/FormatCatalogue.h"
#include "job/RowJobBuilders.h"
#include "sources/SourceRecord.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace tessaro::test {
namespace {

namespace fs = std::filesystem;

struct TDeviceFormat {
    int code;
    const char* encoder; // replaces the shipped "paraVideoEncoder" when not empty
    const char* profile; // of the output's video stream
};

// PSP and PS3 H.264 (the PS3 format with its H.264 encoder chosen), H.264 in MP4, PSP MPEG-4
// and MPEG-4 in MP4.
constexpr TDeviceFormat kFormats[] = {
    {3, "", "Main"},           {100, "libx264", "Main"},    {203, "", "Main"},
    {0, "", "Simple Profile"}, {202, "", "Simple Profile"},
};

constexpr const char* kSourceFormats[] = {"yuv420p",     "yuv422p",     "yuv444p",
                                          "yuv420p10le", "yuv422p10le", "yuv444p10le"};

class DevicePixelFormat : public TConverterLibrariesTest {
protected:
    static void SetUpTestSuite() {
        TConverterLibrariesTest::SetUpTestSuite();
        sources_ = std::make_unique<TTempDir>();
        for (const char* format : kSourceFormats) {
            // The PSP formats need a sound track too.
            MakeClip("-f lavfi -i testsrc2=size=320x240:rate=25:duration=0.12 -f lavfi -i "
                     "sine=sample_rate=44100:duration=0.12 -pix_fmt " +
                     std::string(format) + " -c:v ffv1 -c:a pcm_s16le '" + Source(format) + "'");
        }
    }
    static void TearDownTestSuite() {
        sources_.reset();
        TConverterLibrariesTest::TearDownTestSuite();
    }
    static std::string Source(const std::string& pixelFormat) {
        return sources_->Str() + "/" + pixelFormat + ".mkv";
    }

    void SetUp() override { fs::copy_file(DataDir() + "/tessaro-defaults.ini", SettingsPath()); }
    std::string SettingsPath() const { return (temp_.Path() / "tessaro.ini").string(); }

    static std::unique_ptr<TTempDir> sources_;
    TTempDir temp_;
};

std::unique_ptr<TTempDir> DevicePixelFormat::sources_;

// The pixel format and profile name of a file's video stream.
std::pair<std::string, std::string> VideoFormatOf(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return {"unreadable", ""};
    }
    AVInputFormatContextPtr context(raw);
    ff::avformat_find_stream_info(raw, nullptr);
    const int index = ff::av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return {"no video", ""};
    }
    const AVCodecParameters* par = raw->streams[index]->codecpar;
    const char* format = ff::av_get_pix_fmt_name(AVPixelFormat(par->format));
    const char* profile =
        ff::av_get_profile_name(ff::avcodec_find_decoder(par->codec_id), par->profile);
    return {format != nullptr ? format : "none", profile != nullptr ? profile : "none"};
}

TEST_F(DevicePixelFormat, OutputIsEightBit420InTheDevicesProfile) {
    for (const TDeviceFormat& device : kFormats) {
        TIniFile settings(SettingsPath());
        if (*device.encoder != '\0') {
            settings.WriteString(FormatSectionName(device.code), "paraVideoEncoder",
                                 device.encoder);
        }
        const TIniFile formats(DataDir() + "/plovupspformat.ini");
        const TJobContext context(settings, formats, device.code, temp_.Str());
        for (const char* pixelFormat : kSourceFormats) {
            SCOPED_TRACE(std::to_string(device.code) + " from " + pixelFormat);
            TConverter converter;
            const TBuiltJob built =
                BuildFileJob(context, Source(pixelFormat), TlvFilesRecord{}, converter.Probe());
            ASSERT_TRUE(built.Ok()) << built.Error;
            ASSERT_GE(converter.AddJob(built.Job), 0) << converter.LastError();
            std::string error;
            converter.SetOnTerminate(
                [&](TConverter&, const TTerminateInfo& info) { error += info.ExceptionMsg; });
            converter.StartTask(0);
            EXPECT_EQ(error, "");
            const auto [format, profile] = VideoFormatOf(built.Job.Output.Path);
            EXPECT_EQ(format, "yuv420p");
            EXPECT_EQ(profile, device.profile);
        }
    }
}

} // namespace
} // namespace tessaro::test
